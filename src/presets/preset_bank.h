// The bank of ten presets and the copies between it and the live settings.
// Used on the window thread only: the panel selects presets, start-up loads the
// current one, the save command stores it before the bank goes to the file.
#pragma once

#include <cstdint>

#include "state/effect_settings.h"

constexpr int kPresetCount = 10;
constexpr int kPresetWords = 10;  // words per presetParams record; 7 to 9 are carried unread

// Word indexes of a presetParams record.
enum PresetWord {
  kWordEchoBlocks = 0,
  kWordSlicerOn = 1,
  kWordReverseOn = 2,
  kWordDownsampleFactor = 3,
  kWordFlangerOn = 4,
  kWordMuteOn = 5,
  kWordBypassOn = 6,
};

// One gain slot: the preset's gain, then four bytes no operation reads but the
// preset file keeps (stored here as a little-endian word, so they go back out as read).
struct PresetGainSlot {
  float gain;             // 0.0 ... 4.0
  std::uint32_t carried;  // written back to the file as read
};

struct PresetBank {
  std::int32_t presetIndex;                                 // current preset, 0 ... 9
  std::int32_t presetParams[kPresetCount][kPresetWords];    // layout: PresetWord
  std::uint8_t presetPatterns[kPresetCount][kSlicerSteps];  // slicerPattern of each preset
  PresetGainSlot presetGains[kPresetCount];
};

extern PresetBank presetBank;

// Puts the bank back to its built-in values: preset 0 current, every effect,
// mute and bypass off, empty patterns, gain 1.0 in both halves of every slot.
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
