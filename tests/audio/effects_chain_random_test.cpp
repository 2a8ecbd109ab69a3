// Random settings, damaged ones included, must never make the chain leave its
// buffers (AddressSanitizer watches the exact allocation sizes) or lose track of
// its positions.
#include <limits>
#include <random>

#include "support/chain_fixture.h"

namespace {

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();

struct Randomizer {
  std::mt19937 rng;

  int below(int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); }
  template <typename T, std::size_t N>
  T pick(const T (&values)[N]) {
    return values[below(N)];
  }
  // Mostly the panel's values, sometimes what a damaged preset file holds.
  std::int32_t setting(std::initializer_list<std::int32_t> valid) {
    if (below(4) != 0) return valid.begin()[below(static_cast<int>(valid.size()))];
    const std::int32_t damaged[] = {-1, -8, 3, 7, 9, 16, 255, 100000, kIntMin, kIntMax};
    return pick(damaged);
  }
  float gain() {
    const float special[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -1.0f,
                             1e30f,
                             4.0f,
                             0.0f};
    if (below(5) == 0) return pick(special);
    return static_cast<float>(rng() % 4001) / 1000.0f;
  }
};

void randomizeSettings(Randomizer& r, std::int32_t n) {
  EffectSettings& s = effectSettings;
  s.echoBlocks = r.setting({0, 1, 2, 4, 8});
  // Usually in step with echoBlocks; a damaged file can leave any length.
  const auto wrapped = static_cast<std::uint32_t>(s.echoBlocks) * static_cast<std::uint32_t>(n);
  delayLengthSamples = r.below(3) == 0 ? r.setting({0, n}) : static_cast<std::int32_t>(wrapped);
  s.slicerOn = r.setting({0, 1});
  for (auto& step : s.slicerPattern)
    step = static_cast<std::uint8_t>(r.below(4) == 0 ? 2 : r.below(2));
  s.reverseOn = r.setting({0, 1});
  s.downsampleFactor = r.setting({0, 2, 4, 8});
  s.flangerOn = r.setting({0, 1});
  s.muteOn = r.below(6) == 0 ? r.setting({0, 1}) : 0;
  s.bypassOn = r.below(6) == 0 ? r.setting({0, 1}) : 0;
  s.gain = r.gain();
}

// No echo block leaves this value in an entry it wrote: the average of it and a
// 16-bit sample is about half of it.
constexpr std::int32_t kUnwritten = 1 << 20;

TEST_F(ChainTest, RandomSettingsKeepTheChainInsideItsBuffers) {
  for (int profile = 0; profile < kAudioProfileCount; ++profile) {
    for (unsigned seed = 1; seed <= 24; ++seed) {
      SetUpProfile(profile);
      SCOPED_TRACE(testing::Message() << "profile " << profile << " seed " << seed);
      Randomizer r{std::mt19937(seed)};
      const auto block = static_cast<std::uint32_t>(n);
      const auto capacity = static_cast<std::uint32_t>(audioProfile.delayBufferBytes / 4);
      for (int t = 0; t < 100; ++t) {
        // Settings mostly stay for a few blocks, as they do on the panel, so a
        // damaged delay length gets to walk the write position along the line.
        if (t == 0 || r.below(4) == 0) randomizeSettings(r, n);
        for (int i = 0; i < n; ++i) in()[i] = static_cast<std::int16_t>(r.rng());
        latestInputBlock = r.below(2);
        nextOutputBlock = r.below(2);
        // Between blocks the write position is where the next echo block starts,
        // with a whole block of the line after it.
        const std::uint32_t start = delayWritePos;
        ASSERT_LE(start, capacity - block);
        ASSERT_EQ(start % block, 0u);
        std::fill_n(delayLine + start, n, kUnwritten);
        const bool echoes = effectSettings.muteOn == 0 && effectSettings.bypassOn != 1 &&
                            effectSettings.echoBlocks != 0;
        processBlock();

        if (echoes) {
          ASSERT_TRUE(std::none_of(delayLine + start, delayLine + start + n,
                                   [](std::int32_t v) { return v == kUnwritten; }));
        } else {
          ASSERT_EQ(delayWritePos, start);
        }
        ASSERT_GE(reverseWriteSlot, 0);
        ASSERT_LE(reverseWriteSlot, 8);
        ASSERT_GE(reverseReadSlot, 0);
        ASSERT_LE(reverseReadSlot, 8);
        ASSERT_EQ(slicerStep % 2, 0);
        ASSERT_LE(slicerStep, 14);
        if (effectSettings.muteOn != 0) {
          ASSERT_TRUE(std::all_of(out(), out() + n, [](std::int16_t v) { return v == 0; }));
        } else if (effectSettings.bypassOn == 1) {
          ASSERT_TRUE(std::equal(out(), out() + n, in()));
        }
      }
    }
  }
}

}  // namespace
