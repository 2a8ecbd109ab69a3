// The panel's window procedure driven with pen messages as the window delivers
// them: what each command writes, and what it draws, operation by operation.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "panel/button_table.h"
#include "panel/panel_render.h"
#include "panel/window_procedure.h"
#include "platform/version.h"
#include "platform/window_testing.h"
#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"
#include "support/draw_trace.h"
#include "support/scratch_directory.h"

namespace {

struct Box {
  WindowHandle owner;
  std::string text, caption;
};
std::vector<Box> boxes;

int recordBox(WindowHandle owner, const char* text, const char* caption) {
  boxes.push_back({owner, text, caption});
  return kBoxOk;
}

// A window handle the procedure only passes on; nothing dereferences it.
WindowHandle const kWindow = reinterpret_cast<WindowHandle>(0x1000);

// Everything a command may write, for before/after comparisons.
struct Snapshot {
  std::int32_t echoBlocks, slicerOn, reverseOn, downsampleFactor, flangerOn, muteOn, bypassOn;
  std::uint8_t pattern[kSlicerSteps];
  float gain;
  std::int32_t echoMemory, downsampleMemory, delayLengthSamples, quitRequested, gainKnob;
  PresetBank bank;

  static Snapshot take() {
    const EffectSettings& s = effectSettings;
    Snapshot n{s.echoBlocks,    s.slicerOn,   s.reverseOn,        s.downsampleFactor,
               s.flangerOn,     s.muteOn,     s.bypassOn,         {},
               s.gain,          ::echoMemory, ::downsampleMemory, ::delayLengthSamples,
               ::quitRequested, ::gainKnob,   presetBank};
    for (int i = 0; i < kSlicerSteps; ++i) n.pattern[i] = s.slicerPattern[i];
    return n;
  }
  bool operator==(const Snapshot& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

class PanelCommands : public ScratchDirectory {
 protected:
  void SetUp() override {
    ScratchDirectory::SetUp();
    resetEffectSettings();
    resetPresetBank();
    resetPanelState();
    selectAudioProfile(0);
    allocatePictureHeaders();
    setMessageBoxHook(recordBox);
    boxes.clear();
    drawtrace::fillDirt();
  }
  void TearDown() override {
    drawtrace::stop();
    setMessageBoxHook(nullptr);
    freePictureHeaders();
    resetEffectSettings();
    resetPresetBank();
    resetPanelState();
    ScratchDirectory::TearDown();
  }

  static std::uint32_t at(int x, int y) { return packPenPosition(x, y); }
  static std::uint32_t centre(std::int32_t id) {
    const ButtonRect& r = buttonTable[id - 1];
    return at(r.x + r.w / 2, r.y + r.h / 2);
  }
  static void send(std::uint32_t msg, std::uint32_t position) {
    EXPECT_EQ(windowProcedure(kWindow, msg, msg == kMsgPenDown ? 1 : 0, position), 0);
  }
  static void down(std::uint32_t position) { send(kMsgPenDown, position); }
  static void up(std::uint32_t position) { send(kMsgPenUp, position); }
  static void move(std::uint32_t position) { send(kMsgPenMove, position); }
  static void click(std::int32_t id) {
    down(centre(id));
    up(centre(id));
  }
  // The drawing a click on the button does.
  static std::string clickTrace(std::int32_t id) {
    drawtrace::start();
    click(id);
    return drawtrace::stop();
  }
  static std::string traceOf(void (*steps)()) {
    drawtrace::start();
    steps();
    return drawtrace::stop();
  }
  static void clearMuteAndBypass() {
    effectSettings.muteOn = 0;
    effectSettings.bypassOn = 0;
  }
};

TEST_F(PanelCommands, ReleaseOffThePressedControlRunsNothingAndDrawsNothing) {
  struct Case {
    const char* what;
    std::uint32_t downAt, upAt;
  } cases[] = {
      {"Echo to Flanger", centre(Echo), centre(Flanger)},
      {"Mute to bare skin", centre(Mute), at(5, 100)},
      {"Preset1 to Preset2", centre(Preset1), centre(Preset1 + 1)},
      {"Step1 to Step2", centre(Step1), centre(Step1 + 1)},
      {"DelayUp to above and left of the window", centre(DelayUp), at(-4, -9)},
      {"Save to the very edge of Save", centre(Save), at(189, 246)},
      {"bare skin to Echo", at(5, 100), centre(Echo)},
      {"About to Power", centre(About), centre(Power)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Snapshot before = Snapshot::take();
    drawtrace::start();
    down(c.downAt);
    up(c.upAt);
    EXPECT_EQ(drawtrace::stop(), "");
    EXPECT_TRUE(Snapshot::take() == before);
    EXPECT_EQ(panelState.pressedButton, 0);
    EXPECT_EQ(panelState.knobDragging, 0);
  }
  EXPECT_TRUE(boxes.empty());

  // A pen-up with no pen-down before it, and a second pen-down replacing the first.
  const Snapshot before = Snapshot::take();
  drawtrace::start();
  up(centre(Reverse));
  down(centre(Reverse));
  down(centre(Slicer));
  up(centre(Reverse));
  EXPECT_EQ(drawtrace::stop(), "");
  EXPECT_TRUE(Snapshot::take() == before);
}

TEST_F(PanelCommands, PowerLightsWhilePressedAndStopsOnlyWhenReleasedOnIt) {
  redrawPanel();
  const ButtonRect& r = buttonTable[Power - 1];
  const auto powerShows = [&r](int lit) {
    for (int y = r.y; y < r.y + r.h; ++y)
      for (int x = r.x; x < r.x + r.w; ++x)
        if (windowSurface[y][x] != drawtrace::skinPixel(lit, x, y)) return false;
    return true;
  };
  ASSERT_TRUE(powerShows(0));

  // Slid off and lifted elsewhere: lit until the next full redraw, no stop.
  down(centre(Power));
  EXPECT_TRUE(powerShows(1));
  move(centre(Mute));
  up(centre(Mute));
  EXPECT_TRUE(powerShows(1));
  EXPECT_EQ(quitRequested, 0);
  EXPECT_EQ(effectSettings.muteOn, 1);
  windowProcedure(kWindow, kMsgPaint, 0, 0);
  EXPECT_TRUE(powerShows(0));

  const std::int32_t mute = effectSettings.muteOn, bypass = effectSettings.bypassOn;
  EXPECT_EQ(clickTrace(Power), "Power+ | Power-");
  EXPECT_EQ(quitRequested, 1);
  EXPECT_EQ(effectSettings.muteOn, mute);
  EXPECT_EQ(effectSettings.bypassOn, bypass);
}

TEST_F(PanelCommands, GainKnobFollowsThePenOverTheTrackRowsOnly) {
  const int x = 227;  // the middle of the track
  drawtrace::start();
  down(at(x, 150));
  EXPECT_EQ(drawtrace::stop(), "KnobTrack- | Knob@51");
  EXPECT_EQ(panelState.knobDragging, 1);
  EXPECT_EQ(panelState.pressedButton, GainTrack);

  struct Step {
    int x, y, knob;
  } steps[] = {
      {x, 207, 108},   // the bottom row of the range
      {x, 208, 108},   // below it: ignored, not clamped
      {x, 100, 1},     // the top row
      {x, 99, 1},      // above it: the knob never reaches 0 from the pen
      {120, 120, 21},  // sideways off the track: x is not looked at
      {-3, 130, 31},   // even left of the window
      {x, -2, 31},     // above the window: a large row, ignored
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << "pen at " << s.x << "," << s.y);
    const std::int32_t was = gainKnob;
    drawtrace::start();
    move(at(s.x, s.y));
    EXPECT_EQ(drawtrace::stop(),
              s.knob == was ? "" : "KnobTrack- | Knob@" + std::to_string(s.knob));
    EXPECT_EQ(gainKnob, s.knob);
  }

  // A paint request while dragging carries word 0: a redraw, the knob stays.
  windowProcedure(kWindow, kMsgPaint, 0, 0);
  EXPECT_EQ(gainKnob, 31);

  // The pen-up ends the drag wherever it lands and never moves the knob or runs
  // a command, even on a button.
  const Snapshot before = Snapshot::take();
  drawtrace::start();
  up(centre(DelayUp));
  EXPECT_EQ(drawtrace::stop(), "");
  EXPECT_TRUE(Snapshot::take() == before);
  EXPECT_EQ(panelState.knobDragging, 0);
  move(at(x, 160));
  EXPECT_EQ(gainKnob, 31);
}

TEST_F(PanelCommands, KnobDragStartingBelowTheRangeWaitsAndALostPenUpKeepsItGoing) {
  down(at(227, 210));  // on the track, but k = 111
  EXPECT_EQ(panelState.knobDragging, 1);
  EXPECT_EQ(gainKnob, 0);
  move(at(227, 209));
  EXPECT_EQ(gainKnob, 0);
  move(at(227, 160));
  EXPECT_EQ(gainKnob, 61);

  // No pen-up arrives; the next pen-down, on Echo, moves the knob to its row as
  // well, and Echo's own command still runs on its release.
  down(centre(Echo));  // row 155
  EXPECT_EQ(gainKnob, 56);
  EXPECT_EQ(panelState.pressedButton, Echo);
  up(centre(Echo));
  EXPECT_EQ(panelState.knobDragging, 0);
  EXPECT_EQ(effectSettings.echoBlocks, 4);
  EXPECT_EQ(gainKnob, 56);
}

// Every effect switch and +/- button ends mute and bypass (Bypass drawn unlit
// first, then Mute); Mute and Bypass end each other; the rest leave both alone.
TEST_F(PanelCommands, WhichCommandsClearMuteAndBypass) {
  for (std::int32_t id : {Echo, Reverse, Flanger, DownsamplerSwitch, Slicer, DownsamplerUp,
                          DownsamplerDown, DelayUp, DelayDown}) {
    SCOPED_TRACE(drawtrace::kButtonNames[id - 1]);
    effectSettings.muteOn = 1;
    effectSettings.bypassOn = 1;
    EXPECT_EQ(clickTrace(id).rfind("Bypass- | Mute- | ", 0), 0u);
    EXPECT_EQ(effectSettings.muteOn, 0);
    EXPECT_EQ(effectSettings.bypassOn, 0);
  }

  struct Case {
    std::int32_t id, muteBefore, bypassBefore, muteAfter, bypassAfter;
    const char* trace;
  } cases[] = {
      {Mute, 0, 0, 1, 0, "Mute+ | Bypass-"},
      {Mute, 1, 0, 0, 0, "Mute- | Bypass-"},
      {Mute, 0, 1, 1, 0, "Mute+ | Bypass-"},
      {Mute, 1, 1, 0, 0, "Mute- | Bypass-"},
      {Mute, 7, 0, 0, 0, "Mute- | Bypass-"},
      {Bypass, 0, 0, 0, 1, "Bypass+ | Mute-"},
      {Bypass, 1, 0, 0, 1, "Bypass+ | Mute-"},
      {Bypass, 0, 1, 0, 0, "Bypass- | Mute-"},
      {Bypass, 1, 1, 0, 0, "Bypass- | Mute-"},
      {Step1 + 4, 1, 1, 1, 1, nullptr},
      {Save, 1, 1, 1, 1, ""},
      {About, 1, 1, 1, 1, ""},
      {Power, 1, 1, 1, 1, "Power+ | Power-"},
      {Step1 + 4, 0, 1, 0, 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << drawtrace::kButtonNames[c.id - 1] << " from mute "
                                    << c.muteBefore << " bypass " << c.bypassBefore);
    effectSettings.muteOn = c.muteBefore;
    effectSettings.bypassOn = c.bypassBefore;
    const std::string trace = clickTrace(c.id);
    if (c.trace) {
      EXPECT_EQ(trace, c.trace);
    }
    EXPECT_EQ(effectSettings.muteOn, c.muteAfter);
    EXPECT_EQ(effectSettings.bypassOn, c.bypassAfter);
  }
}

TEST_F(PanelCommands, PlainSwitchesToggleAnyNonzeroValueOff) {
  struct Switch {
    std::int32_t id;
    Shared<std::int32_t>& on;
  } switches[] = {{Reverse, effectSettings.reverseOn},
                  {Flanger, effectSettings.flangerOn},
                  {Slicer, effectSettings.slicerOn}};
  for (Switch& s : switches) {
    const std::string name = drawtrace::kButtonNames[s.id - 1];
    SCOPED_TRACE(name);
    s.on = 0;
    EXPECT_EQ(clickTrace(s.id), "Bypass- | Mute- | " + name + "+");
    EXPECT_EQ(s.on, 1);
    EXPECT_EQ(clickTrace(s.id), "Bypass- | Mute- | " + name + "-");
    EXPECT_EQ(s.on, 0);
    s.on = 2;  // from a preset file
    EXPECT_EQ(clickTrace(s.id), "Bypass- | Mute- | " + name + "-");
    EXPECT_EQ(s.on, 0);
  }
}

TEST_F(PanelCommands, EchoSwitchBringsBackTheDelayOfTheDelayButtons) {
  const std::int32_t n = audioProfile.blockSamples;
  // Right after start-up: echoMemory holds 4; the readout is not redrawn.
  EXPECT_EQ(clickTrace(Echo), "Bypass- | Mute- | Echo+");
  EXPECT_EQ(effectSettings.echoBlocks, 4);
  EXPECT_EQ(delayLengthSamples, 4 * n);

  // Off: the delay it switched off is not remembered.
  effectSettings.echoBlocks = 8;  // as a preset could leave it
  delayLengthSamples = 8 * n;
  EXPECT_EQ(clickTrace(Echo), "Bypass- | Mute- | Echo-");
  EXPECT_EQ(effectSettings.echoBlocks, 0);
  EXPECT_EQ(delayLengthSamples, 0);
  EXPECT_EQ(echoMemory, 4);
  click(Echo);
  EXPECT_EQ(effectSettings.echoBlocks, 4);

  // The delay buttons set the memory.
  click(DelayUp);  // 4 -> 8
  click(DelayDown);
  click(DelayDown);  // 8 -> 4 -> 2
  EXPECT_EQ(echoMemory, 2);
  click(Echo);
  click(Echo);
  EXPECT_EQ(effectSettings.echoBlocks, 2);
  EXPECT_EQ(delayLengthSamples, 2 * n);

  // After DelayDown has turned echo off the memory is 0: Echo lights and unlights.
  click(DelayDown);
  click(DelayDown);  // 2 -> 1 -> 0
  EXPECT_EQ(echoMemory, 0);
  EXPECT_EQ(clickTrace(Echo), "Bypass- | Mute- | Echo+ | Echo-");
  EXPECT_EQ(effectSettings.echoBlocks, 0);
  EXPECT_EQ(delayLengthSamples, 0);
}

TEST_F(PanelCommands, DownsamplerSwitchBringsBackTheFactorItSwitchedOff) {
  // Right after start-up the memory is 0: the switch lights and unlights.
  EXPECT_EQ(clickTrace(DownsamplerSwitch),
            "Bypass- | Mute- | DownsamplerSwitch+ | DownsamplerSwitch-");
  EXPECT_EQ(effectSettings.downsampleFactor, 0);
  EXPECT_EQ(downsampleMemory, 0);

  effectSettings.downsampleFactor = 8;  // as a preset could leave it
  EXPECT_EQ(clickTrace(DownsamplerSwitch), "Bypass- | Mute- | DownsamplerSwitch-");
  EXPECT_EQ(effectSettings.downsampleFactor, 0);
  EXPECT_EQ(downsampleMemory, 8);
  EXPECT_EQ(clickTrace(DownsamplerSwitch), "Bypass- | Mute- | DownsamplerSwitch+");
  EXPECT_EQ(effectSettings.downsampleFactor, 8);
  EXPECT_EQ(downsampleMemory, 8);
}

// The four stepping rules, every listed value and a few that are not listed;
// the memories follow, the readouts are redrawn by drawLitControls.
TEST_F(PanelCommands, DelayAndDownsamplerButtonsStepThroughTheirValues) {
  struct Case {
    std::int32_t id, before, after;
  } cases[] = {
      {DelayUp, 0, 1},         {DelayUp, 1, 2},         {DelayUp, 2, 4},
      {DelayUp, 4, 8},         {DelayUp, 8, 8},         {DelayUp, 3, 3},
      {DelayUp, -1, -1},       {DelayDown, 8, 4},       {DelayDown, 4, 2},
      {DelayDown, 2, 1},       {DelayDown, 1, 0},       {DelayDown, 0, 0},
      {DelayDown, 16, 16},     {DownsamplerUp, 0, 2},   {DownsamplerUp, 2, 4},
      {DownsamplerUp, 4, 8},   {DownsamplerUp, 8, 8},   {DownsamplerUp, 1, 1},
      {DownsamplerDown, 8, 4}, {DownsamplerDown, 4, 2}, {DownsamplerDown, 2, 0},
      {DownsamplerDown, 0, 0}, {DownsamplerDown, 6, 6},
  };
  const std::int32_t n = audioProfile.blockSamples;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << drawtrace::kButtonNames[c.id - 1] << " from " << c.before);
    resetEffectSettings();
    echoMemory = 77;
    downsampleMemory = 77;
    const bool delay = c.id == DelayUp || c.id == DelayDown;
    (delay ? effectSettings.echoBlocks : effectSettings.downsampleFactor) = c.before;
    click(c.id);
    if (delay) {
      EXPECT_EQ(effectSettings.echoBlocks, c.after);
      EXPECT_EQ(echoMemory, c.after);
      EXPECT_EQ(delayLengthSamples, c.after * n);
      EXPECT_EQ(downsampleMemory, 77);
    } else {
      EXPECT_EQ(effectSettings.downsampleFactor, c.after);
      EXPECT_EQ(downsampleMemory, c.after);
      EXPECT_EQ(echoMemory, 77);
    }
  }
}

TEST_F(PanelCommands, StepsThatSwitchAnEffectOffUnlightItsSwitchRightAfterTheChange) {
  presetBank.presetIndex = 2;
  gainKnob = 54;
  struct Case {
    std::int32_t id, echoBefore, factorBefore;
    const char* trace;
  } cases[] = {
      {DelayUp, 0, 0, "Bypass- | Mute- | Echo+ Preset3+ Delay=1/4S Down=OFF | Knob@54"},
      {DelayUp, 4, 2,
       "Bypass- | Mute- | Echo+ DownsamplerSwitch+ Preset3+ Delay=2S Down=X2 | Knob@54"},
      {DelayDown, 1, 0, "Bypass- | Mute- | Echo- | Preset3+ Delay=OFF Down=OFF | Knob@54"},
      {DelayDown, 0, 0, "Bypass- | Mute- | Preset3+ Delay=OFF Down=OFF | Knob@54"},
      {DownsamplerUp, 2, 0,
       "Bypass- | Mute- | Echo+ DownsamplerSwitch+ Preset3+ Delay=1/2S Down=X2 | Knob@54"},
      {DownsamplerDown, 0, 2,
       "Bypass- | Mute- | DownsamplerSwitch- | Preset3+ Delay=OFF Down=OFF | Knob@54"},
      {DownsamplerDown, 0, 8,
       "Bypass- | Mute- | DownsamplerSwitch+ Preset3+ Delay=OFF Down=X4 | Knob@54"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << drawtrace::kButtonNames[c.id - 1] << " echo " << c.echoBefore
                                    << " factor " << c.factorBefore);
    effectSettings.echoBlocks = c.echoBefore;
    effectSettings.downsampleFactor = c.factorBefore;
    EXPECT_EQ(clickTrace(c.id), c.trace);
  }
}

TEST_F(PanelCommands, SlicerStepsFlipTheirByteAndRedrawTheRow) {
  struct Case {
    int step;
    std::uint8_t before, after;
  } cases[] = {{1, 0, 1}, {1, 1, 0}, {16, 2, 0}, {9, 255, 0}, {9, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "step " << c.step << " from " << int(c.before));
    effectSettings.slicerPattern[c.step - 1] = c.before;
    effectSettings.slicerOn = 0;
    effectSettings.muteOn = 1;
    effectSettings.bypassOn = 1;
    click(Step1 + c.step - 1);
    EXPECT_EQ(effectSettings.slicerPattern[c.step - 1], c.after);
    EXPECT_EQ(effectSettings.slicerOn, 0);
    EXPECT_EQ(effectSettings.muteOn, 1);
    EXPECT_EQ(effectSettings.bypassOn, 1);
  }
  // Only bytes holding exactly 1 are drawn lit (step 9 is 1 now, step 16 is 0).
  effectSettings.slicerPattern[2] = 1;
  effectSettings.slicerPattern[4] = 2;
  EXPECT_EQ(clickTrace(Step1 + 10), "SlicerRow- | Step3+ Step9+ Step11+");
  EXPECT_EQ(clickTrace(Step1 + 10), "SlicerRow- | Step3+ Step9+");
}

TEST_F(PanelCommands, PresetButtonsStoreTheLeftPresetAndLoadTheChosenOne) {
  const std::int32_t n = audioProfile.blockSamples;
  // Preset 4 as a file could hold it.
  std::int32_t* p = presetBank.presetParams[3];
  p[kWordEchoBlocks] = 8;
  p[kWordReverseOn] = 1;
  p[kWordDownsampleFactor] = 4;
  p[kWordMuteOn] = 0;
  p[kWordBypassOn] = 1;
  presetBank.presetPatterns[3][1] = 1;
  presetBank.presetGains[3].gain = 0.5f;

  // The live settings of preset 1.
  effectSettings.echoBlocks = 2;
  effectSettings.flangerOn = 1;
  effectSettings.slicerOn = 1;
  effectSettings.slicerPattern[5] = 1;
  effectSettings.gain = 2.0f;
  clearMuteAndBypass();
  gainKnob = 36;

  EXPECT_EQ(clickTrace(Preset1 + 3),
            "PresetArea- | Preset4+ | Panel | Echo+ Bypass+ Reverse+ DownsamplerSwitch+ Preset4+ "
            "Step2+ Delay=2S Down=X4 | Knob@36");
  EXPECT_EQ(presetBank.presetIndex, 3);
  const std::int32_t* left = presetBank.presetParams[0];
  EXPECT_EQ(left[kWordEchoBlocks], 2);
  EXPECT_EQ(left[kWordFlangerOn], 1);
  EXPECT_EQ(left[kWordSlicerOn], 1);
  EXPECT_EQ(left[kWordMuteOn], 0);
  EXPECT_EQ(presetBank.presetPatterns[0][5], 1);
  EXPECT_EQ(presetBank.presetGains[0].gain, 2.0f);

  EXPECT_EQ(effectSettings.echoBlocks, 8);
  EXPECT_EQ(delayLengthSamples, 8 * n);
  EXPECT_EQ(effectSettings.reverseOn, 1);
  EXPECT_EQ(effectSettings.downsampleFactor, 4);
  EXPECT_EQ(effectSettings.flangerOn, 0);
  EXPECT_EQ(effectSettings.slicerOn, 0);
  EXPECT_EQ(effectSettings.muteOn, 0);
  EXPECT_EQ(effectSettings.bypassOn, 1);
  EXPECT_EQ(effectSettings.slicerPattern[1], 1);
  EXPECT_EQ(effectSettings.slicerPattern[5], 0);
  EXPECT_EQ(effectSettings.gain, 0.5f);
  EXPECT_EQ(gainKnob, 36);  // the loop turns the knob back into the gain
  EXPECT_EQ(echoMemory, 4);
  EXPECT_EQ(downsampleMemory, 0);

  // Back to preset 1: it comes back as it was left.
  click(Preset1);
  EXPECT_EQ(effectSettings.echoBlocks, 2);
  EXPECT_EQ(delayLengthSamples, 2 * n);
  EXPECT_EQ(effectSettings.flangerOn, 1);
  EXPECT_EQ(effectSettings.gain, 2.0f);

  // The current preset's own button stores and reloads the live settings unchanged.
  effectSettings.reverseOn = 1;
  const Snapshot before = Snapshot::take();
  EXPECT_EQ(clickTrace(Preset1),
            "PresetArea- | Preset1+ | Panel | Echo+ Reverse+ Flanger+ Slicer+ Preset1+ Step6+ "
            "Delay=1/2S Down=OFF | Knob@36");
  const Snapshot after = Snapshot::take();
  EXPECT_EQ(after.reverseOn, 1);
  EXPECT_EQ(presetBank.presetParams[0][kWordReverseOn], 1);
  Snapshot expected = before;
  expected.bank = presetBank;
  EXPECT_TRUE(after == expected);
}

TEST_F(PanelCommands, SaveWritesTheLiveSettingsIntoTheCurrentPresetAndTheFile) {
  presetBank.presetIndex = 6;
  effectSettings.echoBlocks = 1;
  effectSettings.slicerOn = 1;
  effectSettings.slicerPattern[15] = 1;
  effectSettings.gain = 0.5f;
  EXPECT_EQ(clickTrace(Save), "");

  const std::vector<std::uint8_t> file = readBytes(kPresetFileName);
  ASSERT_EQ(file.size(), static_cast<std::size_t>(kPresetFileBytes));
  std::uint8_t image[kPresetFileBytes];
  encodePresetBank(image);
  EXPECT_EQ(std::memcmp(file.data(), image, kPresetFileBytes), 0);

  resetPresetBank();
  ASSERT_EQ(loadPresetFile(), kPresetFileOk);
  EXPECT_EQ(presetBank.presetIndex, 6);
  EXPECT_EQ(presetBank.presetParams[6][kWordEchoBlocks], 1);
  EXPECT_EQ(presetBank.presetParams[6][kWordSlicerOn], 1);
  EXPECT_EQ(presetBank.presetParams[6][kWordMuteOn], 1);
  EXPECT_EQ(presetBank.presetPatterns[6][15], 1);
  EXPECT_EQ(presetBank.presetGains[6].gain, 0.5f);
  EXPECT_EQ(presetBank.presetParams[0][kWordEchoBlocks], 0);
}

// A save that cannot be kept says why, in a box over the panel and on standard
// error, and leaves what was on disk; a save that works says nothing.
TEST_F(PanelCommands, AFailedSaveSaysWhyAndASuccessfulOneIsSilent) {
  struct Case {
    const char* what;
    bool directoryInTheWay;
    int writeBudget;  // bytes the save may write before the disk is full; -1 no limit
    const char* reason;
  } cases[] = {
      {"saved", false, -1, nullptr},
      {"a directory has the file's name", true, -1, "Is a directory"},
      {"the disk fills", false, 100, "No space left on device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(kPresetFileName);
    if (c.directoryInTheWay) std::filesystem::create_directory(kPresetFileName);
    failPresetFileWriteAfter(c.writeBudget);
    boxes.clear();
    testing::internal::CaptureStderr();
    click(Save);
    const std::string said = testing::internal::GetCapturedStderr();
    if (!c.reason) {
      EXPECT_TRUE(boxes.empty());
      EXPECT_EQ(said, "");
      EXPECT_EQ(readBytes(kPresetFileName).size(), static_cast<std::size_t>(kPresetFileBytes));
      continue;
    }
    const std::string text =
        std::string("The presets could not be saved to PresetFile.KDX: ") + c.reason + ".";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, kWindow);
    EXPECT_EQ(boxes[0].caption, kZephyrixTitle);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(said, "zephyrix: " + text + "\n");
    EXPECT_EQ(std::filesystem::is_directory(kPresetFileName), c.directoryInTheWay);
  }
}

// Every key of the panel does what a click on its control does: the same
// writes, the same drawing, the same boxes, from the same starting state.
TEST_F(PanelCommands, EachKeyActsAsAClickOnItsControl) {
  struct Case {
    std::uint32_t code, modifiers;
    std::int32_t id;
  } cases[] = {
      {'1', 0, Preset1},
      {'5', kKeyShift, Preset1 + 4},
      {'9', 0, Preset1 + 8},
      {'0', 0, Preset10},
      {'E', 0, Echo},
      {'F', 0, Flanger},
      {'S', 0, Slicer},
      {'R', kKeyShift, Reverse},
      {'D', 0, DownsamplerSwitch},
      {kKeyRight, 0, DelayUp},
      {kKeyLeft, 0, DelayDown},
      {kKeyRight, kKeyShift, DownsamplerUp},
      {kKeyLeft, kKeyShift, DownsamplerDown},
      {'M', 0, Mute},
      {'B', 0, Bypass},
      {'S', kKeyControl, Save},
      {kKeyF1, 0, About},
      {'Q', kKeyControl, Power},
  };
  const auto start = [] {
    resetEffectSettings();
    resetPresetBank();
    effectSettings.echoBlocks = 2;
    effectSettings.downsampleFactor = 4;
    effectSettings.muteOn = 1;
    presetBank.presetParams[4][kWordFlangerOn] = 1;
    echoMemory = 2;
    boxes.clear();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "key " << c.code << " modifiers " << c.modifiers);
    start();
    const std::string clicked = clickTrace(c.id);
    const Snapshot afterClick = Snapshot::take();
    const std::size_t clickBoxes = boxes.size();
    start();
    drawtrace::start();
    EXPECT_EQ(windowProcedure(kWindow, kMsgKeyDown, 0, packKey(c.code, c.modifiers)), 0);
    EXPECT_EQ(drawtrace::stop(), clicked);
    EXPECT_TRUE(Snapshot::take() == afterClick);
    EXPECT_EQ(boxes.size(), clickBoxes);
  }
  // Keys that are not the panel's, or with a modifier the table does not have,
  // do nothing at all.
  start();
  const Snapshot before = Snapshot::take();
  drawtrace::start();
  for (const Case& c : {Case{'X', 0, 0}, Case{'E', kKeyControl, 0}, Case{'Q', 0, 0},
                        Case{'S', kKeyAlt, 0}, Case{kKeyF1 + 1, 0, 0}})
    windowProcedure(kWindow, kMsgKeyDown, 0, packKey(c.code, c.modifiers));
  EXPECT_EQ(drawtrace::stop(), "");
  EXPECT_TRUE(Snapshot::take() == before);
}

