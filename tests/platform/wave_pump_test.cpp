// The descriptor pump the wave-audio backends share, and the arithmetic that
// keeps capture level with playback: no device, no server, no thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/wave_alignment.h"
#include "platform/wave_pump.h"

namespace {

constexpr WaveFormat kMono16{kWaveFormatPcm, 1, 32000, 64000, 2, 16, 0};
constexpr WaveFormat kStereo16{kWaveFormatPcm, 2, 32000, 128000, 4, 16, 0};
constexpr WaveFormat kMono8{kWaveFormatPcm, 1, 32000, 32000, 1, 8, 0};
constexpr WaveFormat kStereo8{kWaveFormatPcm, 2, 32000, 64000, 2, 8, 0};
constexpr WaveFormat kMono16At48k{kWaveFormatPcm, 1, 48000, 96000, 2, 16, 0};

class WavePumpTest : public ::testing::Test {
 protected:
  // Queues descriptors of these lengths (bytes), each filled with its own
  // number plus the byte's place in it.
  void queue(std::vector<std::uint32_t> lengths) {
    for (std::size_t k = 0; k < lengths.size(); ++k) {
      bytes[k].assign(lengths[k], 0);
      for (std::uint32_t i = 0; i < lengths[k]; ++i)
        bytes[k][i] = static_cast<char>(16 * (k + 1) + i);
      buffers[k] = WaveBuffer{};
      buffers[k].data = bytes[k].data();
      buffers[k].bufferLength = lengths[k];
      ASSERT_EQ(prepareWaveBuffer(&buffers[k]), kWaveOk);
      ASSERT_EQ(enqueueWaveBuffer(pump.queue, &buffers[k]), kWaveOk);
    }
  }

  WavePump<int> pump{};
  std::vector<char> bytes[4];
  WaveBuffer buffers[4]{};
};

TEST_F(WavePumpTest, PlaybackCompletesDescriptorsInQueueOrderAcrossPeriods) {
  queue({4, 10, 6});
  std::vector<std::uint8_t> heard;
  for (int period = 0; period < 4; ++period) {
    std::uint8_t out[6];
    playPeriod(pump, out, sizeof out, kMono16, [&](const WaveBuffer*) { return period; });
    heard.insert(heard.end(), out, out + sizeof out);
  }
  std::vector<std::uint8_t> expected;
  for (int k = 0; k < 3; ++k) expected.insert(expected.end(), bytes[k].begin(), bytes[k].end());
  expected.resize(24, 0);  // then silence
  EXPECT_EQ(heard, expected);
  EXPECT_EQ(pump.frames, 10u);
  // Each waits with the frame it ended at and the period it finished in.
  struct Finished {
    const WaveBuffer* buffer;
    std::uint64_t endFrame;
    int period;
  } const table[] = {{&buffers[0], 2, 0}, {&buffers[1], 7, 2}, {&buffers[2], 10, 3}};
  for (const Finished& f : table) {
    const auto* oldest = oldestFinished(pump.finished);
    ASSERT_NE(oldest, nullptr);
    EXPECT_EQ(oldest->endFrame, f.endFrame);
    EXPECT_EQ(oldest->stamp, f.period);
    EXPECT_EQ(popFinished(pump.finished), f.buffer);
    EXPECT_EQ(f.buffer->flags, kWaveBufferDone | kWaveBufferPrepared);
  }
  EXPECT_EQ(popFinished(pump.finished), nullptr);
}

TEST_F(WavePumpTest, CaptureFillsDescriptorsInQueueOrderAcrossPeriods) {
  queue({4, 10, 6});
  FilledDescriptors filled{};
  std::uint8_t recorded[24];
  for (std::uint32_t i = 0; i < sizeof recorded; ++i) recorded[i] = static_cast<std::uint8_t>(i);
  const int completed[] = {1, 0, 1, 1};  // in each period of three frames
  for (int period = 0; period < 4; ++period) {
    const int before = filled.count;
    recordPeriod(pump, recorded + 6 * period, 6, kMono16, filled);
    EXPECT_EQ(filled.count - before, completed[period]) << "period " << period;
  }
  ASSERT_EQ(filled.count, 3);
  std::uint32_t at = 0;
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(filled.items[k], &buffers[k]);
    EXPECT_EQ(buffers[k].bytesRecorded, buffers[k].bufferLength);
    EXPECT_EQ(buffers[k].flags, kWaveBufferDone | kWaveBufferPrepared);
    for (std::uint32_t i = 0; i < buffers[k].bufferLength; ++i, ++at)
      EXPECT_EQ(static_cast<std::uint8_t>(bytes[k][i]), recorded[at]);
  }
  EXPECT_EQ(pump.frames, 12u) << "every frame offered counts, the lost ones too";
}

