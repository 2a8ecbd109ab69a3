#include <cmath>
#include <limits>

#include "support/chain_fixture.h"

namespace {

using ::testing::Each;

// Read while the program starts, before any test has run a block or reset.
const EffectsChainPositions positionsAtStart = {delayWritePos, reverseWriteSlot, reverseReadSlot,
                                                slicerStep};

EffectsChainPositions positionsNow() {
  return {delayWritePos, reverseWriteSlot, reverseReadSlot, slicerStep};
}

TEST(EffectsChainPositions, TheProcessStartsWithTheValuesResetPutsBack) {
  // Capture into slot 7, read slot 0: the first four blocks read silent slots.
  const EffectsChainPositions start = {0, 7, 0, 0};
  EXPECT_EQ(positionsAtStart, start);
  delayWritePos = 16000;
  reverseWriteSlot = 3;
  reverseReadSlot = 5;
  slicerStep = 6;
  resetEffectsChain();
  EXPECT_EQ(positionsNow(), start);
}

// --- Paths that skip the effects -----------------------------------------

TEST_F(ChainTest, MuteSilencesEverythingButStillAdvancesTheReverseSlots) {
  fillInput(1234);
  effectSettings.bypassOn = 1;
  effectSettings.echoBlocks = 2;
  effectSettings.gain = 3.0f;
  effectSettings.muteOn = 1;
  std::fill(out(), out() + n, 77);
  EXPECT_THAT(run(), Each(0));
  EXPECT_EQ(reverseWriteSlot, 6);
  EXPECT_EQ(reverseReadSlot, 1);
  EXPECT_EQ(delayWritePos, 0u);
}

TEST_F(ChainTest, BypassCopiesTheInputWithoutGainOrDownsampling) {
  for (int i = 0; i < n; ++i) in()[i] = static_cast<std::int16_t>(i * 7 - 20000);
  effectSettings.bypassOn = 1;
  effectSettings.gain = 4.0f;
  effectSettings.downsampleFactor = 8;
  effectSettings.flangerOn = 1;
  EXPECT_EQ(run(), input());
}

TEST_F(ChainTest, StoppingLeavesTheOutputAsItWas) {
  fillInput(500);
  std::fill(out(), out() + n, -9);
  quitRequested = 1;
  EXPECT_THAT(run(), Each(-9));
  EXPECT_EQ(reverseWriteSlot, 6) << "the reverse capture still runs";
}

// A muted, bypassed or stopping block leaves the echo, the combs and the slicer
// with exactly the state they had.
TEST_F(ChainTest, SkippedEffectsKeepAllTheirState) {
  struct Path {
    const char* name;
    Shared<std::int32_t>* flag;
  } paths[] = {{"muted", &effectSettings.muteOn},
               {"bypassed", &effectSettings.bypassOn},
               {"stopping", &quitRequested}};
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    SetUpProfile(0);
    setEcho(2);
    effectSettings.flangerOn = 1;
    effectSettings.slicerOn = 1;
    effectSettings.slicerPattern[2] = 1;
    for (int i = 0; i < n; ++i) in()[i] = static_cast<std::int16_t>(i % 700 * 40 - 14000);
    run();
    const std::size_t lineEntries = static_cast<std::size_t>(audioProfile.delayBufferBytes / 4);
    const std::vector<std::int32_t> line(delayLine, delayLine + lineEntries);
    const std::vector<std::int16_t> longComb(flangerLong,
                                             flangerLong + audioProfile.flangerLongSamples);
    const std::vector<std::int16_t> shortComb(flangerShort,
                                              flangerShort + audioProfile.flangerShortSamples);
    const EffectsChainPositions before = positionsNow();

    *path.flag = 1;
    run();
    EXPECT_EQ(delayWritePos, before.delayWritePos);
    EXPECT_EQ(slicerStep, before.slicerStep);
    EXPECT_TRUE(std::equal(line.begin(), line.end(), delayLine));
    EXPECT_TRUE(std::equal(longComb.begin(), longComb.end(), flangerLong));
    EXPECT_TRUE(std::equal(shortComb.begin(), shortComb.end(), flangerShort));
  }
}

TEST_F(ChainTest, EverythingOffAtUnityGainPassesTheInput) {
  for (int i = 0; i < n; ++i) in()[i] = static_cast<std::int16_t>((i * 131) % 65536 - 32768);
  EXPECT_EQ(run(), input());
}

