#include "render/render_settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"
#include "state/settings_table.h"

namespace {

// A preset file has one fixed length; anything else is some other file, and the
// unit's own loader would quietly take it for a partial bank.
int loadPresets(const RenderOptions& o, std::string& error) {
  struct stat st {};
  if (stat(o.presetsPath.c_str(), &st) != 0) {
    error = std::strerror(errno);
    return 1;
  }
  if (!S_ISREG(st.st_mode) || st.st_size != kPresetFileBytes) {
    error = "not a preset file (it must be " + std::to_string(kPresetFileBytes) + " bytes)";
    return 1;
  }
  if (loadPresetFileFrom(o.presetsPath.c_str()) != kPresetFileOk) {
    error = std::strerror(errno);
    return 1;
  }
  if (o.presetIndex != kCurrentPreset) presetBank.presetIndex = o.presetIndex;
  loadPreset();
  return 0;
}

}  // namespace

int applyRenderSettings(const RenderOptions& o, std::string& error) {
  selectAudioProfile(o.profile);
  resetEffectSettings();
  resetPresetBank();
  if (!o.presetsPath.empty() && loadPresets(o, error) != 0) return 1;

  EffectSettings& s = effectSettings;
  for (int w = 0; w < kWordSettingCount; ++w)
    if (o.words[w]) s.*kWordSettings[w].live = *o.words[w];
  setEchoBlocks(s.echoBlocks);  // the delay in samples of the chosen profile
  if (o.slicerPattern) {
    s.slicerOn = 1;
    for (int i = 0; i < kSlicerSteps; ++i) s.slicerPattern[i] = (*o.slicerPattern)[i];
  }
  if (o.gain) s.gain = *o.gain;
  s.muteOn = 0;
  quitRequested = 0;
  return 0;
}
