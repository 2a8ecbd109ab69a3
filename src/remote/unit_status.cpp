#include "remote/unit_status.h"

#include <cstdio>

#include "presets/preset_bank.h"
#include "state/effect_settings.h"
#include "state/settings_table.h"

std::string unitStatusLine() {
  const int preset = presetBank.presetIndex;
  std::string line = "preset=";
  line.append(std::to_string(preset == kPresetCount - 1 ? 0 : preset + 1));
  for (const WordSetting& s : kWordSettings) {
    const std::int32_t value = effectSettings.*s.live;
    const char* lettering = settingLettering(s.values, value);
    line.append(" ").append(s.name).append("=");
    line.append(lettering != nullptr ? lettering : std::to_string(value));
  }
  char gain[32];
  std::snprintf(gain, sizeof gain, " gain=%.2f", static_cast<double>(effectSettings.gain));
  return line + gain;
}