TEST_F(WavePumpTest, SilenceIsTheMiddleOfEachFormat) {
  struct Case {
    WaveFormat format;
    std::uint8_t silence;
  } const table[] = {{kMono8, 0x80}, {kStereo8, 0x80}, {kMono16, 0}, {kStereo16, 0}};
  for (const Case& c : table) {
    SCOPED_TRACE(c.format.bitsPerSample * c.format.channels);
    EXPECT_EQ(silenceByte(c.format), c.silence);
    std::uint8_t out[8];
    pump = {};
    playPeriod(pump, out, sizeof out, c.format,
               [](const WaveBuffer*) { return 0; });  // an underrun
    for (std::uint8_t byte : out) EXPECT_EQ(byte, c.silence);
  }
}

TEST_F(WavePumpTest, AFinishedDescriptorWaitsForCaptureThreeQuartersOfItsLength) {
  queue({16, 16});  // 8 frames each
  std::uint8_t first[16], out[2];
  playPeriod(pump, first, sizeof first, kMono16, [](const WaveBuffer*) { return 0; });
  const auto* oldest = oldestFinished(pump.finished);
  ASSERT_NE(oldest, nullptr);
  const std::uint64_t deadline = oldest->endFrame + reportPatience(8);
  EXPECT_EQ(deadline, 14u);
  // Capture live and behind: it waits while the next descriptor plays six frames.
  for (int frame = 1; frame <= 8; ++frame) {
    playPeriod(pump, out, sizeof out, kMono16, [](const WaveBuffer*) { return 0; });
    EXPECT_EQ(reportDue(true, false, pump.frames, deadline), frame >= 6) << "frame " << frame;
  }
  struct Case {
    bool captureLive, caughtUp;
    std::uint64_t now;
    bool due;
  } const table[] = {{true, false, 13, false},
                     {true, false, 14, true},
                     {true, true, 9, true},
                     {false, false, 9, true}};
  for (const Case& c : table)
    EXPECT_EQ(reportDue(c.captureLive, c.caughtUp, c.now, deadline), c.due) << c.now;
  // The same rule in time: three quarters of a 125 ms block.
  EXPECT_EQ(reportPatience(std::uint64_t{8000} * 1000000) / kMono16.averageBytesPerSecond, 93750u);
}

TEST_F(WavePumpTest, CaptureIsPutLevelWithPlaybackThroughSdl) {
  struct Case {
    std::uint64_t playbackFrames;
    std::uint32_t playbackHeadOffset;
    WaveFormat playback, capture;
    std::uint32_t captureHeadBytes;
    CaptureLevel level;
  } const table[] = {
      {10000, 2000, kMono16, kMono16, 8000, {2000, 9000}},       // as far into its head
      {10000, 2000, kMono16, kMono16, 0, {0, 10000}},            // no head queued
      {10000, 2000, kMono16, kMono16, 1000, {0, 10000}},         // past a shorter head
      {48000, 1200, kMono16At48k, kMono16, 8000, {800, 31600}},  // another rate
      {10000, 2000, kMono16, kStereo16, 8000, {4000, 9000}},     // wider frames
      {10000, 0, kMono16, kMono16, 8000, {0, 10000}},            // at a descriptor's start
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.playbackHeadOffset);
    const CaptureLevel level = captureLevelWithPlayback(c.playbackFrames, c.playbackHeadOffset,
                                                        c.playback, c.capture, c.captureHeadBytes);
    EXPECT_EQ(level.headOffset, c.level.headOffset);
    EXPECT_EQ(level.frames, c.level.frames);
  }
}

