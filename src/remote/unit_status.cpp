#include "remote/unit_status.h"

#include <cctype>
#include <cstdio>

#include "platform/wave_audio.h"
#include "presets/preset_bank.h"
#include "state/effect_settings.h"
#include "state/settings_table.h"

namespace {

bool isSwitch(const WordSetting& s) {
  return s.values.data() == std::data(kSwitchValues);
}

// The letter --help names a value by: S for every switch, else the setting's
// initial.
std::string valueLetter(const WordSetting& s) {
  if (isSwitch(s)) return "S";
  return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(s.name[0]))));
}

std::string gainText(double gain) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", gain);
  return text;
}

// A readout's letterings as --help lists them: all of them, or the first two
// and the last where there are more than four.
std::string letteringRange(std::span<const SettingValue> values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values.size() > 4 && i >= 2 && i + 1 < values.size()) continue;
    if (i > 0) text += values.size() > 4 && i + 1 == values.size() ? " ... " : ", ";
    text += values[i].lettering;
  }
  return text;
}

}  // namespace

UnitStatus readUnitStatus() {
  UnitStatus status;
  status.presetIndex = presetBank.presetIndex;
  for (int k = 0; k < kWordSettingCount; ++k)
    status.settings[k] = effectSettings.*kWordSettings[k].live;
  status.gain = effectSettings.gain;
  status.sound = waveHasSound();
  return status;
}

std::vector<StatusField> unitStatusFields(const UnitStatus& status) {
  const int preset = status.presetIndex;
  std::vector<StatusField> fields;
  fields.push_back(
      {"preset", std::to_string(preset == kPresetCount - 1 ? 0 : preset + 1), FieldText});
  for (int k = 0; k < kWordSettingCount; ++k) {
    const WordSetting& s = kWordSettings[k];
    const char* lettering = settingLettering(s.values, status.settings[k]);
    fields.push_back(
        {s.name, lettering != nullptr ? lettering : std::to_string(status.settings[k]), FieldText});
  }
  fields.push_back({"gain", gainText(status.gain), FieldNumber});
  fields.push_back({"sound", status.sound ? "yes" : "no", FieldYesNo});
  return fields;
}

std::string unitStatusLine(const UnitStatus& status) {
  std::string line;
  for (const StatusField& f : unitStatusFields(status))
    line.append(line.empty() ? "" : " ").append(f.name).append("=").append(f.text);
  return line;
}

std::string unitStatusForm() {
  std::string form = "preset=N";
  for (const WordSetting& s : kWordSettings)
    form.append(" ").append(s.name) += "=" + valueLetter(s);
  return form + " gain=G sound=Y";
}

std::string unitStatusLegend() {
  std::string letters, ranges;
  for (const WordSetting& s : kWordSettings) {
    if (isSwitch(s)) continue;
    letters += (letters.empty() ? "" : " and ") + valueLetter(s);
    ranges += (ranges.empty() ? "" : "; ") + letteringRange(s.values);
  }
  return "N the preset button's lettering (1 ... " + std::to_string(kPresetCount - 1) + ", 0), " +
         letters + " lettered as on the readouts (" + ranges + "), S " +
         kSwitchValues[1].lettering + " or " + kSwitchValues[0].lettering +
         ", G the output gain (" + gainText(kGainRange.low) + " ... " + gainText(kGainRange.high) +
         "), Y yes while sound goes through, no while the unit waits for its sound server or "
         "devices.";
}
