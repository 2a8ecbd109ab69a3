// The stream runs on the virtual devices' own thread while this thread, like the
// panel, flips every setting at random: ThreadSanitizer must see no race.
#include <random>

#include "support/stream_fixture.h"

namespace {

using ThreadedStreamTest = StreamTest;

TEST_F(ThreadedStreamTest, SettingsFlippedWhileTheStreamRunsAreRaceFree) {
  auto rng = std::make_shared<std::mt19937>(11);
  setVirtualCaptureSource([rng](std::int16_t* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<std::int16_t>((*rng)() % 20000);
  });
  setVirtualPlaybackSink([](const std::int16_t*, std::size_t) {});
  openBoth();
  startVirtualAudioThread(0);

  std::mt19937 panel(5);
  const std::int32_t echoes[] = {0, 1, 2, 4, 8};
  const std::int32_t factors[] = {0, 2, 4, 8};
  EffectSettings& s = effectSettings;
  while (virtualAudioStats().playbackNotifications < 150) {
    s.echoBlocks = echoes[panel() % 5];
    delayLengthSamples = s.echoBlocks * audioProfile.blockSamples;
    s.downsampleFactor = factors[panel() % 4];
    s.reverseOn = static_cast<std::int32_t>(panel() % 2);
    s.flangerOn = static_cast<std::int32_t>(panel() % 2);
    s.slicerOn = static_cast<std::int32_t>(panel() % 2);
    s.slicerPattern[panel() % 16] = static_cast<std::uint8_t>(panel() % 2);
    s.muteOn = panel() % 4 == 0;
    s.bypassOn = panel() % 4 == 0;
    s.gain = static_cast<float>(panel() % 400) / 100.0f;
  }
  drainPauseMilliseconds = 5;
  quitRequested = 1;
  closeOutput();
  closeInput();
  stopVirtualAudioThread();

  const VirtualAudioStats st = virtualAudioStats();
  EXPECT_EQ(st.playbackHeld + st.captureHeld, 0);
  ASSERT_GE(st.playbackQueued.size(), 150u);
  for (std::size_t i = 0; i < st.playbackQueued.size(); ++i)
    ASSERT_EQ(st.playbackQueued[i], &outputHeaders[i % 2]) << i;
  for (std::size_t i = 0; i < st.captureQueued.size(); ++i)
    ASSERT_EQ(st.captureQueued[i], &inputHeaders[i % 2]) << i;
}

}  // namespace