// Up and down move the knob six rows (one with Shift), clamped to the rows a
// drag reaches (1 ... 108), and redraw it as a drag does; a knob start-up put
// on row 0 is not moved down by Up.
TEST_F(PanelCommands, ArrowKeysMoveTheKnobAsADragWould) {
  struct Case {
    std::int32_t from;
    std::uint32_t code, modifiers;
    std::int32_t to;
  } cases[] = {
      {54, kKeyUp, 0, 48},         {54, kKeyDown, 0, 60},
      {54, kKeyUp, kKeyShift, 53}, {54, kKeyDown, kKeyShift, 55},
      {3, kKeyUp, 0, 1},           {1, kKeyUp, kKeyShift, 1},
      {0, kKeyUp, 0, 0},           {0, kKeyDown, kKeyShift, 1},
      {105, kKeyDown, 0, 108},     {108, kKeyDown, kKeyShift, 108},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "from " << c.from << " key " << c.code);
    gainKnob = c.from;
    drawtrace::start();
    windowProcedure(kWindow, kMsgKeyDown, 0, packKey(c.code, c.modifiers));
    EXPECT_EQ(drawtrace::stop(), "KnobTrack- | Knob@" + std::to_string(c.to));
    EXPECT_EQ(gainKnob, c.to);
    EXPECT_EQ(panelState.knobDragging, 0);
  }
}

