#include "render/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace {

// Zero crossings of the sinc on each side of the centre, at the cutoff
// frequency; with the Kaiser window below this leaves about 80 dB of stop band.
constexpr double kZeroCrossings = 24.0;
constexpr double kKaiserBeta = 8.0;
// Share of the narrower Nyquist band that passes; the rest is the transition.
constexpr double kPassband = 0.92;
// Input samples already consumed are dropped in batches of at least this many.
constexpr std::int64_t kCompactAfter = 8192;

double sinc(double x) {
  if (x == 0.0) return 1.0;
  const double px = std::numbers::pi * x;
  return std::sin(px) / px;
}

double kaiser(double x) {  // x in -1 ... 1
  const double r = std::max(0.0, 1.0 - x * x);
  return std::cyl_bessel_i(0.0, kKaiserBeta * std::sqrt(r)) / std::cyl_bessel_i(0.0, kKaiserBeta);
}

// Row p holds the kernel for an output position p / kRatePhases of a sample
// past input sample i0: tap t weighs input i0 - halfTaps + 1 + t. Each row is
// scaled to sum to one, so a constant input comes out unchanged.
void buildTable(RateConverter& c, double cutoff) {
  const int taps = 2 * c.halfTaps;
  c.table.assign(static_cast<std::size_t>(kRatePhases + 1) * taps, 0.0f);
  std::vector<double> row(static_cast<std::size_t>(taps));
  for (int p = 0; p <= kRatePhases; ++p) {
    const double frac = static_cast<double>(p) / kRatePhases;
    double sum = 0.0;
    for (int t = 0; t < taps; ++t) {
      const double d = frac + (c.halfTaps - 1 - t);  // distance from the output position
      row[t] = cutoff * sinc(cutoff * d) * kaiser(d / c.halfTaps);
      sum += row[t];
    }
    float* out = c.table.data() + static_cast<std::size_t>(p) * taps;
    for (int t = 0; t < taps; ++t) out[t] = static_cast<float>(row[t] / sum);
  }
}

float dot(const float* a, const float* b, int count) {
  float s = 0.0f;
  for (int i = 0; i < count; ++i) s += a[i] * b[i];
  return s;
}

// Output sample k from the history, which must reach far enough on both sides.
float outputAt(const RateConverter& c, std::int64_t k) {
  const std::int64_t position = k * c.down;
  const std::int64_t i0 = position / c.up;
  const double pos = static_cast<double>(position % c.up) * kRatePhases / static_cast<double>(c.up);
  const int p = std::min(static_cast<int>(pos), kRatePhases - 1);
  const float w = static_cast<float>(pos - p);
  const int taps = 2 * c.halfTaps;
  const float* x = c.history.data() + (i0 - c.halfTaps + 1 - c.historyStart);
  const float* row = c.table.data() + static_cast<std::size_t>(p) * taps;
  const float a = dot(row, x, taps);
  const float b = dot(row + taps, x, taps);
  return a + w * (b - a);
}

// The last input index output k reads.
std::int64_t lastInputFor(const RateConverter& c, std::int64_t k) {
  return k * c.down / c.up + c.halfTaps;
}

void dropConsumed(RateConverter& c) {
  const std::int64_t firstNeeded = c.nextOutput * c.down / c.up - c.halfTaps + 1;
  const std::int64_t dead = firstNeeded - c.historyStart;
  if (dead < kCompactAfter || 2 * dead < static_cast<std::int64_t>(c.history.size())) return;
  c.history.erase(c.history.begin(), c.history.begin() + dead);
  c.historyStart += dead;
}

}  // namespace

void initRateConverter(RateConverter& c, int inputRate, int outputRate) {
  const std::int64_t g = std::gcd(inputRate, outputRate);
  c.up = outputRate / g;
  c.down = inputRate / g;
  const double cutoff = kPassband * std::min(1.0, static_cast<double>(c.up) / c.down);
  c.halfTaps = static_cast<int>(std::min<double>(std::ceil(kZeroCrossings / cutoff), kMaxHalfTaps));
  buildTable(c, cutoff);
  // Silence before the first sample, so the first outputs have their left side.
  c.history.assign(static_cast<std::size_t>(c.halfTaps), 0.0f);
  c.historyStart = -c.halfTaps;
  c.inputCount = 0;
  c.nextOutput = 0;
}

void convertRate(RateConverter& c, const float* input, std::size_t count,
                 std::vector<float>& output) {
  c.history.insert(c.history.end(), input, input + count);
  c.inputCount += static_cast<std::int64_t>(count);
  while (lastInputFor(c, c.nextOutput) < c.inputCount) {
    output.push_back(outputAt(c, c.nextOutput));
    ++c.nextOutput;
  }
  dropConsumed(c);
}

void finishRateConversion(RateConverter& c, std::vector<float>& output) {
  // Enough silence after the end for every remaining output's right side.
  c.history.resize(c.history.size() + static_cast<std::size_t>(c.halfTaps) + 1, 0.0f);
  while (c.nextOutput * c.down < c.inputCount * c.up) {
    output.push_back(outputAt(c, c.nextOutput));
    ++c.nextOutput;
  }
  c.history.clear();
  c.historyStart = c.inputCount;
}