TEST_F(WavePumpTest, CaptureIsPutLevelWithPlaybackThroughPipewire) {
  // Playback's last cycle: 1024 frames, started at 500 ms, its count 5000
  // before it and 6024 now; capture's cycles by their start and length.
  const DeviceCycle playback{500000000, 478666667, 1024, 5000};
  struct Case {
    std::int64_t now, previousNow;
    std::uint64_t cycleFrames;
    CaptureTarget target;
  } const table[] = {
      {500000000, 478666667, 1024, {5000, 16}},   // the same cycle, playback first
      {521333333, 500000000, 1024, {6024, 16}},   // the next, capture first
      {500000000, 478666667, 683, {5000, 16}},    // resampled: a frame or two either way
      {521333333, 510000000, 512, {6024, 2560}},  // a cycle of playback's missed
      {7, 3, 1024, {6024, 3072}},                 // drivers of their own
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.now);
    const CaptureTarget target =
        captureTarget(playback, 6024, {c.now, c.previousNow, c.cycleFrames, 0});
    EXPECT_EQ(target.frames, c.target.frames);
    EXPECT_EQ(target.tolerance, c.target.tolerance);
  }

  struct Off {
    std::uint64_t captureFrames;
    bool off;
  } const offs[] = {{5000, false}, {5256, false}, {4744, false}, {5257, true}, {4743, true}};
  for (const Off& o : offs)
    EXPECT_EQ(captureOffTarget(o.captureFrames, {5000, 256}), o.off) << o.captureFrames;

  // Capture moved level again: within its head descriptor (8000 bytes, 2 per
  // frame) only the frames skipped go silent; beyond it, it starts over.
  struct Move {
    std::int64_t frames;
    std::uint64_t to;
    std::uint32_t headOffset;
    CaptureMove move;
  } const moves[] = {
      {256, 1256, 2000, {2512, 2000}},  // a cycle the server lost: 256 frames of silence
      {-256, 744, 2000, {1488, 1488}},  // a cycle ahead: recorded again, nothing silenced
      {0, 1000, 2000, {2000, 2000}},
      {3000, 4000, 2000, {0, 0}},      // past the descriptor's end: starts over
      {-1001, 5999, 2000, {3998, 0}},  // before its start: starts over at `to`'s place
  };
  for (const Move& m : moves) {
    const CaptureMove move = moveCapture(m.frames, m.to, m.headOffset, 8000, 2);
    EXPECT_EQ(move.headOffset, m.move.headOffset) << m.frames;
    EXPECT_EQ(move.silentFrom, m.move.silentFrom) << m.frames;
  }

  struct Offset {
    std::uint64_t frames;
    std::uint32_t descriptorBytes, frameBytes, offset;
  } const offsets[] = {{0, 8000, 2, 0},    {4500, 8000, 2, 1000},  {8000, 8000, 2, 0},
                       {4001, 8000, 2, 2}, {4500, 16000, 4, 2000}, {7, 1, 2, 0}};
  for (const Offset& o : offsets)
    EXPECT_EQ(offsetInDescriptor(o.frames, o.descriptorBytes, o.frameBytes), o.offset) << o.frames;

  // Live: capture ran in playback's cycle or the one before, or (two drivers,
  // cycles skipped) within two of the longer cycles: 2 x 1024 frames at
  // 48000 Hz = 42666666 ns; or within a block where blocks are longer: 6000
  // frames = 125 ms.
  struct Live {
    std::int64_t now;
    std::uint64_t block;
    bool live;
  } const lives[] = {{500000000, 0, true},
                     {478666667, 0, true},
                     {500000000 - 42666666, 0, true},
                     {500000000 - 42666667, 0, false},
                     {500000000 - 42666667, 1024, false},
                     {500000000 - 125000000, 6000, true},
                     {500000000 - 125000001, 6000, false}};
  for (const Live& l : lives)
    EXPECT_EQ(captureLiveIn(playback, {l.now, 0, 512, 0}, 48000, l.block), l.live) << l.now;
}

}  // namespace
