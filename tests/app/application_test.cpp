// Start-up, the message loop and shut-down on the virtual audio devices and the
// headless window system, with the message box recorded instead of shown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "panel/gain_knob.h"
#include "support/app_fixture.h"

namespace {

using Startup = AppTest;

TEST_F(Startup, WithoutAPresetFileEveryEffectIsOffAndTheUnitStartsMuted) {
  const char* fatal = "unset";
  WindowHandle window = startZephyrix(&fatal);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(fatal, nullptr);
  const EffectSettings& s = effectSettings;
  EXPECT_EQ(s.echoBlocks, 0);
  EXPECT_EQ(s.slicerOn, 0);
  EXPECT_EQ(s.reverseOn, 0);
  EXPECT_EQ(s.downsampleFactor, 0);
  EXPECT_EQ(s.flangerOn, 0);
  EXPECT_EQ(s.bypassOn, 0);
  EXPECT_EQ(s.muteOn, 1);
  for (int i = 0; i < kSlicerSteps; ++i) EXPECT_EQ(s.slicerPattern[i], 0);
  EXPECT_EQ(s.gain, 1.0f);
  EXPECT_EQ(gainKnob, 54);  // x1 sits in the middle of the track
  EXPECT_EQ(presetBank.presetIndex, 0);
  EXPECT_EQ(quitRequested, 0);
  EXPECT_EQ(delayLengthSamples, 0);
  EXPECT_EQ(audioProfile.sampleRate, 32000);

  // The panel is drawn as started: Mute lit, the knob in the middle.
  EXPECT_TRUE(buttonShows(Mute, 1));
  EXPECT_TRUE(buttonShows(Echo, 0));
  EXPECT_TRUE(knobShownAt(54));

  const VirtualAudioStats st = virtualAudioStats();
  ASSERT_FALSE(st.queriedRates.empty());
  EXPECT_EQ(st.queriedRates[0], 32000u);
  EXPECT_EQ(st.captureOpens, 1);
  EXPECT_EQ(st.playbackOpens, 1);
  EXPECT_TRUE(boxes.empty());

  // The first message leaves the gain at x1; Power ends the loop with 0.
  postClick(window, Power);
  EXPECT_EQ(runMessageLoop(), 0);
  EXPECT_EQ(effectSettings.gain, 1.0f);
  EXPECT_EQ(quitRequested, 1);

  shutDownZephyrix(window);
  EXPECT_EQ(skinOffHeader, nullptr);
  EXPECT_EQ(displayStripHeader, nullptr);
  const VirtualAudioStats end = virtualAudioStats();
  EXPECT_EQ(end.captureCloses, 1);
  EXPECT_EQ(end.playbackCloses, 1);
  EXPECT_EQ(end.playbackHeld + end.captureHeld, 0);
  EXPECT_FALSE(std::filesystem::exists(kPresetFileName)) << "only Save writes the file";
}

TEST_F(Startup, StoredPresetAndGainComeBackButTheUnitStillStartsMuted) {
  struct Case {
    float gain;
    std::int32_t knob;
  } cases[] = {{2.0f, 36}, {0.5f, 81}, {0.0f, 108}, {4.0f, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gain);
    resetAll();
    setVirtualPlaybackRates({48000});
    resetPresetBank();
    presetBank.presetIndex = 2;
    presetBank.presetParams[2][kWordEchoBlocks] = 2;
    presetBank.presetParams[2][kWordFlangerOn] = 1;
    presetBank.presetParams[2][kWordMuteOn] = 0;
    presetBank.presetGains[2].gain = c.gain;
    ASSERT_EQ(savePresetFile(), kPresetFileOk);
    resetPresetBank();

    const char* fatal = "unset";
    WindowHandle window = startZephyrix(&fatal);
    EXPECT_EQ(fatal, nullptr);
    EXPECT_EQ(presetBank.presetIndex, 2);
    EXPECT_EQ(effectSettings.echoBlocks, 2);
    EXPECT_EQ(effectSettings.flangerOn, 1);
    EXPECT_EQ(effectSettings.muteOn, 1);
    EXPECT_EQ(effectSettings.gain, c.gain);
    EXPECT_EQ(gainKnob, c.knob);
    EXPECT_TRUE(knobShownAt(c.knob));
    EXPECT_TRUE(buttonShows(Preset1 + 2, 1));
    ASSERT_EQ(audioProfile.sampleRate, 48000);
    EXPECT_EQ(delayLengthSamples, 2 * audioProfiles[1].blockSamples);

    // A message through the loop: the gain is the knob's, still the stored one.
    postMessage(window, kMsgPenMove, 0, packPenPosition(5, 5));
    postClick(window, Power);
    EXPECT_EQ(runMessageLoop(), 0);
    EXPECT_EQ(effectSettings.gain, c.gain);
    shutDownZephyrix(window);
  }
}

TEST_F(Startup, TheLoopTurnsTheKnobIntoTheGainAfterEveryMessage) {
  const char* fatal = "unset";
  WindowHandle window = startZephyrix(&fatal);
  ASSERT_EQ(fatal, nullptr);
  presetBank.presetGains[4].gain = 3.0f;

  // Dragging the knob to row 81 gives x0.5; selecting preset 5 sets its gain, but
  // the loop puts the knob's gain back once the dispatch returns.
  postMessage(window, kMsgPenDown, 1, packPenPosition(227, 180));
  postMessage(window, kMsgPenUp, 0, packPenPosition(227, 180));
  const ButtonRect& r = buttonTable[Preset1 + 4 - 1];
  postMessage(window, kMsgPenDown, 1, packPenPosition(r.x + 5, r.y + 5));
  postMessage(window, kMsgPenUp, 0, packPenPosition(r.x + 5, r.y + 5));
  postQuitMessage(5);
  EXPECT_EQ(runMessageLoop(), 5) << "the quit message's word is the exit code";
  EXPECT_EQ(gainKnob, 81);
  EXPECT_EQ(presetBank.presetIndex, 4);
  EXPECT_EQ(effectSettings.gain, 0.5f);
  EXPECT_EQ(presetBank.presetGains[0].gain, 0.5f) << "the preset left keeps the knob's gain";
  EXPECT_EQ(quitRequested, 0);
  shutDownZephyrix(window);
}

TEST_F(Startup, ClosingTheWindowEndsTheLoopWithZero) {
  const char* fatal = "unset";
  WindowHandle window = startZephyrix(&fatal);
  ASSERT_EQ(fatal, nullptr);
  postMessage(window, kMsgClose, 0, 0);
  postClick(window, Mute);  // never reached: the loop ends after the close
  EXPECT_EQ(runMessageLoop(), 0);
  EXPECT_EQ(quitRequested, 1);
  EXPECT_EQ(effectSettings.muteOn, 1);
  shutDownZephyrix(window);
}

// A loop that ends without the window's destruction still stops the audio
// handlers' queuing before the devices drain. The exit code is the loop's own
// decision, whatever word the last message carried.
TEST_F(Startup, EveryWayOutOfTheLoopStopsTheHandlersBeforeTheDrain) {
  struct Case {
    const char* what;
    void (*end)(WindowHandle window);
    std::int32_t exitCode;
    std::int32_t stopRequested;  // by the panel, before shut-down
  } cases[] = {
      {"quit message from elsewhere", [](WindowHandle) { postQuitMessage(7); }, 7, 0},
      {"window system failed", [](WindowHandle) { closeWindowSystem(); }, 1, 0},
      {"Power released on a pen-up whose word is 9",
       [](WindowHandle w) {
         const ButtonRect& r = buttonTable[Power - 1];
         postMessage(w, kMsgPenDown, 1, packPenPosition(r.x + 5, r.y + 5));
         postMessage(w, kMsgPenUp, 9, packPenPosition(r.x + 5, r.y + 5));
       },
       0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    resetAll();
    const char* fatal = "unset";
    WindowHandle window = startZephyrix(&fatal);
    ASSERT_EQ(fatal, nullptr);
    c.end(window);
    EXPECT_EQ(runMessageLoop(), c.exitCode);
    EXPECT_EQ(quitRequested, c.stopRequested);
    shutDownZephyrix(window);
    EXPECT_EQ(quitRequested, 1);
  }
}

// Without a display the unit must not run unseen: one line on standard error
// and exit 1, before any sound device is touched.
TEST_F(Startup, WithoutADisplayItSaysSoAndOpensNoDevice) {
  unsetenv("SDL_VIDEODRIVER");
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::internal::CaptureStderr();
  EXPECT_EQ(runZephyrix(), 1);
  const std::string said = testing::internal::GetCapturedStderr();
  // (A display library may add a line of its own before ours.)
  EXPECT_THAT(said, testing::EndsWith("\n"));
  EXPECT_THAT(said, testing::HasSubstr("zephyrix: no display could be opened ("));
  EXPECT_EQ(said.find("zephyrix:"), said.rfind("zephyrix:")) << said;
  EXPECT_TRUE(boxes.empty());
  const VirtualAudioStats st = virtualAudioStats();
  EXPECT_TRUE(st.queriedRates.empty());
  EXPECT_EQ(st.playbackOpens + st.captureOpens, 0);
  EXPECT_EQ(skinOffHeader, nullptr);
}

TEST(FatalStartupMessage, EveryFailingCombinationPicksItsMessage) {
  const char* const memory = kNoMemoryMessage;
  const char* const hardware = kNoHardwareMessage;
  // A failed probe opens no device, so its rows carry 0 for both opens.
  struct Case {
    int probe, input, output;
    const char* message;
  } cases[] = {
      {0, 0, 0, nullptr},  {0, 0, 1, memory},   {0, 0, 2, hardware}, {0, 1, 0, memory},
      {0, 1, 1, memory},   {0, 1, 2, memory},   {0, 3, 0, hardware}, {0, 3, 1, memory},
      {0, 3, 2, hardware}, {2, 0, 0, hardware},
  };
  for (const Case& c : cases)
    EXPECT_EQ(fatalStartupMessage(c.probe, c.input, c.output), c.message)
        << "probe " << c.probe << " input " << c.input << " output " << c.output;
  EXPECT_STREQ(kNoMemoryMessage, "Not enough memory for soundbuffers!");
  EXPECT_STREQ(kNoHardwareMessage, "No proper sound recording/playing hardware!");
  EXPECT_STREQ(kFatalCaption, "Fatal Error...");
}

// Each way the audio can fail at start-up: the right box over the drawn panel,
// then a clean shut-down and exit code 1.
TEST_F(Startup, EachFatalStartShowsItsMessageAndShutsDown) {
  enum Fail { None, FirstInputBlock, LastOutputBuffer };
  struct Case {
    const char* what;
    int playbackDevices, captureDevices;
    std::vector<std::uint32_t> rates;
    bool playbackRefuses, captureRefuses;
    Fail allocation;
    const char* message;
  } cases[] = {
      {"no playback device", 0, 1, {}, false, false, None, kNoHardwareMessage},
      {"no rate accepted", 1, 1, {22050}, false, false, None, kNoHardwareMessage},
      {"no capture device", 1, 0, {}, false, false, None, kNoHardwareMessage},
      {"capture refuses", 1, 1, {}, false, true, None, kNoHardwareMessage},
      {"playback refuses", 1, 1, {}, true, false, None, kNoHardwareMessage},
      {"both refuse", 1, 1, {}, true, true, None, kNoHardwareMessage},
      {"input out of memory", 1, 1, {}, false, false, FirstInputBlock, kNoMemoryMessage},
      {"output out of memory", 1, 1, {}, false, false, LastOutputBuffer, kNoMemoryMessage},
      {"input out of memory, playback refuses",
       1,
       1,
       {},
       true,
       false,
       FirstInputBlock,
       kNoMemoryMessage},
      {"capture refuses, output out of memory",
       1,
       1,
       {},
       false,
       true,
       LastOutputBuffer,
       kNoMemoryMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto configure = [&c] {
      setVirtualDeviceCounts(c.playbackDevices, c.captureDevices);
      setVirtualPlaybackRates(c.rates);
      setVirtualOpenFailures(c.playbackRefuses, c.captureRefuses);
    };
    int failAt = 0;
    if (c.allocation == FirstInputBlock) failAt = 4;  // after the three picture headers
    if (c.allocation == LastOutputBuffer) {
      // A dry run counts the allocations this start-up makes.
      resetAll();
      configure();
      const int before = allocationCount();
      const char* fatal = nullptr;
      WindowHandle window = startZephyrix(&fatal);
      failAt = allocationCount() - before;
      quitRequested = 1;
      shutDownZephyrix(window);
    }
    resetAll();
    configure();
    failAllocationNumber(failAt);
    EXPECT_EQ(runZephyrix(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.message);
    EXPECT_EQ(boxes[0].caption, kFatalCaption);
    EXPECT_NE(boxes[0].owner, nullptr);
    EXPECT_TRUE(boxes[0].panelShown) << "the panel stays on screen behind the box";
    EXPECT_EQ(quitRequested, 1);
    EXPECT_EQ(skinOffHeader, nullptr);
    const VirtualAudioStats st = virtualAudioStats();
    EXPECT_EQ(st.playbackCloses, st.playbackOpens);
    EXPECT_EQ(st.captureCloses, st.captureOpens);
    EXPECT_EQ(st.playbackHeld + st.captureHeld, 0);
    if (c.playbackDevices == 0 || !c.rates.empty()) {
      EXPECT_EQ(st.captureOpens + st.playbackOpens, 0) << "a failed probe opens nothing";
    }
  }
}

}  // namespace
