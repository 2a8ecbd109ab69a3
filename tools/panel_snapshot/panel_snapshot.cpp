// Draws the panel as the unit shows it in three states and writes each window
// surface to a PNG file, for people to look at the artwork and the drawing:
//   panel-startup.png  the state right after start-up (muted, echo and downsampler off)
//   panel-all-lit.png  every switch on, every step lit, preset 10, 2S and X8
//   panel-busy.png     a busy slicer pattern with echo 2S and the downsampler at X8
// Usage: panel_snapshot [FOLDER]   (default: the current folder)
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "panel/panel_render.h"
#include "platform/surface.h"
#include "platform/surface_file.h"
#include "presets/preset_bank.h"
#include "state/effect_settings.h"

namespace {

void clearWindow() {
  for (auto& row : windowSurface)
    for (auto& px : row) px = 0x000000;
}

bool snapshot(const std::string& folder, const char* name) {
  clearWindow();
  redrawPanel();
  const std::string path = folder + "/" + name;
  if (writeSurfacePng(path.c_str()) != 0) {
    std::fprintf(stderr, "panel_snapshot: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")))) {
    std::fprintf(stderr, "usage: panel_snapshot [FOLDER]\n");
    return 2;
  }
  const std::string folder = argc == 2 ? argv[1] : ".";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  allocatePictureHeaders();
  bool ok = true;

  resetEffectSettings();
  presetBank.presetIndex = 0;
  ok = snapshot(folder, "panel-startup.png") && ok;

  effectSettings.muteOn = 1;
  effectSettings.bypassOn = 1;
  effectSettings.echoBlocks = 2;
  effectSettings.reverseOn = 1;
  effectSettings.flangerOn = 1;
  effectSettings.downsampleFactor = 8;
  effectSettings.slicerOn = 1;
  for (auto& step : effectSettings.slicerPattern) step = 1;
  quitRequested = 1;
  gainKnob = 54;
  presetBank.presetIndex = 9;
  ok = snapshot(folder, "panel-all-lit.png") && ok;

  resetEffectSettings();
  effectSettings.muteOn = 0;
  effectSettings.echoBlocks = 8;
  effectSettings.downsampleFactor = 8;
  effectSettings.slicerOn = 1;
  const char* pattern = "1011001110100110";
  for (int k = 0; k < kSlicerSteps; ++k) effectSettings.slicerPattern[k] = pattern[k] == '1';
  gainKnob = 30;
  presetBank.presetIndex = 3;
  ok = snapshot(folder, "panel-busy.png") && ok;

  freePictureHeaders();
  return ok ? 0 : 1;
}
