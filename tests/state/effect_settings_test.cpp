#include <gtest/gtest.h>

#include "state/audio_profile.h"
#include "state/effect_settings.h"

namespace {

EffectSettingsValues settingsNow() {
  const EffectSettings& s = effectSettings;
  EffectSettingsValues v{};
  v.echoBlocks = s.echoBlocks;
  v.slicerOn = s.slicerOn;
  for (int i = 0; i < kSlicerSteps; ++i) v.slicerPattern[i] = s.slicerPattern[i];
  v.reverseOn = s.reverseOn;
  v.downsampleFactor = s.downsampleFactor;
  v.flangerOn = s.flangerOn;
  v.muteOn = s.muteOn;
  v.bypassOn = s.bypassOn;
  v.gain = s.gain;
  v.echoMemory = echoMemory;
  v.downsampleMemory = downsampleMemory;
  v.delayLengthSamples = delayLengthSamples;
  v.quitRequested = quitRequested;
  v.gainKnob = gainKnob;
  return v;
}

// Read while the program starts, before any test has written or reset a value.
const EffectSettingsValues settingsAtStart = settingsNow();
const std::int32_t sampleRateAtStart = audioProfile.sampleRate;

TEST(EffectSettings, TheProcessStartsWithTheValuesResetPutsBack) {
  EXPECT_EQ(settingsAtStart, kInitialEffectSettings);
  EXPECT_EQ(sampleRateAtStart, audioProfiles[0].sampleRate);

  // Every field differs from its initial value, so a field that storing or
  // resetting misses shows.
  const EffectSettingsValues changed = {
      8, 1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 1, 4, 1, 0, 1, 3.5f, 2, 8, 64000,
      1, 40};
  storeEffectSettings(changed);
  EXPECT_EQ(settingsNow(), changed);
  resetEffectSettings();
  EXPECT_EQ(settingsNow(), kInitialEffectSettings);
}

}  // namespace
