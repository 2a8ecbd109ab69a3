// Every effect setting described once: what users call it, where a preset keeps
// it, the values it may hold with the letters that show each, and its built-in
// value. The live values are the plain words of effect_settings.h; this table
// is data beside them, read by the preset loader, the panel's readouts and
// steps, the renderer's options and their help.
#pragma once

#include <cstdint>
#include <span>

#include "state/effect_settings.h"

// A value a setting may hold and its lettering: the readout's cell for the
// delay and the downsampler, OFF and ON for a switch.
struct SettingValue {
  std::int32_t value;
  const char* lettering;
};

// The settings a preset keeps as words of its record, in record order: word k
// of a record is kWordSettings[k].
enum PresetWord : int {
  kWordEchoBlocks,
  kWordSlicerOn,
  kWordReverseOn,
  kWordDownsampleFactor,
  kWordFlangerOn,
  kWordMuteOn,
  kWordBypassOn,
  kWordSettingCount
};

struct WordSetting {
  const char* name;                            // as users call it: "echo", "flanger", ...
  const char* meaning;                         // what it does (a switch: when on), for help texts
  Shared<std::int32_t> EffectSettings::*live;  // its live value
  std::span<const SettingValue> values;        // every value it may hold, off first, in step order
  std::int32_t builtIn;                        // a fresh preset's value; replaces a bad one
};

inline constexpr SettingValue kSwitchValues[] = {{0, "OFF"}, {1, "ON"}};
// Echo delay in blocks. The readout's letters are what the steps last with
// 250 ms blocks (44100 Hz); with the 125 ms blocks of 32000 and 48000 Hz each
// delay is half of it: 125, 250, 500 and 1000 ms.
inline constexpr SettingValue kEchoValues[] = {
    {0, "OFF"}, {1, "1/4S"}, {2, "1/2S"}, {4, "1S"}, {8, "2S"}};
inline constexpr SettingValue kDownsampleValues[] = {{0, "OFF"}, {2, "X2"}, {4, "X4"}, {8, "X8"}};

inline constexpr WordSetting kWordSettings[kWordSettingCount] = {
    {"echo", "feedback echo delay in blocks", &EffectSettings::echoBlocks, kEchoValues, 0},
    {"slicer", "slicer gate on", &EffectSettings::slicerOn, kSwitchValues, 0},
    {"reverse", "reverse on: blocks played backwards", &EffectSettings::reverseOn, kSwitchValues,
     0},
    {"downsample", "sample-and-hold downsampler factor", &EffectSettings::downsampleFactor,
     kDownsampleValues, 0},
    {"flanger", "both flanger combs on", &EffectSettings::flangerOn, kSwitchValues, 0},
    {"mute", "output silenced", &EffectSettings::muteOn, kSwitchValues, 0},
    {"bypass", "dry input straight to the output", &EffectSettings::bypassOn, kSwitchValues, 0},
};

// The slicer pattern: one byte a step, 1 silencing the step; built in all 0.
inline constexpr SettingValue kStepValues[] = {{0, "0"}, {1, "1"}};
constexpr std::uint8_t kStepBuiltIn = 0;

// The output gain: a multiplier from x0 to x4, built in x1.
struct GainRange {
  float low, high, builtIn;
};
inline constexpr GainRange kGainRange = {0.0f, 4.0f, 1.0f};

constexpr std::int32_t largestSettingValue(std::span<const SettingValue> values) {
  std::int32_t largest = values.front().value;
  for (const SettingValue& v : values)
    if (v.value > largest) largest = v.value;
  return largest;
}

// Whether `value` is one the setting may hold.
bool isSettingValue(std::span<const SettingValue> values, std::int32_t value);

// The lettering of `value`, or null when the setting may not hold it.
const char* settingLettering(std::span<const SettingValue> values, std::int32_t value);

// The value one step up or down the list from `value`; the ends, and a value not
// on the list, stay as they are.
std::int32_t settingStepUp(std::span<const SettingValue> values, std::int32_t value);
std::int32_t settingStepDown(std::span<const SettingValue> values, std::int32_t value);

// A finite gain within kGainRange.
bool isGainInRange(float gain);
