// A fresh application for each test: the virtual audio devices, the headless
// window system, an empty working directory for the preset file, every
// subsystem at its initial values, drain pauses of 0 ms, and a message box
// hook that records each box and whether the panel was on screen behind it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/engine_reset.h"
#include "app/recorder.h"
#include "audio/audio_buffers.h"
#include "audio/audio_stream.h"
#include "audio/effects_chain.h"
#include "panel/button_table.h"
#include "panel/gain_knob.h"
#include "panel/panel_images.h"
#include "panel/panel_render.h"
#include "panel/window_procedure.h"
#include "platform/memory.h"
#include "platform/surface.h"
#include "platform/wave_audio.h"
#include "platform/wave_audio_virtual.h"
#include "platform/window_testing.h"
#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"
#include "support/scratch_directory.h"

struct ShownBox {
  WindowHandle owner;
  std::string text, caption;
  bool panelShown;  // the whole skin was in the window when the box came up
};

inline std::vector<ShownBox> boxes;

inline std::uint32_t appSkinPixel(int lit, int x, int y) {
  return storedImagePixel(storedImage(lit ? SkinOnImage : SkinOffImage), x, y - kHiddenTopRows);
}

// The logo band is never drawn lit, so it shows the unlit skin once the panel is drawn.
inline bool panelOnScreen() {
  const ButtonRect& r = buttonTable[About - 1];
  for (int y = r.y; y < kWindowHeight; ++y)
    for (int x = 0; x < kWindowWidth; ++x)
      if (windowSurface[y][x] != appSkinPixel(0, x, y)) return false;
  return true;
}

inline int recordShownBox(WindowHandle owner, const char* text, const char* caption) {
  boxes.push_back({owner, text, caption, panelOnScreen()});
  return kBoxOk;
}

class AppTest : public ScratchDirectory {
 protected:
  void SetUp() override {
    ScratchDirectory::SetUp();
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("ZEPHYRIX_SCALE", "1", 1);
    useWaveBackend(&virtualWaveBackend);
    resetAll();
  }
  void TearDown() override {
    stopVirtualAudioThread();
    resetEngine();
    stopRecording();
    closeWindowSystem();
    failAllocationNumber(0);
    resetVirtualAudio();
    unsetenv("ZEPHYRIX_SCALE");
    ScratchDirectory::TearDown();
  }

  // Everything back to how a fresh process finds it.
  static void resetAll() {
    stopVirtualAudioThread();
    resetEngine();
    closeWindowSystem();
    failAllocationNumber(0);
    resetVirtualAudio();
    drainPauseMilliseconds = 0;
    boxes.clear();
    setMessageBoxHook(recordShownBox);
    for (auto& row : windowSurface)
      for (auto& p : row) p = 0;
  }

  // Queues a pen-down and a pen-up in the middle of the button.
  static void postClick(WindowHandle window, std::int32_t id) {
    const ButtonRect& r = buttonTable[id - 1];
    const std::uint32_t at = packPenPosition(r.x + r.w / 2, r.y + r.h / 2);
    postMessage(window, kMsgPenDown, 1, at);
    postMessage(window, kMsgPenUp, 0, at);
  }

  static bool buttonShows(std::int32_t id, int lit) {
    const ButtonRect& r = buttonTable[id - 1];
    for (int y = r.y; y < r.y + r.h; ++y)
      for (int x = r.x; x < r.x + r.w; ++x)
        if (windowSurface[y][x] != appSkinPixel(lit, x, y)) return false;
    return true;
  }

  static bool knobShownAt(std::int32_t k) {
    const StoredImage knob = storedImage(KnobImage);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 16; ++x)
        if (windowSurface[kKnobTop + k + y][kKnobX + x] != storedImagePixel(knob, x, y))
          return false;
    return true;
  }
};
