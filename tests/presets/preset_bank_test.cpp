#include <gtest/gtest.h>

#include <climits>

#include "presets/preset_bank.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

namespace {

class PresetBankTest : public ::testing::Test {
 protected:
  void SetUp() override {
    selectAudioProfile(0);
    resetEffectSettings();
    resetPresetBank();
  }
  void TearDown() override { selectAudioProfile(0); }
};

// Leaving a preset stores the live settings into it; coming back restores them.
// Words 7 to 9, the carried half of the gain slot and the companion values are
// never touched by the copies.
TEST_F(PresetBankTest, SelectionStoresThePresetBeingLeft) {
  presetBank.presetParams[3][8] = -77;
  presetBank.presetGains[3].carried = 0xDEADBEEFu;
  presetBank.presetParams[5][kWordEchoBlocks] = 1;
  echoMemory = 2;
  downsampleMemory = 8;
  gainKnob = 40;

  selectPreset(3);
  effectSettings.echoBlocks = 4;
  effectSettings.flangerOn = 1;
  effectSettings.muteOn = 1;
  effectSettings.slicerPattern[15] = 1;
  effectSettings.gain = 3.0f;

  selectPreset(5);
  EXPECT_EQ(presetBank.presetIndex, 5);
  EXPECT_EQ(effectSettings.echoBlocks, 1);
  EXPECT_EQ(effectSettings.flangerOn, 0);
  EXPECT_EQ(effectSettings.slicerPattern[15], 0);
  EXPECT_EQ(delayLengthSamples, audioProfile.blockSamples);

  selectPreset(3);
  EXPECT_EQ(effectSettings.echoBlocks, 4);
  EXPECT_EQ(effectSettings.flangerOn, 1);
  EXPECT_EQ(effectSettings.muteOn, 1);
  EXPECT_EQ(effectSettings.slicerPattern[15], 1);
  EXPECT_EQ(effectSettings.gain, 3.0f);
  EXPECT_EQ(delayLengthSamples, 4 * audioProfile.blockSamples);

  EXPECT_EQ(presetBank.presetParams[3][8], -77);
  EXPECT_EQ(presetBank.presetGains[3].carried, 0xDEADBEEFu);
  EXPECT_EQ(presetBank.presetParams[5][kWordEchoBlocks], 1);
  EXPECT_EQ(echoMemory, 2);
  EXPECT_EQ(downsampleMemory, 8);
  EXPECT_EQ(gainKnob, 40);
}

TEST_F(PresetBankTest, EveryFieldTravelsBothWays) {
  presetBank.presetIndex = 9;
  const std::int32_t fields[7] = {2, 1, 1, 4, 1, 0, 1};  // in record order
  EffectSettings& s = effectSettings;
  Shared<std::int32_t>* live[7] = {&s.echoBlocks, &s.slicerOn, &s.reverseOn, &s.downsampleFactor,
                                   &s.flangerOn,  &s.muteOn,   &s.bypassOn};
  for (int w = 0; w < 7; ++w) *live[w] = fields[w];
  s.slicerPattern[0] = 1;
  s.gain = 0.25f;
  storePreset();
  for (int w = 0; w < 7; ++w) EXPECT_EQ(presetBank.presetParams[9][w], fields[w]) << w;
  EXPECT_EQ(presetBank.presetPatterns[9][0], 1);
  EXPECT_EQ(presetBank.presetGains[9].gain, 0.25f);

  resetEffectSettings();
  selectAudioProfile(1);
  loadPreset();
  for (int w = 0; w < 7; ++w) EXPECT_EQ(*live[w], fields[w]) << w;
  EXPECT_EQ(s.slicerPattern[0], 1);
  EXPECT_EQ(s.gain, 0.25f);
  EXPECT_EQ(delayLengthSamples, 2 * 12000);
}

// A corrupted current index must never send the copies outside the bank
// (AddressSanitizer would report it); they fall back to preset 0.
TEST_F(PresetBankTest, IndexOutsideTheBankFallsBackToPresetZero) {
  presetBank.presetParams[0][kWordEchoBlocks] = 8;
  for (std::int32_t bad : {10, -1, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(bad);
    presetBank.presetIndex = bad;
    loadPreset();
    EXPECT_EQ(presetBank.presetIndex, 0);
    EXPECT_EQ(effectSettings.echoBlocks, 8);

    presetBank.presetIndex = bad;
    effectSettings.reverseOn = 1;
    storePreset();
    EXPECT_EQ(presetBank.presetParams[0][kWordReverseOn], 1);
    presetBank.presetParams[0][kWordReverseOn] = 0;
  }

  selectPreset(2);
  for (int bad : {10, -1}) {
    selectPreset(bad);
    EXPECT_EQ(presetBank.presetIndex, 2);
  }
}

}  // namespace