TEST_F(PanelCommands, AboutShowsOneBoxAndChangesNothing) {
  const Snapshot before = Snapshot::take();
  EXPECT_EQ(clickTrace(About), "");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, kWindow);
  EXPECT_EQ(boxes[0].caption, kZephyrixTitle);
  EXPECT_FALSE(boxes[0].text.empty());
  EXPECT_EQ(boxes[0].text.find('\n'), std::string::npos);
  EXPECT_TRUE(Snapshot::take() == before);
}

TEST_F(PanelCommands, CreateAndPaintRedrawAndDestroyRequestsTheStop) {
  gainKnob = 54;
  effectSettings.echoBlocks = 2;
  drawtrace::start();
  windowProcedure(kWindow, kMsgCreate, 0, 0);
  windowProcedure(kWindow, kMsgPaint, 0, 0);
  EXPECT_EQ(drawtrace::stop(),
            "Panel | Mute+ Echo+ Preset1+ Delay=1/2S Down=OFF | Knob@54 | "
            "Panel | Mute+ Echo+ Preset1+ Delay=1/2S Down=OFF | Knob@54");
  EXPECT_EQ(quitRequested, 0);

  // Messages the panel does not handle change nothing, whatever their words hold.
  const Snapshot before = Snapshot::take();
  drawtrace::start();
  for (std::uint32_t msg : {0u, 3u, 16u, kMsgPenMove, kMsgFirstPrivate})
    windowProcedure(kWindow, msg, 0xFFFFFFFFu, packPenPosition(227, 150));
  EXPECT_EQ(drawtrace::stop(), "");
  EXPECT_TRUE(Snapshot::take() == before);

  windowProcedure(kWindow, kMsgDestroy, 0, 0);
  EXPECT_EQ(quitRequested, 1);
}

}  // namespace
