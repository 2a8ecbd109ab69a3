#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "panel/button_table.h"
#include "panel/panel_images.h"
#include "panel/panel_render.h"
#include "platform/picture.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "presets/preset_bank.h"
#include "state/effect_settings.h"

namespace {

constexpr std::uint32_t kDirt = 0xFF00FE;  // in no palette of ours (checked below)

struct Area {
  int x, y, w, h;
};

Area buttonArea(int id) {
  const ButtonRect& r = buttonTable[id - 1];
  return {r.x, r.y, r.w, r.h};
}

std::uint32_t skinAt(int lit, int wx, int wy) {
  return storedImagePixel(storedImage(lit ? SkinOnImage : SkinOffImage), wx, wy - kHiddenTopRows);
}

// What the window should show: starts dirty; each helper paints what one copy
// must have put there, worked out from the stored images directly.
struct Frame {
  std::vector<std::uint32_t> px = std::vector<std::uint32_t>(kWindowWidth * kWindowHeight, kDirt);
  std::uint32_t& at(int x, int y) { return px[y * kWindowWidth + x]; }
  void skin(int lit, Area a) {
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x)
        if (x < kWindowWidth && y < kWindowHeight) at(x, y) = skinAt(lit, x, y);
  }
  void cell(int wx, int wy, int cx, int cy) {
    const StoredImage strip = storedImage(DisplayStripImage);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 36; ++x) at(wx + x, wy + y) = storedImagePixel(strip, cx + x, cy + y);
  }
  void knob(int top) {
    const StoredImage k = storedImage(KnobImage);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 16; ++x)
        if (top + y >= 0 && top + y < kWindowHeight)
          at(219 + x, top + y) = storedImagePixel(k, x, y);
  }
};

class PanelRender : public ::testing::Test {
 protected:
  void SetUp() override {
    resetEffectSettings();
    presetBank.presetIndex = 0;
    allocatePictureHeaders();
    dirty();
  }
  void TearDown() override {
    freePictureHeaders();
    withholdPicturePixels(false);
    setSurfacePresenter(nullptr);
  }
  static void dirty() {
    for (auto& row : windowSurface)
      for (auto& p : row) p = kDirt;
  }
  // Compares the whole window with the frame and reports the first difference.
  static void expectWindow(Frame& f) {
    for (int y = 0; y < kWindowHeight; ++y)
      for (int x = 0; x < kWindowWidth; ++x)
        if (windowSurface[y][x] != f.at(x, y)) {
          ADD_FAILURE() << "window differs at " << x << "," << y << std::hex << ": 0x"
                        << windowSurface[y][x] << " instead of 0x" << f.at(x, y);
          return;
        }
  }
  static void expectUntouched() {
    Frame f;
    expectWindow(f);
  }
};

}  // namespace

TEST_F(PanelRender, DirtColourIsInNoPalette) {
  for (int id : {SkinOffImage, SkinOnImage, DisplayStripImage})
    for (int i = 0; i < 256; ++i) {
      const std::uint8_t* e = storedImage(id).palette + 4 * i;
      ASSERT_NE(e[0] | (e[1] << 8) | (e[2] << 16), kDirt);
    }
}

TEST_F(PanelRender, SwitchCodesCopyTheirButtonFromTheChosenSkin) {
  for (int lit : {0, 1})
    for (int code = 0; code <= 7; ++code) {
      SCOPED_TRACE(testing::Message() << "code " << code << " lit " << lit);
      dirty();
      drawControl(code, lit);
      Frame f;
      f.skin(lit, buttonArea(code + 1));
      expectWindow(f);
    }
}

TEST_F(PanelRender, CodesWithoutATargetDrawNothing) {
  presetBank.presetIndex = 4;
  for (auto& step : effectSettings.slicerPattern) step = 1;
  for (int code : {8, 9, 10, 37, 39, 41, 99, 101, 199, 201, 299, 301, -1, INT_MIN, INT_MAX})
    for (int lit : {0, 1}) {
      drawControl(code, lit);
      SCOPED_TRACE(code);
      expectUntouched();
    }
  // Preset highlight and lit steps draw only lit.
  for (int code = 11; code <= 36; ++code) drawControl(code, 0);
  expectUntouched();
}

