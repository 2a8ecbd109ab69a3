// A long run: the stream on the virtual devices' own thread, back to back, while
// this thread plays random pen input into the panel as the message loop would.
// Every sample played must stay within what the chain can make of its input.
// ZEPHYRIX_SOAK_MINUTES sets the audio time (default 10 minutes); set it to a few
// hundred to soak for hours by hand:
//   ZEPHYRIX_SOAK_MINUTES=600 build/asan/tests/app/app_test --gtest_filter='ThreadedSoak.*'
#include <atomic>
#include <cstdlib>
#include <memory>
#include <random>

#include "panel/gain_knob.h"
#include "support/app_fixture.h"

namespace {

using ThreadedSoak = AppTest;

// Input stays within +-kAmplitude. Echo, combs and the hold only average or
// repeat samples, the slicer only silences them, and the gain is at most 4, so
// anything beyond 4 * kAmplitude is a fault of the chain.
constexpr int kAmplitude = 8000;

TEST_F(ThreadedSoak, RandomPenInputWhileTheStreamRunsKeepsEverySampleInRange) {
  int minutes = 10;
  if (const char* m = std::getenv("ZEPHYRIX_SOAK_MINUTES")) minutes = std::max(1, std::atoi(m));

  auto noise = std::make_shared<std::mt19937>(3);
  setVirtualCaptureSource([noise](std::int16_t* s, std::size_t n) {
    std::uniform_int_distribution<int> sample(-kAmplitude, kAmplitude);
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<std::int16_t>(sample(*noise));
  });
  std::atomic<std::uint64_t> played{0}, loud{0}, outOfRange{0};
  setVirtualPlaybackSink([&](const std::int16_t* s, std::size_t n) {
    std::uint64_t bad = 0, sound = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (s[i] > 4 * kAmplitude || s[i] < -4 * kAmplitude) ++bad;
      if (s[i] != 0) ++sound;
    }
    outOfRange += bad;
    loud += sound;
    played += n;
  });

  const char* fatal = "unset";
  WindowHandle window = startZephyrix(&fatal);
  ASSERT_EQ(fatal, nullptr);
  const std::uint64_t target = static_cast<std::uint64_t>(minutes) * 60 *
                               static_cast<std::uint64_t>(audioProfile.sampleRate);
  startVirtualAudioThread(0);

  std::mt19937 hand(17);
  const auto pick = [&hand](int n) { return static_cast<int>(hand() % static_cast<unsigned>(n)); };
  const auto centreOf = [](int id) {
    const ButtonRect& r = buttonTable[id - 1];
    return packPenPosition(r.x + r.w / 2, r.y + r.h / 2);
  };
  const auto deliver = [window](std::uint32_t msg, std::uint32_t position) {
    // Power and Save would end the run and write files; a release on them is moved away.
    if (msg == kMsgPenUp) {
      const std::int32_t id = hitTest(position & 0xFFFF, position >> 16);
      if (id == Power || id == Save) position = packPenPosition(5, 100);
    }
    windowProcedure(window, msg, msg == kMsgPenDown ? 1 : 0, position);
    knobToGain();
  };
  std::uint64_t messages = 0;
  while (played < target) {
    if (pick(10) < 7) {  // a press on one control, sometimes wandering off it
      const int id = 1 + pick(kButtonCount);
      deliver(kMsgPenDown, centreOf(id));
      for (int moves = pick(3); moves > 0; --moves)
        deliver(kMsgPenMove, packPenPosition(pick(260) - 10, pick(320) - 10));
      deliver(kMsgPenUp, pick(4) == 0 ? centreOf(1 + pick(kButtonCount)) : centreOf(id));
    } else {  // anything at all, anywhere, including far outside the window
      const std::uint32_t kinds[] = {kMsgPenDown, kMsgPenUp, kMsgPenMove, kMsgPaint};
      deliver(kinds[pick(4)], static_cast<std::uint32_t>(hand()));
    }
    messages += 3;
  }

  quitRequested = 1;
  shutDownZephyrix(window);
  stopVirtualAudioThread();

  EXPECT_GE(played.load(), target);
  EXPECT_EQ(outOfRange.load(), 0u);
  EXPECT_GT(loud.load(), 0u) << "the panel never let any sound through";
  EXPECT_GT(messages, 100u);
  const VirtualAudioStats st = virtualAudioStats();
  EXPECT_EQ(st.playbackHeld + st.captureHeld, 0);
  EXPECT_EQ(st.playbackCloses, 1);
  EXPECT_EQ(st.captureCloses, 1);
}

}  // namespace
