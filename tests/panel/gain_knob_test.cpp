// The knob-to-gain mapping in its exact float arithmetic, and the placing of the
// knob for a stored gain so that saved gains come back unchanged.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "panel/gain_knob.h"
#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/effect_settings.h"

namespace {

float gainAtKnob(std::int32_t k) {
  gainKnob = k;
  knobToGain();
  return effectSettings.gain;
}

std::int32_t knobForGain(float g) {
  effectSettings.gain = g;
  gainKnob = -1;
  gainToKnob();
  return gainKnob;
}

TEST(GainKnob, KnobRowsGiveTheirGainsExactly) {
  EXPECT_EQ(std::bit_cast<std::uint32_t>(0.018518519f), 0x3C97B426u);
  EXPECT_EQ(gainAtKnob(0), 4.0f);
  EXPECT_EQ(gainAtKnob(54), 1.0f);
  EXPECT_EQ(gainAtKnob(108), 0.0f);
  // The lower half in float steps of 1/54; the upper half three times as steep,
  // with the 1.0 added in double.
  EXPECT_EQ(gainAtKnob(55), 53.0f * 0.018518519f);
  EXPECT_NEAR(gainAtKnob(55), 0.98148f, 1e-5f);
  EXPECT_EQ(gainAtKnob(53), static_cast<float>(static_cast<double>(0.018518519f * 3.0f) + 1.0));
  EXPECT_EQ(gainAtKnob(36), 2.0f);
  // Falling all the way down the track and never leaving 0 ... 4.
  float last = 5.0f;
  for (std::int32_t k = 0; k <= 108; ++k) {
    const float g = gainAtKnob(k);
    EXPECT_LT(g, last) << k;
    EXPECT_GE(g, 0.0f) << k;
    last = g;
  }
  effectSettings.gain = 1.0f;
  gainKnob = 0;
}

TEST(GainKnob, StoredGainsPlaceTheKnobAndComeBackUnchanged) {
  struct Case {
    float gain;
    std::int32_t knob;
  } cases[] = {{0.0f, 108}, {0.5f, 81}, {1.0f, 54}, {2.0f, 36}, {4.0f, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gain);
    EXPECT_EQ(knobForGain(c.gain), c.knob);
    knobToGain();
    EXPECT_EQ(effectSettings.gain, c.gain);
    // A second save and restart changes nothing either.
    gainToKnob();
    EXPECT_EQ(gainKnob, c.knob);
  }
  effectSettings.gain = 1.0f;
  gainKnob = 0;
}

// Every row the knob can be dragged to comes back to exactly that row after a
// save and a restart, and again after a second one: knob, gain, the preset
// file's bytes, gain, knob.
TEST(GainKnob, EveryRowSurvivesSaveAndRestartExactly) {
  resetPresetBank();
  for (std::int32_t k = 0; k <= 108; ++k) {
    gainAtKnob(k);
    for (int restart = 0; restart < 2; ++restart) {
      storePreset();
      std::uint8_t image[kPresetFileBytes];
      encodePresetBank(image);
      resetPresetBank();
      effectSettings.gain = -1.0f;
      loadPresetBytes(image, sizeof image);
      loadPreset();
      gainKnob = -1;
      gainToKnob();
      ASSERT_EQ(gainKnob, k) << "restart " << restart;
      knobToGain();
    }
  }
  resetPresetBank();
  effectSettings.gain = 1.0f;
  gainKnob = 0;
}

TEST(GainKnob, GainsNoPresetShouldHoldStayOnTheTrack) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float gain;
    std::int32_t knob;
  } cases[] = {{nan, 54},    {inf, 54},    {-inf, 54},  {9.0f, 0},
               {4.0001f, 0}, {-0.5f, 108}, {-0.0f, 108}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gain);
    EXPECT_EQ(knobForGain(c.gain), c.knob);
  }
  effectSettings.gain = 1.0f;
  gainKnob = 0;
}

}  // namespace
