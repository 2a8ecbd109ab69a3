#include "presets/preset_bank.h"

#include "state/audio_profile.h"

namespace {

constexpr std::uint32_t kOneFloatBits = 0x3F800000u;  // 1.0f as an IEEE single

constexpr PresetBank builtInBank() {
  PresetBank bank{};
  for (auto& slot : bank.presetGains) slot = {1.0f, kOneFloatBits};
  return bank;
}

// The preset the copies work on. presetIndex only ever holds 0 ... 9, but should
// it not, the copies fall back to preset 0 rather than touch memory past the bank.
int currentPreset() {
  if (presetBank.presetIndex < 0 || presetBank.presetIndex >= kPresetCount)
    presetBank.presetIndex = 0;
  return presetBank.presetIndex;
}

}  // namespace

PresetBank presetBank = builtInBank();

void resetPresetBank() {
  presetBank = builtInBank();
}

void loadPreset() {
  const int p = currentPreset();
  const std::int32_t* words = presetBank.presetParams[p];
  EffectSettings& s = effectSettings;
  setEchoBlocks(words[kWordEchoBlocks]);
  s.slicerOn = words[kWordSlicerOn];
  s.reverseOn = words[kWordReverseOn];
  s.downsampleFactor = words[kWordDownsampleFactor];
  s.flangerOn = words[kWordFlangerOn];
  s.muteOn = words[kWordMuteOn];
  s.bypassOn = words[kWordBypassOn];
  for (int i = 0; i < kSlicerSteps; ++i) s.slicerPattern[i] = presetBank.presetPatterns[p][i];
  s.gain = presetBank.presetGains[p].gain;
}

void storePreset() {
  const int p = currentPreset();
  std::int32_t* words = presetBank.presetParams[p];
  const EffectSettings& s = effectSettings;
  words[kWordEchoBlocks] = s.echoBlocks;
  words[kWordSlicerOn] = s.slicerOn;
  words[kWordReverseOn] = s.reverseOn;
  words[kWordDownsampleFactor] = s.downsampleFactor;
  words[kWordFlangerOn] = s.flangerOn;
  words[kWordMuteOn] = s.muteOn;
  words[kWordBypassOn] = s.bypassOn;
  for (int i = 0; i < kSlicerSteps; ++i) presetBank.presetPatterns[p][i] = s.slicerPattern[i];
  presetBank.presetGains[p].gain = s.gain;
}

void selectPreset(int index) {
  if (index < 0 || index >= kPresetCount) return;
  storePreset();
  presetBank.presetIndex = index;
  loadPreset();
}