// --- Gain ----------------------------------------------------------------

TEST_F(ChainTest, GainTruncatesTowardZeroAndSaturates) {
  struct Case {
    std::int16_t sample;
    float gain;
    std::int16_t expected;
  } cases[] = {
      {20000, 2.0f, 32767}, {-16385, 2.0f, -32768}, {32767, 4.0f, 32767}, {-32768, 4.0f, -32768},
      {-3, 0.5f, -1},       {3, 0.5f, 1},           {1000, 0.0f, 0},      {-32768, 1.0f, -32768},
      {12345, 1.0f, 12345}, {101, 0.99f, 99},       {-101, 0.99f, -99},   {32767, 1e38f, 32767},
      {-2, 1e38f, -32768},  {5, -1.0f, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sample << " x " << c.gain);
    fillInput(c.sample);
    effectSettings.gain = c.gain;
    EXPECT_THAT(run(), Each(c.expected));
  }
}

TEST_F(ChainTest, GainThatIsNotANumberSilences) {
  fillInput(-20000);
  for (float g : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                  -std::numeric_limits<float>::infinity()}) {
    effectSettings.gain = g;
    EXPECT_THAT(run(), Each(0)) << g;
  }
}

// --- Echo ----------------------------------------------------------------

TEST_F(ChainTest, EchoOfAPositiveImpulseHalvesEachRepeat) {
  setEcho(1);
  in()[0] = 1000;
  std::vector<int> heard;
  for (int t = 0; t < 5; ++t) {
    heard.push_back(run()[0]);
    in()[0] = 0;
    EXPECT_EQ(delayWritePos, 0u) << "one block of delay never moves the write position";
  }
  EXPECT_EQ(heard, (std::vector<int>{500, 250, 125, 62, 31}));
}

TEST_F(ChainTest, EchoOfANegativeImpulseSettlesAtMinusOne) {
  setEcho(1);
  in()[0] = -1000;
  std::vector<int> heard;
  for (int t = 0; t < 14; ++t) {
    heard.push_back(run()[0]);
    in()[0] = 0;
  }
  EXPECT_EQ(heard,
            (std::vector<int>{-500, -250, -125, -63, -32, -16, -8, -4, -2, -1, -1, -1, -1, -1}));
}

TEST_F(ChainTest, TwoBlockEchoAlternatesTheWritePositionAndRepeatsEveryOtherBlock) {
  setEcho(2);
  in()[5] = 800;
  std::vector<int> heard;
  std::vector<std::uint32_t> positions;
  for (int t = 0; t < 6; ++t) {
    heard.push_back(run()[5]);
    positions.push_back(delayWritePos);
    in()[5] = 0;
  }
  EXPECT_EQ(heard, (std::vector<int>{400, 0, 200, 0, 100, 0}));
  const auto b = static_cast<std::uint32_t>(n);
  EXPECT_EQ(positions, (std::vector<std::uint32_t>{b, 0, b, 0, b, 0}));
}

TEST_F(ChainTest, ShorteningTheDelayRestartsAtTheLineStartAndKeepsOldEchoes) {
  setEcho(8);
  in()[0] = 1000;
  run();  // written at position 0
  in()[0] = 0;
  for (int t = 0; t < 3; ++t) run();  // positions n, 2n, 3n
  EXPECT_EQ(delayWritePos, 4u * n);
  setEcho(1);  // 4n + n >= n: the next block goes back to position 0 afterwards
  run();
  EXPECT_EQ(delayWritePos, 0u);
  EXPECT_EQ(run()[0], 250) << "the old echo at position 0 comes back";
}

TEST_F(ChainTest, EchoReadsTheReverseSourceWhenReverseIsOn) {
  setEcho(1);
  effectSettings.reverseOn = 1;
  fillInput(1000);
  EXPECT_THAT(run(), Each(0)) << "the first reverse slots are still silent";
}

