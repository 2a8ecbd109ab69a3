// The cost of drawing: a full redraw builds two skin pictures, the display strip
// and the knob; a single button still builds a whole skin picture. Target: a
// full redraw under 1 ms in a release build.
#include <benchmark/benchmark.h>

#include "panel/panel_render.h"
#include "platform/surface.h"
#include "presets/preset_bank.h"
#include "state/effect_settings.h"

namespace {

void busyPanel() {
  resetEffectSettings();
  effectSettings.echoBlocks = 8;
  effectSettings.downsampleFactor = 8;
  effectSettings.flangerOn = 1;
  effectSettings.slicerOn = 1;
  for (int k = 0; k < kSlicerSteps; k += 2) effectSettings.slicerPattern[k] = 1;
  presetBank.presetIndex = 3;
  gainKnob = 54;
}

void BM_RedrawPanel(benchmark::State& state) {
  allocatePictureHeaders();
  busyPanel();
  for (auto _ : state) {
    redrawPanel();
    benchmark::DoNotOptimize(windowSurface[150][120]);
  }
  freePictureHeaders();
}
BENCHMARK(BM_RedrawPanel)->Unit(benchmark::kMicrosecond);

void BM_DrawOneButton(benchmark::State& state) {
  allocatePictureHeaders();
  busyPanel();
  for (auto _ : state) {
    drawControl(2, 1);  // Echo, lit
    benchmark::DoNotOptimize(windowSurface[150][40]);
  }
  freePictureHeaders();
}
BENCHMARK(BM_DrawOneButton)->Unit(benchmark::kMicrosecond);

}  // namespace
