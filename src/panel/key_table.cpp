// The keys of the panel and their names: data only, so that the programs
// that talk to a running unit can read it too.
#include <algorithm>
#include <cctype>

#include "panel/button_table.h"
#include "panel/panel_keys.h"

namespace {

constexpr std::uint32_t kShift = kKeyShift;
constexpr std::uint32_t kControl = kKeyControl;
constexpr std::int32_t kKnobStep = 6;  // rows an arrow moves the knob; one with Shift

constexpr PanelKey kPanelKeys[] = {
    {"1", '1', 0, Preset1, 0, "preset buttons 1 ... 10 (0 is the tenth)"},
    {"2", '2', 0, Preset1 + 1, 0, nullptr},
    {"3", '3', 0, Preset1 + 2, 0, nullptr},
    {"4", '4', 0, Preset1 + 3, 0, nullptr},
    {"5", '5', 0, Preset1 + 4, 0, nullptr},
    {"6", '6', 0, Preset1 + 5, 0, nullptr},
    {"7", '7', 0, Preset1 + 6, 0, nullptr},
    {"8", '8', 0, Preset1 + 7, 0, nullptr},
    {"9", '9', 0, Preset1 + 8, 0, nullptr},
    {"0", '0', 0, Preset10, 0, nullptr},
    {"e", 'E', 0, Echo, 0, "Echo, Flanger, Slicer, Reverse"},
    {"f", 'F', 0, Flanger, 0, nullptr},
    {"s", 'S', 0, Slicer, 0, nullptr},
    {"r", 'R', 0, Reverse, 0, nullptr},
    {"d", 'D', 0, DownsamplerSwitch, 0, "the downsampler switch"},
    {"right", kKeyRight, 0, DelayUp, 0, "delay + / -"},
    {"left", kKeyLeft, 0, DelayDown, 0, nullptr},
    {"shift+right", kKeyRight, kShift, DownsamplerUp, 0, "downsampler + / -"},
    {"shift+left", kKeyLeft, kShift, DownsamplerDown, 0, nullptr},
    {"up", kKeyUp, 0, 0, -kKnobStep, "gain knob six rows up / down"},
    {"down", kKeyDown, 0, 0, kKnobStep, nullptr},
    {"shift+up", kKeyUp, kShift, 0, -1, "gain knob one row up / down"},
    {"shift+down", kKeyDown, kShift, 0, 1, nullptr},
    {"m", 'M', 0, Mute, 0, "Mute, Bypass"},
    {"b", 'B', 0, Bypass, 0, nullptr},
    {"ctrl+s", 'S', kControl, Save, 0, "Save"},
    {"f1", kKeyF1, 0, About, 0, "About"},
    {"ctrl+q", 'Q', kControl, Power, 0, "Power"},
};

}  // namespace

std::span<const PanelKey> panelKeys() {
  return kPanelKeys;
}

const PanelKey* panelKeyNamed(std::string_view name) {
  for (const PanelKey& k : kPanelKeys) {
    const std::string_view known(k.name);
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(name[i])) == known[i];
    if (same) return &k;
  }
  return nullptr;
}

std::string panelKeyHelp(std::size_t column) {
  std::string text, names;
  const auto endGroup = [&](const char* help) {
    if (names.empty()) return;
    text.append("  ").append(names);
    text.append(std::max<std::size_t>(2, column > names.size() + 2 ? column - names.size() - 2 : 0),
                ' ');
    text.append(help).push_back('\n');
    names.clear();
  };
  const char* help = nullptr;
  for (const PanelKey& k : kPanelKeys) {
    if (k.help != nullptr) {
      endGroup(help);
      help = k.help;
    }
    if (!names.empty()) names.push_back(' ');
    names.append(k.name);
  }
  endGroup(help);
  return text;
}
