#include <algorithm>
#include <cstring>
#include <random>

#include "support/stream_fixture.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// --- Format negotiation ------------------------------------------------------

TEST(WaveFormatTest, FieldsFollowFromChannelsRateAndBits) {
  struct Case {
    std::int32_t channels, rate, bits;
    std::uint16_t align;
    std::uint32_t bytesPerSecond;
  };
  const Case cases[] = {
      {1, 32000, 16, 2, 64000},  {1, 48000, 16, 2, 96000}, {1, 44100, 16, 2, 88200},
      {2, 44100, 16, 4, 176400}, {1, 8000, 8, 1, 8000},
  };
  for (const Case& c : cases) {
    WaveFormat f;
    std::memset(&f, 0xFF, sizeof f);
    fillWaveFormat(f, c.channels, c.rate, c.bits);
    EXPECT_EQ(f.formatTag, 1);
    EXPECT_EQ(f.channels, c.channels);
    EXPECT_EQ(f.samplesPerSecond, static_cast<std::uint32_t>(c.rate));
    EXPECT_EQ(f.blockAlign, c.align);
    EXPECT_EQ(f.averageBytesPerSecond, c.bytesPerSecond);
    EXPECT_EQ(f.bitsPerSample, c.bits);
    EXPECT_EQ(f.extraSize, 0);
  }
}

