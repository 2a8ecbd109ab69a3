// Any byte string loaded as the preset file must leave the bank with every value
// the engine indexes or sizes buffers with in its domain, and the live settings
// the bank loads must fit the buffers of every audio profile.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.h"
#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

namespace {

void checkBankDomain() {
  FUZZ_CHECK(presetBank.presetIndex >= 0 && presetBank.presetIndex < kPresetCount);
  for (int p = 0; p < kPresetCount; ++p) {
    const std::int32_t* words = presetBank.presetParams[p];
    const std::int32_t echo = words[kWordEchoBlocks];
    const std::int32_t factor = words[kWordDownsampleFactor];
    const float gain = presetBank.presetGains[p].gain;
    FUZZ_CHECK(echo == 0 || echo == 1 || echo == 2 || echo == 4 || echo == 8);
    FUZZ_CHECK(factor == 0 || factor == 2 || factor == 4 || factor == 8);
    for (int w : {kWordSlicerOn, kWordReverseOn, kWordFlangerOn, kWordMuteOn, kWordBypassOn})
      FUZZ_CHECK(words[w] == 0 || words[w] == 1);
    for (const std::uint8_t step : presetBank.presetPatterns[p]) FUZZ_CHECK(step <= 1);
    FUZZ_CHECK(gain >= 0.0f && gain <= 4.0f);  // false for NaN too
  }
}

// Bytes of the file image that a mend may replace: the current index, the
// settings' words, the pattern steps and the gain half of every gain slot; the
// carried words and halves never.
bool mayBeMended(std::size_t offset) {
  if (offset < 4) return true;
  if (offset < 404) return (offset - 4) / 4 % kPresetWords < kWordSettingCount;
  if (offset < 564) return true;
  return (offset - 564) % 8 < 4;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetPresetBank();
  loadPresetBytes(data, size);
  checkBankDomain();

  // Every byte the file has is kept as read unless a mend may replace it, and a
  // short file leaves the built-in bytes for what it lacks.
  std::uint8_t image[kPresetFileBytes];
  encodePresetBank(image);
  std::uint8_t builtIn[kPresetFileBytes];
  {
    const PresetBank loaded = presetBank;
    resetPresetBank();
    encodePresetBank(builtIn);
    presetBank = loaded;
  }
  for (std::size_t i = 0; i < sizeof image; ++i) {
    if (mayBeMended(i)) continue;
    FUZZ_CHECK(image[i] == (i < size ? data[i] : builtIn[i]));
  }

  // Loading a loaded bank's own image changes nothing: the mends are final.
  loadPresetBytes(image, sizeof image);
  std::uint8_t again[kPresetFileBytes];
  encodePresetBank(again);
  FUZZ_CHECK(std::memcmp(image, again, sizeof image) == 0);

  // The same bytes over a bank that is no longer built-in still end in the domain.
  loadPresetBytes(data, size);
  checkBankDomain();

  for (int profile = 0; profile < kAudioProfileCount; ++profile) {
    selectAudioProfile(profile);
    for (int p = 0; p < kPresetCount; ++p) {
      presetBank.presetIndex = p;
      loadPreset();
      FUZZ_CHECK(delayLengthSamples >= 0 &&
                 delayLengthSamples <= audioProfile.delayBufferBytes / 4);
      FUZZ_CHECK(effectSettings.downsampleFactor >= 0);
      storePreset();
    }
  }
  selectAudioProfile(0);
  resetEffectSettings();
  return 0;
}
