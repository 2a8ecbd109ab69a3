#include "presets/preset_bank.h"

#include <bit>

namespace {

constexpr PresetBank builtInBank() {
  PresetBank bank{};
  for (auto& words : bank.presetParams)
    for (int w = 0; w < kWordSettingCount; ++w) words[w] = kWordSettings[w].builtIn;
  for (auto& pattern : bank.presetPatterns)
    for (auto& step : pattern) step = kStepBuiltIn;
  for (auto& slot : bank.presetGains)
    slot = {kGainRange.builtIn, std::bit_cast<std::uint32_t>(kGainRange.builtIn)};
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
  for (int w = 0; w < kWordSettingCount; ++w) effectSettings.*kWordSettings[w].live = words[w];
  setEchoBlocks(words[kWordEchoBlocks]);  // and the delay in samples with it
  for (int i = 0; i < kSlicerSteps; ++i)
    effectSettings.slicerPattern[i] = presetBank.presetPatterns[p][i];
  effectSettings.gain = presetBank.presetGains[p].gain;
}

void storePreset() {
  const int p = currentPreset();
  std::int32_t* words = presetBank.presetParams[p];
  for (int w = 0; w < kWordSettingCount; ++w) words[w] = effectSettings.*kWordSettings[w].live;
  for (int i = 0; i < kSlicerSteps; ++i)
    presetBank.presetPatterns[p][i] = effectSettings.slicerPattern[i];
  presetBank.presetGains[p].gain = effectSettings.gain;
}

void selectPreset(int index) {
  if (index < 0 || index >= kPresetCount) return;
  storePreset();
  presetBank.presetIndex = index;
  loadPreset();
}
