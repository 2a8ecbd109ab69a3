#include "app/command_line.h"

#include "platform/command_options.h"

namespace {

enum OptionId { ListDevices, Input, Output, Record, AsMicrophone, Listen, Help, Version };

// In OptionId order.
constexpr CommandOption kOptions[] = {
    {"list-devices", 0, nullptr, "list the capture and playback devices, then exit"},
    {"input", 0, "NAME", "record from this device (its name, or a part of one name)"},
    {"output", 0, "NAME", "play on this device (its name, or a part of one name)"},
    {"record", 0, "FILE", "also write what is played to FILE (16-bit mono WAV)"},
    {"as-microphone", 0, nullptr,
     "be a microphone: play into a source node \"Zephyrix\" that call,\n"
     "browser and recording programs list as a microphone, for as\n"
     "long as the unit runs, instead of into the speaker (PipeWire)"},
    {"listen", 0, nullptr, "with --as-microphone: the speaker plays the same sound"},
    {"help", 'h', nullptr, "show this help, then exit"},
    {"version", 'V', nullptr, "show the version, then exit"},
};
constexpr std::size_t kHelpColumn = 24;

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

bool takeOption(CommandLine& line, int id, const char* value, std::string& error) {
  // A device or file named by nothing is as good as none given.
  if (value != nullptr && *value == '\0') {
    error = std::string("--") + kOptions[id].name + " needs a " + kOptions[id].argument;
    return false;
  }
  switch (id) {
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
    case AsMicrophone:
      line.asMicrophone = true;
      break;
    case Listen:
      line.listen = true;
      break;
    case Help:
      line.help = true;
      break;
    case Version:
      line.version = true;
      break;
  }
  return true;
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

bool parseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
  std::vector<std::string> operands;
  const auto take = [&](int id, const char* value, std::string& why) {
    return takeOption(line, id, value, why);
  };
  if (!parseCommandOptions(argc, argv, kOptions, take, operands, error)) return false;
  if (!operands.empty()) {
    error = "unexpected argument '" + operands.front() + "'";
    return false;
  }
  if (line.listen && !line.asMicrophone) {
    error = "--listen goes with --as-microphone";
    return false;
  }
  return true;
}

std::string commandLineHelp() {
  std::string text =
      "Usage: zephyrix [options]\n"
      "Zephyrix, a real-time voice effects unit: it records the microphone, runs\n"
      "every 125 ms block through its effects and plays the result. It starts muted.\n"
      "\nOptions:\n" +
      commandOptionsHelp(kOptions, kHelpColumn);
  text += "\nKeys (while the panel has the focus):\n";
  for (const auto& k : kKeyHelp) text += "  " + padded(k[0], kHelpColumn - 2) + k[1] + "\n";
  text +=
      "\nPresets are kept in PresetFile.KDX in the directory it is started from.\n"
      "Where a PipeWire server answers, the unit talks to it directly; elsewhere\n"
      "through SDL (PulseAudio, ALSA). ZEPHYRIX_AUDIO=native or sdl chooses.\n"
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
