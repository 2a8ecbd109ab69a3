// What the documents (README, manual pages) are held to, read from the
// programs' own tables: the keys in their help groups, the status line's
// fields, and a file of the source tree as text.
#pragma once

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "panel/panel_keys.h"
#include "remote/unit_status.h"

namespace documents {

inline std::string readSource(const std::string& path) {
  std::ifstream in(std::string(ZEPHYRIX_SOURCE_DIR).append("/").append(path));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The keys as the help texts group them: each group's names, and what they do.
struct KeyGroup {
  std::vector<std::string> names;
  std::string help;
};

inline std::vector<KeyGroup> keyGroups() {
  std::vector<KeyGroup> groups;
  for (const PanelKey& k : panelKeys()) {
    if (k.help != nullptr) groups.push_back({{}, k.help});
    groups.back().names.push_back(k.name);
  }
  return groups;
}

// The status line's fields, name and the letter its form gives the value:
// {"preset", "N"}, {"echo", "E"}, ...
inline std::vector<std::pair<std::string, std::string>> statusFields() {
  std::vector<std::pair<std::string, std::string>> fields;
  std::istringstream form(unitStatusForm());
  for (std::string field; form >> field;) {
    const std::size_t equals = field.find('=');
    fields.emplace_back(field.substr(0, equals), field.substr(equals + 1));
  }
  return fields;
}

// Values joined by ", ", the last one after `last` instead ("OFF, X2, X4 or X8").
inline std::string joined(const std::vector<std::string>& values, const std::string& last) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i)
    text += (i == 0 ? "" : i + 1 == values.size() ? last : ", ") + values[i];
  return text;
}

}  // namespace documents