TEST_F(StreamTest, ProbeTakesTheFirstAcceptedRateAndOpensWithIt) {
  struct Case {
    const char* name;
    int playbackDevices;
    std::vector<std::uint32_t> accepted;
    int result;
    std::vector<std::uint32_t> queried;
    std::int32_t blockSamples;     // profile in place afterwards
    std::uint32_t exchangedBytes;  // per descriptor once opened (result 0 only)
  };
  const Case cases[] = {
      {"accepts 32000", 1, {32000, 48000, 44100}, 0, {32000}, 8000, 8000},
      {"refuses 32000", 1, {48000, 44100}, 0, {32000, 48000}, 12000, 12000},
      {"only 44100", 1, {44100}, 0, {32000, 48000, 44100}, 11025, 22050},
      {"none of them", 1, {22050}, 2, {32000, 48000, 44100}, 11025, 0},
      {"no device", 0, {}, 2, {}, 8000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    setVirtualDeviceCounts(c.playbackDevices, 1);
    setVirtualPlaybackRates(c.accepted);
    ASSERT_EQ(probeOutputFormat(1, 32000, 16), c.result);
    VirtualAudioStats s = virtualAudioStats();
    EXPECT_EQ(s.queriedRates, c.queried);
    EXPECT_EQ(audioProfile.blockSamples, c.blockSamples);
    EXPECT_EQ(s.playbackOpens + s.captureOpens, 0) << "the probe opens nothing";
    if (c.result != 0) continue;
    openBoth();
    s = virtualAudioStats();
    EXPECT_EQ(s.playbackFormat.samplesPerSecond, c.queried.back());
    EXPECT_EQ(s.captureFormat.samplesPerSecond, c.queried.back());
    for (const WaveBuffer* h :
         {&outputHeaders[0], &outputHeaders[1], &inputHeaders[0], &inputHeaders[1]})
      EXPECT_EQ(h->bufferLength, c.exchangedBytes);
  }
}

// --- Opening and its failures ---------------------------------------------------

TEST_F(StreamTest, EveryFailingAllocationIsReportedAndNothingIsOpened) {
  std::int16_t** outputOrder[] = {
      &outputBlocks[0], &outputBlocks[1], reinterpret_cast<std::int16_t**>(&delayLine),
      &flangerLong,     &flangerShort,    &reverseHistory};
  for (int k = 1; k <= 6; ++k) {
    SCOPED_TRACE(k);
    TearDown();
    SetUp();
    failAllocationNumber(k);
    EXPECT_EQ(openOutput(1, 32000, 16), kStreamNoMemory);
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(*outputOrder[i] == nullptr, i == k - 1) << "buffer " << i + 1;
    EXPECT_EQ(virtualAudioStats().playbackOpens, 0);
    EXPECT_EQ(outputDevice, nullptr);
  }
  for (int k = 1; k <= 2; ++k) {
    SCOPED_TRACE(k);
    TearDown();
    SetUp();
    failAllocationNumber(k);
    EXPECT_EQ(openInput(1, 32000, 16), kStreamNoMemory);
    EXPECT_EQ(inputBlocks[0] == nullptr, k == 1);
    EXPECT_EQ(inputBlocks[1] == nullptr, k == 2);
    EXPECT_EQ(virtualAudioStats().captureOpens, 0);
  }
}

TEST_F(StreamTest, MissingOrRefusingDevicesGiveTheirCodes) {
  setVirtualDeviceCounts(0, 0);
  const int before = allocationCount();
  EXPECT_EQ(openInput(1, 32000, 16), kStreamNoCapture);
  EXPECT_EQ(openOutput(1, 32000, 16), kStreamNoPlayback);
  EXPECT_EQ(allocationCount(), before) << "no device, nothing allocated";

  TearDown();
  SetUp();
  setVirtualOpenFailures(true, true);
  EXPECT_EQ(openInput(1, 32000, 16), kStreamNoCapture);
  EXPECT_EQ(openOutput(1, 32000, 16), kStreamNoPlayback);
  EXPECT_NE(inputBlocks[1], nullptr) << "kept until the close";
  EXPECT_NE(reverseHistory, nullptr);
  closeOutput();
  closeInput();
  const VirtualAudioStats s = virtualAudioStats();
  EXPECT_EQ(s.playbackCloses + s.captureCloses, 0);
  EXPECT_EQ(inputBlocks[1], nullptr);
  EXPECT_EQ(reverseHistory, nullptr);
}

// Capture failed in each possible way while playback opened: the stream plays
// silence and never reads an input block that does not exist.
TEST_F(StreamTest, PlaybackWithoutCaptureIsSilentAndSafe) {
  struct Case {
    const char* name;
    int failAllocation;  // 0: none
    int captureDevices;
    bool captureOpenFails;
    int result;
  };
  const Case cases[] = {
      {"first input block missing", 1, 1, false, kStreamNoMemory},
      {"second input block missing", 2, 1, false, kStreamNoMemory},
      {"no capture device", 0, 0, false, kStreamNoCapture},
      {"capture refuses to open", 0, 1, true, kStreamNoCapture},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    setVirtualDeviceCounts(1, c.captureDevices);
    setVirtualOpenFailures(false, c.captureOpenFails);
    setVirtualCaptureSource([](std::int16_t* s, std::size_t n) { std::fill(s, s + n, 999); });
    failAllocationNumber(c.failAllocation);
    EXPECT_EQ(openInput(1, 32000, 16), c.result);
    failAllocationNumber(0);
    ASSERT_EQ(openOutput(1, 32000, 16), kStreamOk);
    effectSettings.muteOn = 0;
    effectSettings.bypassOn = 1;
    for (int t = 0; t < 6; ++t) EXPECT_EQ(tickVirtualAudio() & kVirtualPlayed, kVirtualPlayed);
    const std::vector<std::int16_t> heard = takeVirtualPlayback();
    EXPECT_EQ(heard.size(), 6 * chunk());
    EXPECT_THAT(heard, Each(0));
  }
}

// --- The running stream -----------------------------------------------------------

TEST_F(StreamTest, BlocksCirculateInOrderAndTheFirstTwoHeardAreSilent) {
  std::vector<std::int16_t> signal(10 * 4000);
  for (std::size_t i = 0; i < signal.size(); ++i)
    signal[i] = static_cast<std::int16_t>(i / 4000 + 1);
  setVirtualCaptureSource(sourceOf(signal));
  openBoth();
  effectSettings.muteOn = 0;
  effectSettings.bypassOn = 1;
  EXPECT_EQ(nextInputBlock, 0);
  EXPECT_EQ(nextOutputBlock, 0);

  std::vector<std::int32_t> newest;
  for (int t = 0; t < 8; ++t) {
    ASSERT_EQ(tickVirtualAudio(), kVirtualCaptured | kVirtualPlayed);
    newest.push_back(latestInputBlock);
  }
  EXPECT_THAT(newest, ElementsAre(0, 1, 0, 1, 0, 1, 0, 1));
  const VirtualAudioStats s = virtualAudioStats();
  const WaveBuffer *o0 = &outputHeaders[0], *o1 = &outputHeaders[1];
  const WaveBuffer *i0 = &inputHeaders[0], *i1 = &inputHeaders[1];
  EXPECT_THAT(s.playbackQueued, ElementsAre(o0, o1, o0, o1, o0, o1, o0, o1, o0, o1));
  EXPECT_THAT(s.captureQueued, ElementsAre(i0, i1, i0, i1, i0, i1, i0, i1, i0, i1));
  EXPECT_EQ(s.captureStarts, 1);
  EXPECT_EQ(s.prepares, 4);

  // Block k heard is input block k - 2; the first two are the primed silence.
  const std::vector<std::int16_t> heard = takeVirtualPlayback();
  ASSERT_EQ(heard.size(), 8 * chunk());
  for (std::size_t k = 0; k < 8; ++k) {
    const std::int16_t expected = k < 2 ? 0 : static_cast<std::int16_t>(k - 1);
    EXPECT_THAT(
        std::vector<std::int16_t>(heard.begin() + k * chunk(), heard.begin() + (k + 1) * chunk()),
        Each(expected))
        << "block " << k;
  }
}

TEST_F(StreamTest, ChainReadsTheSilentFirstInputBlockBeforeAnyCapture) {
  setVirtualCaptureSource([](std::int16_t* s, std::size_t n) { std::fill(s, s + n, 500); });
  openBoth();
  effectSettings.muteOn = 0;
  effectSettings.bypassOn = 1;
  // Markers show a read of the other input block, or a block the chain never wrote.
  const std::size_t n = static_cast<std::size_t>(audioProfile.blockSamples);
  std::fill_n(inputBlocks[1], n, 321);
  std::fill_n(outputBlocks[0], n, 77);
  // A playback completion that arrives before any capture completion.
  onOutputDone(outputDevice, kPlaybackDoneMessage, 0, 0, 0);
  EXPECT_THAT(std::vector<std::int16_t>(outputBlocks[0], outputBlocks[0] + n), Each(0));
  EXPECT_EQ(nextOutputBlock, 1);
}

// What is heard equals the chain run by hand over the same input blocks.
TEST_F(StreamTest, HeardAudioMatchesTheChainRunByHand) {
  for (int profile = 0; profile < kAudioProfileCount; ++profile) {
    SCOPED_TRACE(profile);
    TearDown();
    SetUp();
    selectAudioProfile(profile);
    const std::size_t blocks = 12, n = chunk();
    std::vector<std::int16_t> signal(blocks * n);
    std::mt19937 rng(static_cast<unsigned>(profile));
    for (auto& v : signal) v = static_cast<std::int16_t>(static_cast<int>(rng() % 20001) - 10000);
    setVirtualCaptureSource(sourceOf(signal));
    openBoth();
    EffectSettings& e = effectSettings;
    e.muteOn = 0;
    e.echoBlocks = 2;
    delayLengthSamples = 2 * audioProfile.blockSamples;
    e.flangerOn = 1;
    e.slicerOn = 1;
    e.slicerPattern[3] = 1;
    e.downsampleFactor = 4;
    e.gain = 1.5f;
    for (std::size_t t = 0; t < blocks; ++t) tickVirtualAudio();
    const std::vector<std::int16_t> heard = takeVirtualPlayback();
    quitRequested = 1;
    closeOutput();
    closeInput();
    quitRequested = 0;

    resetEffectsChain();
    ASSERT_EQ(allocateOutputBuffers(), 0);
    ASSERT_EQ(allocateInputBlocks(), 0);
    std::vector<std::int16_t> expected(2 * n, 0);
    for (std::size_t k = 0; k + 2 < blocks; ++k) {
      latestInputBlock = static_cast<std::int32_t>(k & 1);
      nextOutputBlock = static_cast<std::int32_t>(k & 1);
      std::copy_n(signal.begin() + static_cast<std::ptrdiff_t>(k * n), n,
                  inputBlocks[latestInputBlock]);
      processBlock();
      expected.insert(expected.end(), outputBlocks[nextOutputBlock],
                      outputBlocks[nextOutputBlock] + n);
    }
    ASSERT_EQ(heard.size(), blocks * n);
    EXPECT_TRUE(heard == expected);
  }
}

TEST_F(StreamTest, NothingIsQueuedOrProcessedOnceQuitIsRequested) {
  openBoth();
  effectSettings.muteOn = 0;
  for (int t = 0; t < 3; ++t) tickVirtualAudio();
  const VirtualAudioStats before = virtualAudioStats();
  const std::int32_t writeSlot = reverseWriteSlot, readSlot = reverseReadSlot;
  const std::int32_t latest = latestInputBlock, next = nextInputBlock, out = nextOutputBlock;
  quitRequested = 1;
  EXPECT_EQ(tickVirtualAudio(), kVirtualCaptured | kVirtualPlayed) << "queued blocks still finish";
  tickVirtualAudio();
  EXPECT_EQ(tickVirtualAudio(), 0) << "the devices ran out of blocks";
  const VirtualAudioStats after = virtualAudioStats();
  EXPECT_EQ(after.playbackQueued.size(), before.playbackQueued.size());
  EXPECT_EQ(after.captureQueued.size(), before.captureQueued.size());
  EXPECT_EQ(reverseWriteSlot, writeSlot) << "processBlock did not run";
  EXPECT_EQ(reverseReadSlot, readSlot);
  EXPECT_EQ(latestInputBlock, latest);
  EXPECT_EQ(nextInputBlock, next);
  EXPECT_EQ(nextOutputBlock, out);
}

TEST_F(StreamTest, HandlersIgnoreOtherNotifications) {
  openBoth();
  for (std::uint32_t m : {kPlaybackOpenMessage, kPlaybackCloseMessage, kCaptureDataMessage}) {
    onOutputDone(outputDevice, m, 0, 0, 0);
  }
  for (std::uint32_t m : {kCaptureOpenMessage, kCaptureCloseMessage, kPlaybackDoneMessage}) {
    onInputData(inputDevice, m, 0, 0, 0);
  }
  const VirtualAudioStats s = virtualAudioStats();
  EXPECT_EQ(s.playbackQueued.size(), 2u);
  EXPECT_EQ(s.captureQueued.size(), 2u);
  EXPECT_EQ(reverseWriteSlot, 7);
}

// A capture block that records fewer bytes than its length has the rest zeroed,
// and one that records nothing is used as a silent block; capture goes on.
TEST_F(StreamTest, ShortAndEmptyCaptureBlocksAreCompletedWithSilence) {
  int fill = 0;
  setVirtualCaptureSource([&fill](std::int16_t* s, std::size_t n) {
    fill += 100;
    std::fill(s, s + n, static_cast<std::int16_t>(fill));
  });
  openBoth();
  effectSettings.muteOn = 0;
  effectSettings.bypassOn = 1;
  const std::size_t n = chunk();
  tickVirtualAudio();  // block 0 full of 100
  tickVirtualAudio();  // block 1 full of 200
  shortenVirtualCaptures({1000, 0, 6});
  tickVirtualAudio();  // block 0: 500 samples of 300, then silence, not the old 100s
  EXPECT_EQ(latestInputBlock, 0);
  EXPECT_THAT(std::vector<std::int16_t>(inputBlocks[0], inputBlocks[0] + 500), Each(300));
  EXPECT_THAT(std::vector<std::int16_t>(inputBlocks[0] + 500, inputBlocks[0] + n), Each(0));
  tickVirtualAudio();  // block 1: nothing recorded (the source still runs: 400)
  EXPECT_EQ(latestInputBlock, 1);
  EXPECT_EQ(nextInputBlock, 0);
  EXPECT_THAT(std::vector<std::int16_t>(inputBlocks[1], inputBlocks[1] + n), Each(0));
  tickVirtualAudio();  // block 0: 3 samples of 500
  tickVirtualAudio();  // block 1 full of 600: capture kept going
  EXPECT_EQ(latestInputBlock, 1);
  EXPECT_THAT(std::vector<std::int16_t>(inputBlocks[1], inputBlocks[1] + n), Each(600));
  EXPECT_EQ(virtualAudioStats().captureQueued.size(), 8u);
  for (int t = 0; t < 2; ++t) tickVirtualAudio();

  const std::vector<std::int16_t> heard = takeVirtualPlayback();
  ASSERT_EQ(heard.size(), 8 * n);
  auto block = [&](std::size_t k) {
    return std::vector<std::int16_t>(heard.begin() + k * n, heard.begin() + (k + 1) * n);
  };
  // Block k heard is the input of tick k - 2.
  std::vector<std::int16_t> shortBlock(n, 0);
  std::fill_n(shortBlock.begin(), 500, 300);
  EXPECT_THAT(block(4), ElementsAreArray(shortBlock));
  EXPECT_THAT(block(5), Each(0)) << "the empty block is heard as silence";
  EXPECT_THAT(block(7), Each(600));
}

// --- Closing ------------------------------------------------------------------------

TEST_F(StreamTest, ClosingLeavesNoBlockWithTheDevices) {
  openBoth();
  tickVirtualAudio();
  ASSERT_EQ(virtualAudioStats().playbackHeld, 2);
  quitRequested = 1;
  // One more block finishes in each direction and is not queued again. Nothing
  // plays during the drain pauses, so the other block of each stays queued.
  tickVirtualAudio();
  closeOutput();
  closeInput();
  const VirtualAudioStats s = virtualAudioStats();
  EXPECT_EQ(s.playbackCloses, 1);
  EXPECT_EQ(s.captureCloses, 1);
  EXPECT_EQ(s.playbackHeld + s.captureHeld, 0);
  EXPECT_EQ(outputBlocks[0], nullptr);
  EXPECT_EQ(inputBlocks[0], nullptr);
  EXPECT_EQ(s.releases, 2) << "each finished block is released while its device is open";
}

TEST_F(StreamTest, DrainedBlocksAreReleasedBeforeTheClose) {
  openBoth();
  drainPauseMilliseconds = 20;
  startVirtualAudioThread(1000);
  quitRequested = 1;
  closeOutput();
  closeInput();
  stopVirtualAudioThread();
  const VirtualAudioStats s = virtualAudioStats();
  EXPECT_EQ(s.releases, 4) << "every block had finished within the first pause";
  EXPECT_EQ(s.playbackCloses + s.captureCloses, 2);
}

}  // namespace
