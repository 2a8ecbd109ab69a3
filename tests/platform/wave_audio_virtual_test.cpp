// The wave-audio operations on the virtual devices: descriptor rules, order of
// notifications, queuing from a notification and what closing guarantees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/wave_audio.h"
#include "platform/wave_audio_virtual.h"
#include "platform/wave_pump.h"

namespace {

using ::testing::ElementsAre;

struct Event {
  std::uint32_t message;
  const WaveBuffer* buffer;
  std::uint32_t bytesRecorded = 0;  // as the notification saw it
  bool operator==(const Event&) const = default;
};
std::vector<Event> events;
bool requeue = false;

void record(WaveDevice device, std::uint32_t message, std::uintptr_t, std::uintptr_t param1,
            std::uintptr_t) {
  auto* b = reinterpret_cast<WaveBuffer*>(param1);
  events.push_back({message, b, b != nullptr ? b->bytesRecorded : 0});
  if (requeue && message == kPlaybackDoneMessage) queuePlaybackBuffer(device, b);
  if (requeue && message == kCaptureDataMessage) queueCaptureBuffer(device, b);
}

class WaveAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useWaveBackend(&virtualWaveBackend);
    resetVirtualAudio();
    events.clear();
    requeue = false;
    format = {kWaveFormatPcm, 1, 32000, 64000, 2, 16, 0};
    for (int k = 0; k < 2; ++k) {
      buffers[k] = WaveBuffer{};
      buffers[k].data = reinterpret_cast<char*>(samples[k]);
      buffers[k].bufferLength = sizeof samples[k];
    }
  }
  void TearDown() override { resetVirtualAudio(); }

  WaveFormat format{};
  std::int16_t samples[2][8]{};
  WaveBuffer buffers[2]{};
};

TEST_F(WaveAudioTest, DescriptorsMustBePreparedAndCannotBeReleasedWhileQueued) {
  WaveDevice out = nullptr;
  ASSERT_EQ(openPlayback(&out, &format, record, 0), kWaveOk);
  EXPECT_EQ(openPlayback(&out, &format, record, 0), kWaveAllocated);
  EXPECT_EQ(queuePlaybackBuffer(out, &buffers[0]), kWaveUnprepared);
  WaveBuffer empty{};
  EXPECT_EQ(preparePlaybackBuffer(out, &empty), kWaveError) << "no data";
  ASSERT_EQ(preparePlaybackBuffer(out, &buffers[0]), kWaveOk);
  ASSERT_EQ(queuePlaybackBuffer(out, &buffers[0]), kWaveOk);
  EXPECT_EQ(queuePlaybackBuffer(out, &buffers[0]), kWaveStillPlaying);
  EXPECT_EQ(releasePlaybackBuffer(out, &buffers[0]), kWaveStillPlaying);
  EXPECT_TRUE(buffers[0].flags & kWaveBufferInQueue);
  tickVirtualAudio();
  EXPECT_EQ(buffers[0].flags, kWaveBufferDone | kWaveBufferPrepared);
  EXPECT_EQ(releasePlaybackBuffer(out, &buffers[0]), kWaveOk);
  EXPECT_EQ(closePlayback(out), kWaveOk);
  EXPECT_EQ(closePlayback(out), kWaveBadDevice);
  EXPECT_EQ(queuePlaybackBuffer(out, &buffers[1]), kWaveBadDevice);
  EXPECT_THAT(events, ElementsAre(Event{kPlaybackOpenMessage, nullptr},
                                  Event{kPlaybackDoneMessage, &buffers[0]},
                                  Event{kPlaybackCloseMessage, nullptr}));
}

TEST_F(WaveAudioTest, SoundGoesThroughWhileADeviceIsOpenAndNotLost) {
  WaveDevice out = nullptr;
  EXPECT_FALSE(waveHasSound()) << "nothing open";
  ASSERT_EQ(openPlayback(&out, &format, record, 0), kWaveOk);
  EXPECT_TRUE(waveHasSound());
  markWaveSoundLost(true);
  EXPECT_FALSE(waveHasSound()) << "waiting for the server";
  markWaveSoundLost(false);
  EXPECT_TRUE(waveHasSound());
  ASSERT_EQ(closePlayback(out), kWaveOk);
  EXPECT_FALSE(waveHasSound());
}

TEST_F(WaveAudioTest, DevicesFormatsAndFailuresAreTheTestsChoice) {
  WaveDevice d = nullptr;
  EXPECT_EQ(countPlaybackDevices(), 1);
  EXPECT_EQ(countCaptureDevices(), 1);
  EXPECT_EQ(openCapture(&d, 1, &format, record, 0), kWaveBadDevice) << "only device 0";
  setVirtualPlaybackRates({44100});
  EXPECT_EQ(queryPlaybackFormat(&format), kWaveBadFormat);
  EXPECT_EQ(openPlayback(&d, &format, record, 0), kWaveBadFormat);
  format.samplesPerSecond = 44100;
  format.averageBytesPerSecond = 88200;
  EXPECT_EQ(queryPlaybackFormat(&format), kWaveOk);
  WaveFormat eightBit{kWaveFormatPcm, 1, 44100, 44100, 1, 8, 0};
  EXPECT_EQ(queryPlaybackFormat(&eightBit), kWaveBadFormat) << "16-bit only";
  setVirtualOpenFailures(true, true);
  EXPECT_EQ(openPlayback(&d, &format, record, 0), kWaveError);
  EXPECT_EQ(openCapture(&d, 0, &format, record, 0), kWaveError);
  setVirtualDeviceCounts(0, 0);
  EXPECT_EQ(countPlaybackDevices(), 0);
  EXPECT_EQ(queryPlaybackFormat(&format), kWaveBadDevice);
  EXPECT_EQ(openCapture(&d, 0, &format, record, 0), kWaveBadDevice);
  const VirtualAudioStats s = virtualAudioStats();
  EXPECT_THAT(s.queriedRates, ElementsAre(32000, 44100, 44100, 44100));
  EXPECT_EQ(s.playbackOpens + s.captureOpens, 0);
  EXPECT_TRUE(events.empty());
}

