// The bank of ten presets and the copies between it and the live settings.
// Used on the window thread only: the panel selects presets, start-up loads the
// current one, the save command stores it before the bank goes to the file.
#pragma once

#include <cstdint>

#include "state/effect_settings.h"
#include "state/settings_table.h"

constexpr int kPresetCount = 10;
constexpr int kPresetWords = 10;  // words per presetParams record; 7 to 9 are carried unread
static_assert(kWordSettingCount <= kPresetWords);

// One gain slot: the preset's gain, then four bytes no operation reads but the
// preset file keeps (stored here as a little-endian word, so they go back out as read).
struct PresetGainSlot {
  float gain;             // 0.0 ... 4.0
  std::uint32_t carried;  // written back to the file as read
};

struct PresetBank {
  std::int32_t presetIndex;                                 // current preset, 0 ... 9
  std::int32_t presetParams[kPresetCount][kPresetWords];    // layout: PresetWord, then 3 carried
  std::uint8_t presetPatterns[kPresetCount][kSlicerSteps];  // slicerPattern of each preset
  PresetGainSlot presetGains[kPresetCount];
};

extern PresetBank presetBank;

// Puts the bank back to its built-in values: preset 0 current, every setting
// at its built-in value (every effect, mute and bypass off, an empty pattern,
// gain 1.0), the gain in both halves of every slot, carried words 0.
void resetPresetBank();

// Copies preset presetIndex into the live settings and sets delayLengthSamples.
// Leaves echoMemory, downsampleMemory and gainKnob alone.
void loadPreset();

// Copies the live settings into preset presetIndex (words 0 to 6, the pattern,
// the first half of the gain slot); words 7 to 9 and the carried half stay.
void storePreset();

// What a preset button does: store the preset being left, make `index` current
// and load it. An index outside 0 ... 9 changes nothing. The caller redraws.
void selectPreset(int index);
