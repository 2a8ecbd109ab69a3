#include "panel/gain_knob.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "state/effect_settings.h"
#include "state/settings_table.h"

namespace {

// The float nearest to 1/54 (bit pattern 0x3C97B426): one pixel of the lower
// half of the track is 1/54 of x1, one pixel of the upper half three times that.
constexpr float kPixelGain = 0.018518519f;
constexpr std::int32_t kUnityRow = kKnobUnityRow;
static_assert(kKnobTravel == 2 * kKnobUnityRow);

}  // namespace

void knobToGain() {
  const std::int32_t k = gainKnob;
  if (k > kUnityRow) {
    effectSettings.gain = (54.0f - static_cast<float>(k - kUnityRow)) * kPixelGain;
  } else {
    const float above = static_cast<float>(kUnityRow - k) * kPixelGain * 3.0f;
    effectSettings.gain = static_cast<float>(static_cast<double>(above) + 1.0);
  }
}

// The inverse of knobToGain, so that the gain of every knob row comes back to its
// row after a save and a restart: x1 sits on the middle row, the lower half counts
// up from the bottom row, and both halves round to the nearest row (truncating
// would move a gain that knobToGain made a hair below its row's exact value up a
// row on every restart).
void gainToKnob() {
  float g = effectSettings.gain;
  if (!std::isfinite(g)) g = kGainRange.builtIn;
  g = std::clamp(g, kGainRange.low, kGainRange.high);
  if (g > 1.0f) {
    gainKnob = static_cast<std::int32_t>(std::lround(54.0 - (static_cast<double>(g) - 1.0) * 18.0));
  } else if (g < 1.0f) {
    gainKnob =
        static_cast<std::int32_t>(std::lround(kKnobTravel - static_cast<double>(g) * kUnityRow));
  } else {
    gainKnob = kUnityRow;
  }
}