// Each stage works on what the stage before it made: the echo line keeps the
// echo's own output, not what the combs or the gain made of it, and the gate
// silences what the combs made. The first block is 1000 throughout, so the second
// finds the line and the combs filled.
TEST_F(ChainTest, EachStageWorksOnWhatTheStageBeforeItMade) {
  struct Case {
    const char* name;
    std::int32_t echoBlocks, flangerOn, slicerOn;
    float gain;
    std::int16_t secondInput;
    int secondOutput[4];  // per quarter of the block
  } cases[] = {
      {"echo, then gain", 1, 0, 0, 2.0f, 0, {500, 500, 500, 500}},
      {"echo, then combs", 1, 1, 0, 1.0f, 0, {320, 316, 298, 289}},
      {"combs, then gate", 0, 1, 1, 1.0f, 1000, {0, 0, 878, 907}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUpProfile(0);
    setEcho(c.echoBlocks);
    effectSettings.flangerOn = c.flangerOn;
    effectSettings.slicerOn = c.slicerOn;
    for (auto& step : effectSettings.slicerPattern) step = 1;
    effectSettings.gain = c.gain;
    fillInput(1000);
    run();
    fillInput(c.secondInput);
    const auto o = run();
    for (int k = 0; k < 4; ++k)
      EXPECT_THAT(std::vector<std::int16_t>(o.begin() + k * q, o.begin() + (k + 1) * q),
                  Each(c.secondOutput[k]))
          << "quarter " << k;
  }
}

// --- Flanger -------------------------------------------------------------

TEST_F(ChainTest, FlangerGivesTheKnownValuesOverTwoBlocks) {
  effectSettings.flangerOn = 1;
  std::fill(in(), in() + h, 1000);
  const int expected[2][4] = {{250, 375, 312, 281}, {453, 539, 425, 368}};
  for (const auto& quarters : expected) {
    const auto o = run();
    for (int k = 0; k < 4; ++k) {
      SCOPED_TRACE(k);
      EXPECT_TRUE(std::all_of(o.begin() + k * q, o.begin() + (k + 1) * q,
                              [&](std::int16_t v) { return v == quarters[k]; }));
    }
  }
}

TEST_F(ChainTest, FlangerInTheOtherProfilesStaysInsideTheBlockAndCoversIt) {
  // The block's last sample ends the long comb's second pass and the short comb's
  // fourth; these values need both combs to reach it (one entry less of the short
  // comb gives 750 and 687).
  const struct {
    int profile;
    std::int16_t last;
  } cases[] = {{1, 656}, {2, 554}};
  for (const auto& c : cases) {
    SetUpProfile(c.profile);
    effectSettings.flangerOn = 1;
    std::fill(in(), in() + n, 1000);
    const auto o = run();
    EXPECT_EQ(o[0], 250) << "long then short comb over a fresh start";
    EXPECT_EQ(o[n - 1], c.last) << "the bounded combs still reach the block's last sample";
  }
}

// --- Slicer --------------------------------------------------------------

TEST_F(ChainTest, SlicerGatesTwoStepsPerBlockInTheFirstHalfOnly) {
  for (int step : {0, 1}) {
    SetUpProfile(0);
    effectSettings.slicerOn = 1;
    effectSettings.slicerPattern[step] = 1;
    fillInput(1000);
    for (int t = 0; t < 16; ++t) {
      SCOPED_TRACE(testing::Message() << "step " << step << " block " << t);
      const auto o = run();
      for (int i = 0; i < n; ++i) {
        const bool gated = t % 8 == 0 && i >= step * q && i < (step + 1) * q;
        ASSERT_EQ(o[i], gated ? 0 : 1000) << "sample " << i;
      }
    }
  }
}

TEST_F(ChainTest, SlicerResumesFromItsStepAfterBeingSwitchedOff) {
  effectSettings.slicerOn = 1;
  run();
  run();
  EXPECT_EQ(slicerStep, 4);
  effectSettings.slicerOn = 0;
  run();
  EXPECT_EQ(slicerStep, 4);
  effectSettings.slicerOn = 2;  // only exactly 1 switches the gate on
  run();
  EXPECT_EQ(slicerStep, 4);
  effectSettings.slicerOn = 1;
  effectSettings.slicerPattern[5] = 1;
  fillInput(10);
  const auto o = run();
  EXPECT_EQ(o[q - 1], 10);
  EXPECT_EQ(o[q], 0);
  EXPECT_EQ(slicerStep, 6);
}

// --- Sample and hold -------------------------------------------------------

TEST_F(ChainTest, DownsamplerHoldsTheFirstSampleOfEachGroup) {
  for (int i = 0; i < n; ++i) in()[i] = static_cast<std::int16_t>(i);
  effectSettings.downsampleFactor = 4;
  auto o = run();
  EXPECT_EQ(std::vector<int>(o.begin(), o.begin() + 8), (std::vector<int>{0, 0, 0, 0, 4, 4, 4, 4}));
  effectSettings.downsampleFactor = 2;
  o = run();
  EXPECT_EQ(std::vector<int>(o.begin(), o.begin() + 8), (std::vector<int>{0, 0, 2, 2, 4, 4, 6, 6}));
}

TEST_F(ChainTest, DownsamplerStopsTheLastGroupAtTheEndOfAnOddBlock) {
  SetUpProfile(2);
  ASSERT_EQ(n % 2, 1);
  for (int i = 0; i < n; ++i) in()[i] = static_cast<std::int16_t>(i);
  for (int f : {2, 4, 8, 3, 100000, 1 << 30}) {
    effectSettings.downsampleFactor = f;
    const auto o = run();
    for (int i = 0; i < n; ++i) ASSERT_EQ(o[i], static_cast<std::int16_t>(i / f * f)) << f;
  }
}

TEST_F(ChainTest, DownsamplerIgnoresFactorsBelowTwo) {
  for (int i = 0; i < n; ++i) in()[i] = static_cast<std::int16_t>(i);
  for (int f : {-2, -8, 1, std::numeric_limits<std::int32_t>::min()}) {
    effectSettings.downsampleFactor = f;
    EXPECT_EQ(run(), input()) << f;
  }
}

// --- Reverse -------------------------------------------------------------

// The capture a block reads: slot t mod 9 was last written by the latest block
// u <= t with (7 - u) mod 9 == t mod 9, or by none yet.
int captureReadAt(int t) {
  for (int u = t; u >= 0; --u)
    if (((7 - u) % 9 + 9) % 9 == t % 9) return u;
  return -1;
}

TEST_F(ChainTest, ReversePlaysFirstHalvesBackwardsInDescendingRuns) {
  effectSettings.reverseOn = 1;
  std::vector<int> runOrder;
  for (int t = 0; t < 24; ++t) {
    for (int i = 0; i < h; ++i) in()[i] = static_cast<std::int16_t>(t * 1000 + i % 1000);
    const auto o = run();
    const int u = captureReadAt(t);
    runOrder.push_back(u);
    for (int i = 0; i < n; ++i) {
      const int expected = u >= 0 && i < h ? u * 1000 + (h - 1 - i) % 1000 : 0;
      ASSERT_EQ(o[i], expected) << "block " << t << " sample " << i;
    }
  }
  const std::vector<int> known = {-1, -1, -1, -1, 3, 2, 1, 0, 8, 7, 6, 5, 4, 12, 11, 10, 9, 17};
  EXPECT_EQ(std::vector<int>(runOrder.begin(), runOrder.begin() + 18), known);
}

// --- The whole chain in every profile ----------------------------------------

// A busy chain (echo at its longest, flanger, reverse, slicer, downsampler x2) over
// noise, for one whole cycle of both the echo's eight blocks and the reverse
// history's nine slots: the FNV-1a hash of everything it played, per profile, as
// the buffers sized to what the chain uses give it. The delay line or a comb one
// entry shorter changes the hash; a reverse history too short for its nine slots
// is read past its end, which AddressSanitizer reports.
TEST_F(ChainTest, ABusyChainPlaysTheKnownSoundInEveryProfile) {
  const struct {
    int profile;
    std::uint64_t hash;
  } cases[] = {{0, 0xd16d8d5aeb9f0c8d}, {1, 0x485e21ed1f8187bd}, {2, 0xaed42d9b3c04f7b2}};
  for (const auto& c : cases) {
    SetUpProfile(c.profile);
    SCOPED_TRACE(audioProfile.sampleRate);
    setEcho(kLongestEchoBlocks);
    effectSettings.flangerOn = 1;
    effectSettings.reverseOn = 1;
    effectSettings.slicerOn = 1;
    for (int step : {0, 3, 6, 7, 12}) effectSettings.slicerPattern[step] = 1;
    effectSettings.downsampleFactor = 2;
    std::uint32_t noise = 1;
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (int block = 0; block < kLongestEchoBlocks * kReverseSlots; ++block) {
      for (int i = 0; i < n; ++i) {
        noise = noise * 1664525u + 1013904223u;
        in()[i] = static_cast<std::int16_t>(noise >> 16);
      }
      for (std::int16_t v : run())
        for (int byte : {v & 0xFF, (v >> 8) & 0xFF}) hash = (hash ^ byte) * 0x100000001b3u;
    }
    EXPECT_EQ(hash, c.hash) << std::hex << "0x" << hash;
  }
}

}  // namespace