TEST_F(PanelRender, PresetHighlightFollowsPresetIndexWhateverTheCode) {
  for (int index = 0; index <= 9; ++index)
    for (int code = 11; code <= 20; ++code) {
      SCOPED_TRACE(testing::Message() << "index " << index << " code " << code);
      presetBank.presetIndex = index;
      dirty();
      drawControl(code, 1);
      Frame f;
      f.skin(1, buttonArea(Preset1 + index));
      expectWindow(f);
    }
  // An index a broken preset file could leave behind selects no button at all.
  for (int index : {-1, 10, 41, INT_MIN, INT_MAX}) {
    presetBank.presetIndex = index;
    dirty();
    drawControl(15, 1);
    drawLitControls();
    Frame f;  // drawLitControls still draws the readouts and the knob
    f.skin(1, buttonArea(Mute));
    f.cell(16, 220, 0, 0);
    f.cell(16, 250, 0, 0);
    f.knob(99);
    expectWindow(f);
  }
}

TEST_F(PanelRender, LitStepsDrawOnlyStepsHoldingExactlyOne) {
  effectSettings.slicerPattern[2] = 1;  // step 3
  effectSettings.slicerPattern[8] = 1;  // step 9
  effectSettings.slicerPattern[4] = 2;  // not exactly 1
  effectSettings.slicerPattern[15] = 255;
  for (int code : {21, 36}) {
    dirty();
    drawControl(code, 1);
    Frame f;
    f.skin(1, buttonArea(Step1 + 2));
    f.skin(1, buttonArea(Step1 + 8));
    expectWindow(f);
  }
}

TEST_F(PanelRender, AreasAreCopiedUnlitOrLitAndClippedAtTheRightEdge) {
  struct Case {
    int code;
    Area area;
  } cases[] = {{PresetArea, {129, 30, 115, 42}},
               {SlicerRow, {10, 180, 180, 27}},
               {KnobTrack, {217, 90, 20, 130}}};
  for (const Case& c : cases)
    for (int lit : {0, 1}) {
      SCOPED_TRACE(c.code);
      dirty();
      drawControl(c.code, lit);
      Frame f;
      f.skin(lit, c.area);  // the frame helper clips at column 240 itself
      expectWindow(f);
    }
}

TEST_F(PanelRender, ReadoutsShowTheCellOfEachValueAndNothingForOthers) {
  struct Case {
    int value, cellX, cellY;  // cellX -1: nothing drawn
  };
  const Case delays[] = {{0, 0, 0},  {1, 36, 12}, {2, 72, 12}, {4, 108, 12},
                         {8, 0, 12}, {3, -1, 0},  {-1, -1, 0}, {16, -1, 0}};
  const Case factors[] = {{0, 0, 0},   {2, 36, 0}, {4, 72, 0}, {8, 108, 0},
                          {-2, -1, 0}, {1, -1, 0}, {16, -1, 0}};
  effectSettings.muteOn = 0;
  for (const Case& d : delays)
    for (const Case& s : factors) {
      SCOPED_TRACE(testing::Message() << "echo " << d.value << " factor " << s.value);
      effectSettings.echoBlocks = d.value;
      effectSettings.downsampleFactor = s.value;
      dirty();
      drawLitControls();
      Frame f;
      if (d.value != 0) f.skin(1, buttonArea(Echo));
      if (s.value > 0) f.skin(1, buttonArea(DownsamplerSwitch));
      f.skin(1, buttonArea(Preset1));
      if (d.cellX >= 0) f.cell(16, 220, d.cellX, d.cellY);
      if (s.cellX >= 0) f.cell(16, 250, s.cellX, s.cellY);
      f.knob(99);
      expectWindow(f);
    }
}

