#include "panel/panel_commands.h"

#include <cstdio>
#include <cstring>
#include <span>

#include "panel/button_table.h"
#include "panel/panel_render.h"
#include "platform/version.h"
#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/effect_settings.h"
#include "state/settings_table.h"

const char kAboutText[] = "Zephyrix live voice effects, made by the Zephyrix team.";

namespace {

EffectSettings& live = effectSettings;

// A switch's draw code is its button id - 1.
void drawSwitch(std::int32_t id, std::int32_t lit) {
  drawControl(id - 1, lit);
}

// Any effect or +/- button ends the silence of mute and of bypass.
void clearMuteAndBypass() {
  drawSwitch(Bypass, 0);
  drawSwitch(Mute, 0);
  live.bypassOn = 0;
  live.muteOn = 0;
}

void toggleMute() {
  if (live.muteOn == 0) {
    live.muteOn = 1;
    drawSwitch(Mute, 1);
  } else {
    live.muteOn = 0;
    drawSwitch(Mute, 0);
  }
  drawSwitch(Bypass, 0);
  live.bypassOn = 0;
}

void toggleBypass() {
  if (live.bypassOn == 0) {
    drawSwitch(Bypass, 1);
    live.bypassOn = 1;
  } else {
    drawSwitch(Bypass, 0);
    live.bypassOn = 0;
  }
  live.muteOn = 0;
  drawSwitch(Mute, 0);
}

// The echo switch brings back the delay last chosen with the delay buttons.
void toggleEcho() {
  clearMuteAndBypass();
  if (live.echoBlocks == 0) {
    drawSwitch(Echo, 1);
    setEchoBlocks(echoMemory);
    if (live.echoBlocks == 0) drawSwitch(Echo, 0);
  } else {
    setEchoBlocks(0);
    drawSwitch(Echo, 0);
  }
}

// Reverse, flanger and slicer: plain on/off switches.
void toggleSwitch(Shared<std::int32_t>& on, std::int32_t id) {
  clearMuteAndBypass();
  if (on != 0) {
    drawSwitch(id, 0);
    on = 0;
  } else {
    drawSwitch(id, 1);
    on = 1;
  }
}

// The downsampler switch brings back the factor it switched off.
void toggleDownsampler() {
  clearMuteAndBypass();
  if (live.downsampleFactor != 0) {
    drawSwitch(DownsamplerSwitch, 0);
    downsampleMemory = live.downsampleFactor;
    live.downsampleFactor = 0;
  } else {
    drawSwitch(DownsamplerSwitch, 1);
    live.downsampleFactor = downsampleMemory;
    if (live.downsampleFactor == 0) drawSwitch(DownsamplerSwitch, 0);
  }
}

void choosePreset(std::int32_t id) {
  selectPreset(id - Preset1);
  drawControl(PresetArea, 0);
  drawControl(id, 1);
  redrawPanel();
}

void flipStep(std::int32_t id) {
  Shared<std::uint8_t>& stepFlag = live.slicerPattern[id - Step1];
  stepFlag = stepFlag == 0 ? 1 : 0;
  drawControl(SlicerRow, 0);
  drawControl(id, 1);
}

// The + and - buttons step along the setting's values; the ends, and a value
// off the list, stay.
std::int32_t stepped(std::span<const SettingValue> values, std::int32_t value, bool up) {
  return up ? settingStepUp(values, value) : settingStepDown(values, value);
}

void stepDelay(bool up) {
  clearMuteAndBypass();
  const std::int32_t before = live.echoBlocks;
  setEchoBlocks(stepped(kEchoValues, before, up));
  if (before == 1 && live.echoBlocks == 0) drawSwitch(Echo, 0);
  echoMemory = live.echoBlocks;
  drawLitControls();
}

void stepDownsampler(bool up) {
  clearMuteAndBypass();
  const std::int32_t before = live.downsampleFactor;
  live.downsampleFactor = stepped(kDownsampleValues, before, up);
  if (before == 2 && live.downsampleFactor == 0) drawSwitch(DownsamplerSwitch, 0);
  downsampleMemory = live.downsampleFactor;
  drawLitControls();
}

// A save that fails leaves the old file as it was; the user must know that
// what they set is not kept, so it says why, in a box and on standard error.
void save(WindowHandle window) {
  storePreset();
  if (savePresetFile() == kPresetFileOk) return;
  char text[256];
  std::snprintf(text, sizeof text, "The presets could not be saved to %s: %s.", kPresetFileName,
                presetFileSaveReason());
  std::fprintf(stderr, "zephyrix: %s\n", text);
  showMessageBox(window, text, kZephyrixTitle, kBoxError);
}

}  // namespace

void runCommand(WindowHandle window, std::int32_t id) {
  switch (id) {
    case Power:
      drawSwitch(Power, 0);
      quitRequested = 1;
      return;
    case Mute:
      return toggleMute();
    case Echo:
      return toggleEcho();
    case Bypass:
      return toggleBypass();
    case Reverse:
      return toggleSwitch(live.reverseOn, Reverse);
    case Flanger:
      return toggleSwitch(live.flangerOn, Flanger);
    case DownsamplerSwitch:
      return toggleDownsampler();
    case Slicer:
      return toggleSwitch(live.slicerOn, Slicer);
    case Save:
      return save(window);
    case About:
      showMessageBox(window, kAboutText, kZephyrixTitle);
      return;
    case DownsamplerUp:
    case DownsamplerDown:
      return stepDownsampler(id == DownsamplerUp);
    case DelayUp:
    case DelayDown:
      return stepDelay(id == DelayUp);
    default:
      break;
  }
  if (id >= Preset1 && id <= Preset10) choosePreset(id);
  if (id >= Step1 && id <= Step16) flipStep(id);
}
