#include "remote/status_json.h"

#include <cstdio>
#include <sstream>

void appendJsonString(std::string& json, std::string_view text) {
  json.push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json.push_back('\\');
      json.push_back(c);
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      json.append(escaped);
    } else {
      json.push_back(c);
    }
  }
  json.push_back('"');
}

const char* unitStatusClass(const UnitStatus& status) {
  if (!status.sound) return "nosound";
  if (status.settings[kWordBypassOn] != 0) return "bypass";
  if (status.settings[kWordMuteOn] != 0) return "mute";
  return "on";
}

namespace {

void appendMember(std::string& json, std::string_view name) {
  if (json.size() > 1) json.push_back(',');
  appendJsonString(json, name);
  json.push_back(':');
}

// The preset and the settings that are not at their first (OFF) value.
std::string shortText(const UnitStatus& status, const std::vector<StatusField>& fields) {
  std::string text = fields.front().text;
  for (int k = 0; k < kWordSettingCount; ++k)
    if (status.settings[k] != kWordSettings[k].values.front().value)
      text.append(" ").append(kWordSettings[k].name);
  return text;
}

}  // namespace

std::string unitStatusJson(const UnitStatus& status) {
  const std::vector<StatusField> fields = unitStatusFields(status);
  std::string json = "{";
  for (const StatusField& f : fields) {
    appendMember(json, f.name);
    if (f.kind == FieldText) appendJsonString(json, f.text);
    if (f.kind == FieldNumber) json.append(f.text);
    if (f.kind == FieldYesNo) json.append(f.text == "yes" ? "true" : "false");
  }
  appendMember(json, "text");
  appendJsonString(json, shortText(status, fields));
  appendMember(json, "tooltip");
  appendJsonString(json, unitStatusLine(status));
  appendMember(json, "class");
  appendJsonString(json, unitStatusClass(status));
  return json + "}";
}

std::string statusJsonForm() {
  std::istringstream letters(unitStatusForm());
  std::string form = "{";
  for (const StatusField& f : unitStatusFields(UnitStatus{})) {
    std::string word;
    letters >> word;
    const std::string letter = word.substr(word.find('=') + 1);
    form.append(form.size() > 1 ? ", \"" : "\"").append(f.name).append("\": ");
    form.append(f.kind == FieldText ? "\"" + letter + "\"" : letter);
  }
  return form + R"(, "text": "T", "tooltip": "L", "class": "C"})";
}

std::string statusJsonLegend() {
  const std::string on = kSwitchValues[1].lettering, off = kSwitchValues[0].lettering;
  return statusJsonForm() + ", where the letters are as in the line but Y is true or false, T " +
         "the preset's lettering and the names of the settings that are not " + off +
         ", L the status line, and C nosound while Y is false, else bypass while bypass is " + on +
         ", else mute while mute is " + on + ", else on.";
}
