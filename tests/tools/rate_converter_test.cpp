#include "render/rate_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

std::vector<float> sine(double frequency, int rate, std::size_t count, double amplitude) {
  std::vector<float> x(count);
  for (std::size_t i = 0; i < count; ++i)
    x[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / rate));
  return x;
}

std::vector<float> convert(const std::vector<float>& in, int from, int to) {
  RateConverter c;
  initRateConverter(c, from, to);
  std::vector<float> out;
  convertRate(c, in.data(), in.size(), out);
  finishRateConversion(c, out);
  return out;
}

// Output samples far enough from both ends that the kernel sees only input.
struct Interior {
  std::size_t begin, end;
};
Interior interior(std::size_t outCount, int from, int to) {
  const std::size_t margin = static_cast<std::size_t>(100.0 * to / from) + 100;
  return {margin, outCount - margin};
}

struct RatePair {
  int from, to;
};
constexpr RatePair kPairs[] = {{44100, 32000}, {48000, 44100}, {22050, 32000}, {8000, 48000},
                               {96000, 32000}, {32000, 48000}, {11025, 44100}, {44101, 32000}};

TEST(RateConverterTest, ASineKeepsItsFrequencyAndAmplitudeAtEveryRatePair) {
  for (const RatePair& p : kPairs) {
    SCOPED_TRACE(testing::Message() << p.from << " -> " << p.to);
    const std::size_t n = static_cast<std::size_t>(p.from) / 2;  // half a second
    const std::vector<float> out = convert(sine(1000.0, p.from, n, 0.5), p.from, p.to);
    const auto expectedCount = (static_cast<std::int64_t>(n) * p.to + p.from - 1) / p.from;
    ASSERT_EQ(static_cast<std::int64_t>(out.size()), expectedCount);
    const Interior in = interior(out.size(), p.from, p.to);
    const std::vector<float> ideal = sine(1000.0, p.to, out.size(), 0.5);
    double worst = 0.0;
    for (std::size_t k = in.begin; k < in.end; ++k)
      worst = std::max(worst, std::abs(static_cast<double>(out[k]) - ideal[k]));
    EXPECT_LT(worst, 1e-3) << "same frequency, amplitude and timing, within -54 dB";
  }
}

TEST(RateConverterTest, ConstantInputStaysConstant) {
  for (const RatePair& p : kPairs) {
    SCOPED_TRACE(testing::Message() << p.from << " -> " << p.to);
    const std::vector<float> out = convert(std::vector<float>(20000, -0.75f), p.from, p.to);
    const Interior in = interior(out.size(), p.from, p.to);
    for (std::size_t k = in.begin; k < in.end; ++k) ASSERT_NEAR(out[k], -0.75f, 1e-5f) << k;
  }
}

TEST(RateConverterTest, FrequenciesAboveTheNewNyquistDoNotFoldBack) {
  // 20 kHz at 48 kHz would fold to 12 kHz at 32 kHz, and 40 kHz at 96 kHz to 8 kHz.
  for (const RatePair p :
       {RatePair{48000, 32000}, RatePair{96000, 32000}, RatePair{44100, 32000}}) {
    SCOPED_TRACE(testing::Message() << p.from << " -> " << p.to);
    const double f = p.from == 96000 ? 40000.0 : 20000.0;
    const std::vector<float> out = convert(sine(f, p.from, 48000, 0.9), p.from, p.to);
    const Interior in = interior(out.size(), p.from, p.to);
    double energy = 0.0;
    for (std::size_t k = in.begin; k < in.end; ++k) energy += out[k] * out[k];
    const double rms = std::sqrt(energy / static_cast<double>(in.end - in.begin));
    EXPECT_LT(rms, 1e-3);
  }
}

TEST(RateConverterTest, HugeDownwardRatiosKeepTheKernelBoundedAndStillFilter) {
  // 100 and 160 times down: the full kernel would take thousands of taps per side.
  for (const RatePair& p : {RatePair{3200000, 32000}, RatePair{7056000, 44100}}) {
    SCOPED_TRACE(testing::Message() << p.from << " -> " << p.to);
    RateConverter c;
    initRateConverter(c, p.from, p.to);
    EXPECT_LE(c.halfTaps, kMaxHalfTaps);
    EXPECT_LE(c.table.size(), static_cast<std::size_t>(kRatePhases + 1) * 2 * kMaxHalfTaps);

    const std::size_t n = static_cast<std::size_t>(p.from) / 40;
    const std::vector<float> flat = convert(std::vector<float>(n, -0.75f), p.from, p.to);
    const Interior in = interior(flat.size(), p.from, p.to);
    for (std::size_t k = in.begin; k < in.end; ++k) ASSERT_NEAR(flat[k], -0.75f, 1e-5f) << k;

    const std::vector<float> out = convert(sine(1000.0, p.from, n, 0.5), p.from, p.to);
    const std::vector<float> ideal = sine(1000.0, p.to, out.size(), 0.5);
    for (std::size_t k = in.begin; k < in.end; ++k) ASSERT_NEAR(out[k], ideal[k], 1e-3) << k;
  }
}

TEST(RateConverterTest, FeedingInPiecesGivesTheSameSamplesAsFeedingAtOnce) {
  std::vector<float> x(30011);
  std::uint32_t seed = 12345;
  for (float& v : x) {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<float>(static_cast<std::int32_t>(seed) >> 8) / 8388608.0f;
  }
  for (const RatePair& p : kPairs) {
    SCOPED_TRACE(testing::Message() << p.from << " -> " << p.to);
    const std::vector<float> whole = convert(x, p.from, p.to);
    RateConverter c;
    initRateConverter(c, p.from, p.to);
    std::vector<float> pieces;
    std::size_t at = 0;
    for (std::size_t size = 1; at < x.size(); size = size * 3 % 9973 + 1) {
      const std::size_t take = std::min(size, x.size() - at);
      convertRate(c, x.data() + at, take, pieces);
      at += take;
    }
    finishRateConversion(c, pieces);
    ASSERT_EQ(pieces, whole);
  }
}

}  // namespace