TEST_F(PanelRender, KnobSitsAtRow99PlusGainKnobClippedToTheWindow) {
  for (int knob : {0, 1, 54, 108, 109, 193, 195, -100, -2, 400, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(knob);
    gainKnob = knob;
    dirty();
    drawKnob();
    Frame f;
    if (knob > -1000 && knob < 1000) f.knob(99 + knob);  // the frame clips like the window
    expectWindow(f);
  }
}

TEST_F(PanelRender, LitControlsFollowTheirExactConditions) {
  struct Case {
    const char* what;
    void (*set)();
    int lit;  // button drawn lit, 0: none besides the defaults
  } cases[] = {
      {"quit", [] { quitRequested = 1; }, Power},
      {"quit 2", [] { quitRequested = 2; }, 0},
      {"mute 2", [] { effectSettings.muteOn = 2; }, 0},
      {"echo", [] { effectSettings.echoBlocks = 3; }, Echo},
      {"bypass", [] { effectSettings.bypassOn = 1; }, Bypass},
      {"bypass 2", [] { effectSettings.bypassOn = 2; }, 0},
      {"reverse", [] { effectSettings.reverseOn = 1; }, Reverse},
      {"reverse 2", [] { effectSettings.reverseOn = 2; }, 0},
      {"flanger", [] { effectSettings.flangerOn = 1; }, Flanger},
      {"flanger -1", [] { effectSettings.flangerOn = -1; }, 0},
      {"downsampler", [] { effectSettings.downsampleFactor = 16; }, DownsamplerSwitch},
      {"downsampler -2", [] { effectSettings.downsampleFactor = -2; }, 0},
      {"slicer", [] { effectSettings.slicerOn = 1; }, Slicer},
      {"slicer 3", [] { effectSettings.slicerOn = 3; }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    resetEffectSettings();
    quitRequested = 0;
    effectSettings.muteOn = 0;
    c.set();
    dirty();
    drawLitControls();
    Frame f;
    if (c.lit) f.skin(1, buttonArea(c.lit));
    f.skin(1, buttonArea(Preset1));
    // Readouts drawn only for values with a cell.
    const int echo = effectSettings.echoBlocks, factor = effectSettings.downsampleFactor;
    if (echo == 0) f.cell(16, 220, 0, 0);
    if (factor == 0) f.cell(16, 250, 0, 0);
    f.knob(99);
    expectWindow(f);
  }
}

// The whole window after a full redraw, composed independently in the order
// unlit skin, lit controls, readouts, knob; rows 0 to 25 keep what they had.
TEST_F(PanelRender, RedrawPanelLayersSkinLitControlsReadoutsAndKnob) {
  effectSettings.muteOn = 1;
  effectSettings.echoBlocks = 8;
  effectSettings.downsampleFactor = 4;
  effectSettings.flangerOn = 1;
  effectSettings.slicerPattern[0] = 1;
  effectSettings.slicerPattern[15] = 1;
  presetBank.presetIndex = 9;
  gainKnob = 109;
  redrawPanel();
  Frame f;
  f.skin(0, {0, 26, 240, 269});
  for (int id : {Mute, Echo, Flanger, DownsamplerSwitch, Preset10, Step1, Step16})
    f.skin(1, buttonArea(id));
  f.cell(16, 220, 0, 12);  // 2S
  f.cell(16, 250, 72, 0);  // X4
  f.knob(208);
  expectWindow(f);
}

TEST_F(PanelRender, FullRedrawLightsExactlyOnePresetAndBlanksUnknownReadouts) {
  effectSettings.echoBlocks = 3;  // only a preset file can hold this
  for (int index = 0; index <= 9; ++index) {
    presetBank.presetIndex = index;
    redrawPanel();
    int lit = 0;
    for (int id = Preset1; id <= Preset10; ++id) {
      const Area a = buttonArea(id);
      bool same = true;
      for (int y = a.y; y < a.y + a.h; ++y)
        for (int x = a.x; x < a.x + a.w; ++x) same = same && windowSurface[y][x] == skinAt(1, x, y);
      lit += same;
    }
    EXPECT_EQ(lit, 1);
  }
  // The delay readout box shows the unlit skin (no cell) after the redraw.
  for (int y = 220; y < 232; ++y)
    for (int x = 16; x < 52; ++x) ASSERT_EQ(windowSurface[y][x], skinAt(0, x, y));
}

TEST_F(PanelRender, EveryOperationShowsItsWorkAndMissingPicturesDrawNothing) {
  static int presented;
  presented = 0;
  setSurfacePresenter([] { ++presented; });
  drawControl(2, 1);
  EXPECT_EQ(presented, 1);
  drawControl(12345, 1);
  EXPECT_EQ(presented, 2);
  presented = 0;
  redrawPanel();
  EXPECT_GE(presented, 1);

  // Without pixel memory every copy is skipped and nothing breaks.
  dirty();
  withholdPicturePixels(true);
  redrawPanel();
  drawControl(100, 0);
  expectUntouched();
  withholdPicturePixels(false);

  // Without the header buffers nothing is drawn from the 8-bit images; the
  // knob builds its header locally and still appears.
  freePictureHeaders();
  dirty();
  redrawPanel();
  drawControl(0, 1);
  Frame f;
  f.knob(99);
  expectWindow(f);
}