TEST_F(WaveAudioTest, TicksCompleteCaptureThenPlaybackInQueueOrder) {
  WaveDevice in = nullptr, out = nullptr;
  ASSERT_EQ(openCapture(&in, 0, &format, record, 0), kWaveOk);
  ASSERT_EQ(openPlayback(&out, &format, record, 0), kWaveOk);
  std::int16_t next = 1;
  setVirtualCaptureSource([&next](std::int16_t* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) s[i] = next++;
  });
  WaveBuffer capture[2];
  std::int16_t captured[2][8] = {{-1, -1, -1, -1, -1, -1, -1, -1}, {}};
  for (int k = 0; k < 2; ++k) {
    capture[k] = WaveBuffer{};
    capture[k].data = reinterpret_cast<char*>(captured[k]);
    capture[k].bufferLength = sizeof captured[k];
    prepareCaptureBuffer(in, &capture[k]);
    queueCaptureBuffer(in, &capture[k]);
    preparePlaybackBuffer(out, &buffers[k]);
    queuePlaybackBuffer(out, &buffers[k]);
    samples[k][0] = static_cast<std::int16_t>(10 + k);
  }
  requeue = true;
  EXPECT_EQ(tickVirtualAudio(), kVirtualPlayed) << "capture not started yet";
  ASSERT_EQ(startCapture(in), kWaveOk);
  shortenVirtualCaptures({6});
  events.clear();
  EXPECT_EQ(tickVirtualAudio(), kVirtualCaptured | kVirtualPlayed);
  EXPECT_EQ(tickVirtualAudio(), kVirtualCaptured | kVirtualPlayed);
  EXPECT_THAT(events, ElementsAre(Event{kCaptureDataMessage, &capture[0], 6},
                                  Event{kPlaybackDoneMessage, &buffers[1]},
                                  Event{kCaptureDataMessage, &capture[1], 16},
                                  Event{kPlaybackDoneMessage, &buffers[0]}));
  EXPECT_THAT(captured[0], ElementsAre(1, 2, 3, -1, -1, -1, -1, -1)) << "tail left alone";
  EXPECT_EQ(captured[1][0], 4);
  const std::vector<std::int16_t> heard = takeVirtualPlayback();
  ASSERT_EQ(heard.size(), 24u);
  EXPECT_EQ(heard[0], 10);
  EXPECT_EQ(heard[8], 11);
  EXPECT_EQ(heard[16], 10) << "requeued from inside its notification";
  EXPECT_EQ(capture[0].bytesRecorded, 0u) << "queuing again starts a fresh recording";
  const VirtualAudioStats s = virtualAudioStats();
  EXPECT_EQ(s.playbackHeld, 2);
  EXPECT_EQ(s.captureHeld, 2);
  EXPECT_EQ(s.underruns, 0);

  closePlayback(out);
  closeCapture(in);
  EXPECT_EQ(virtualAudioStats().playbackHeld, 0);
  EXPECT_FALSE(buffers[0].flags & kWaveBufferInQueue) << "closing dropped it";
  EXPECT_EQ(releasePlaybackBuffer(out, &buffers[0]), kWaveBadDevice);
  EXPECT_EQ(tickVirtualAudio(), 0);
}

TEST_F(WaveAudioTest, AnEmptyPlaybackQueueIsAnUnderrun) {
  WaveDevice out = nullptr;
  ASSERT_EQ(openPlayback(&out, &format, record, 0), kWaveOk);
  EXPECT_EQ(tickVirtualAudio(), 0);
  EXPECT_EQ(virtualAudioStats().underruns, 0) << "not started before the first queue";
  preparePlaybackBuffer(out, &buffers[0]);
  queuePlaybackBuffer(out, &buffers[0]);
  tickVirtualAudio();
  tickVirtualAudio();
  EXPECT_EQ(virtualAudioStats().underruns, 1);
}

// Closing from another thread while ticks run: once close returns, no
// notification is running and none follows.
TEST_F(WaveAudioTest, ThreadedCloseWaitsForARunningNotification) {
  WaveDevice out = nullptr;
  ASSERT_EQ(openPlayback(&out, &format, record, 0), kWaveOk);
  requeue = true;
  preparePlaybackBuffer(out, &buffers[0]);
  queuePlaybackBuffer(out, &buffers[0]);
  startVirtualAudioThread(0);
  while (virtualAudioStats().playbackNotifications < 50) {
  }
  closePlayback(out);
  const int after = virtualAudioStats().playbackNotifications;
  const std::size_t seen = events.size();
  for (int i = 0; i < 1000; ++i) std::this_thread::yield();
  stopVirtualAudioThread();
  EXPECT_EQ(virtualAudioStats().playbackNotifications, after);
  EXPECT_EQ(events.size(), seen);
  EXPECT_EQ(events.back().message, kPlaybackCloseMessage);
}

}  // namespace
