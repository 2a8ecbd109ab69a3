#include <gtest/gtest.h>

#include <vector>

#include "state/audio_profile.h"
#include "state/effect_settings.h"
#include "state/settings_table.h"

namespace {

// Every setting (through the table) and every companion value, in one list.
std::vector<double> valuesNow() {
  std::vector<double> v;
  for (const WordSetting& s : kWordSettings) v.push_back(effectSettings.*s.live);
  for (const auto& step : effectSettings.slicerPattern) v.push_back(step);
  v.push_back(effectSettings.gain);
  for (const auto* c :
       {&echoMemory, &downsampleMemory, &delayLengthSamples, &quitRequested, &gainKnob})
    v.push_back(*c);
  return v;
}

// Every effect off, muted, unity gain, the echo switch's memory at 4 blocks.
const std::vector<double> kStart = {
    0,   0, 0, 0, 0, 1, 0,  // echo slicer reverse downsample flanger mute bypass
    0,   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // slicer pattern
    1.0,                                               // gain
    4,   0, 0, 0, 0,  // echoMemory downsampleMemory delayLengthSamples quitRequested gainKnob
};

// Read while the program starts, before any test has written or reset a value.
const std::vector<double> valuesAtStart = valuesNow();
const std::int32_t sampleRateAtStart = audioProfile.sampleRate;

TEST(EffectSettings, TheProcessStartsWithTheValuesResetPutsBack) {
  EXPECT_EQ(valuesAtStart, kStart);
  EXPECT_EQ(sampleRateAtStart, 32000);

  // Every value changed, so one that resetting misses shows.
  for (const WordSetting& s : kWordSettings) effectSettings.*s.live = 7;
  for (auto& step : effectSettings.slicerPattern) step = 1;
  effectSettings.gain = 3.5f;
  for (auto* c : {&echoMemory, &downsampleMemory, &delayLengthSamples, &quitRequested, &gainKnob})
    *c = 9;
  for (std::size_t i = 0; i < kStart.size(); ++i) EXPECT_NE(valuesNow()[i], kStart[i]) << i;
  resetEffectSettings();
  EXPECT_EQ(valuesNow(), kStart);
}

TEST(SettingsTable, StepsWalkTheValuesAndStopAtTheEnds) {
  struct Case {
    std::span<const SettingValue> values;
    std::vector<std::int32_t> up, down;  // from the first value, one step at a time
  } cases[] = {
      {kEchoValues, {1, 2, 4, 8, 8}, {4, 2, 1, 0, 0}},
      {kDownsampleValues, {2, 4, 8, 8}, {4, 2, 0, 0}},
  };
  for (const Case& c : cases) {
    std::int32_t v = c.values.front().value;
    for (std::int32_t expected : c.up) EXPECT_EQ(v = settingStepUp(c.values, v), expected);
    for (std::int32_t expected : c.down) EXPECT_EQ(v = settingStepDown(c.values, v), expected);
    // A value off the list (only a damaged setting holds one) stays.
    EXPECT_EQ(settingStepUp(c.values, 3), 3);
    EXPECT_EQ(settingStepDown(c.values, -2), -2);
  }
  EXPECT_STREQ(settingLettering(kEchoValues, 8), "2S");
  EXPECT_EQ(settingLettering(kEchoValues, 3), nullptr);
}

}  // namespace
