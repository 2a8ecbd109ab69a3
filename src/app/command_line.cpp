#include "app/command_line.h"

#include <cstring>

namespace {

enum OptionId { Help, Version, ListDevices, Input, Output, Record };

struct Option {
  OptionId id;
  const char* name;
  const char* value;  // the value's name in --help, or null for a switch
  const char* help;
};

constexpr Option kOptions[] = {
    {ListDevices, "--list-devices", nullptr, "list the capture and playback devices, then exit"},
    {Input, "--input", "NAME", "record from this device (its name, or a part of one name)"},
    {Output, "--output", "NAME", "play on this device (its name, or a part of one name)"},
    {Record, "--record", "FILE", "also write what is played to FILE (16-bit mono WAV)"},
    {Help, "--help", nullptr, "show this help, then exit"},
    {Version, "--version", nullptr, "show the version, then exit"},
};

// The keys, as the panel lists them (panel/panel_keys.cpp holds what they do).
constexpr const char* kKeyHelp[][2] = {
    {"1 ... 9, 0", "preset buttons 1 ... 10"},
    {"E  F  S  R", "Echo, Flanger, Slicer, Reverse"},
    {"D", "downsampler switch"},
    {"Right / Left", "delay + / -"},
    {"Shift+Right / Left", "downsampler + / -"},
    {"Up / Down", "gain knob six rows up / down (with Shift: one row)"},
    {"M  B", "Mute, Bypass"},
    {"Ctrl+S", "Save"},
    {"F1", "About"},
    {"Ctrl+Q", "Power"},
};

void setOption(CommandLine& line, OptionId id, const char* value) {
  switch (id) {
    case Help:
      line.help = true;
      break;
    case Version:
      line.version = true;
      break;
    case ListDevices:
      line.listDevices = true;
      break;
    case Input:
      line.input = value;
      break;
    case Output:
      line.output = value;
      break;
    case Record:
      line.record = value;
      break;
  }
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

bool parseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const Option* found = nullptr;
    for (const Option& o : kOptions)
      if (std::strcmp(arg, o.name) == 0) found = &o;
    if (found == nullptr) {
      error = arg[0] == '-' ? std::string("unknown option '") + arg + "'"
                            : std::string("unexpected argument '") + arg + "'";
      return false;
    }
    const char* value = nullptr;
    if (found->value != nullptr) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        error = std::string(found->name) + " needs a " + found->value;
        return false;
      }
      value = argv[++i];
    }
    setOption(line, found->id, value);
  }
  return true;
}

std::string commandLineHelp() {
  std::string text =
      "Usage: zephyrix [options]\n"
      "Zephyrix, a real-time voice effects unit: it records the microphone, runs\n"
      "every 125 ms block through its effects and plays the result. It starts muted.\n"
      "\nOptions:\n";
  for (const Option& o : kOptions) {
    const std::string left = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
    text += "  " + padded(left, 18) + "  " + o.help + "\n";
  }
  text += "\nKeys (while the panel has the focus):\n";
  for (const auto& k : kKeyHelp) text += "  " + padded(k[0], 18) + "  " + k[1] + "\n";
  text +=
      "\nPresets are kept in PresetFile.KDX in the directory it is started from.\n"
      "Exit status: 0 after Power, 1 when it cannot start, 2 for a bad command line.\n";
  return text;
}

int matchDevice(const std::vector<std::string>& names, const std::string& wanted,
                std::string& chosen) {
  for (const std::string& n : names)
    if (n == wanted) {
      chosen = n;
      return kDeviceFound;
    }
  int matches = 0;
  for (const std::string& n : names)
    if (n.find(wanted) != std::string::npos) {
      chosen = n;
      ++matches;
    }
  if (matches == 0) return kDeviceUnknown;
  return matches == 1 ? kDeviceFound : kDeviceAmbiguous;
}
