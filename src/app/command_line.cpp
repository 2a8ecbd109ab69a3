#include "app/command_line.h"

#include "panel/panel_keys.h"
#include "platform/command_options.h"
#include "platform/exit_status.h"
#include "remote/status_json.h"
#include "remote/unit_status.h"

namespace {

enum OptionId {
  ListDevices,
  Input,
  Output,
  Record,
  AsMicrophone,
  Listen,
  MidiFrom,
  Send,
  Status,
  Watch,
  Json,
  Help,
  Version
};

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
    {"midi-from", 0, "NAME",
     "link this MIDI source (a node's name or description, or a port's\n"
     "name or alias) to the unit's MIDI input, now and whenever it\n"
     "appears again (PipeWire)"},
    {"send", 0, nullptr,
     "press the keys named after it (below) in the unit that runs, as if\n"
     "typed into its window, then exit"},
    {"status", 0, nullptr, "print the running unit's settings on one line, then exit"},
    {"watch", 0, nullptr,
     "print the status, then a line at each change, until the unit\n"
     "ends"},
    {"json", 0, nullptr, "with --status or --watch: print JSON objects instead (below)"},
    {"help", 'h', nullptr, "show this help, then exit"},
    {"version", 'V', nullptr, "show the version, then exit"},
};
constexpr std::size_t kHelpColumn = 24;
constexpr std::size_t kHelpWidth = 78;  // the closing paragraphs' lines

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
    case MidiFrom:
      line.midiFrom = value;
      break;
    case Send:
      line.send = true;
      break;
    case Status:
      line.status = true;
      break;
    case Watch:
      line.watch = true;
      break;
    case Json:
      line.json = true;
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

}  // namespace

bool parseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
  std::vector<std::string> operands;
  const auto take = [&](int id, const char* value, std::string& why) {
    return takeOption(line, id, value, why);
  };
  if (!parseCommandOptions(argc, argv, kOptions, take, operands, error)) return false;
  if (line.send) {
    line.keys.kind = RemoteSend;
    for (const std::string& key : operands)
      if (!addRequestKey(line.keys, key, error)) return false;
    if (line.keys.keyCount == 0) {
      error = "--send needs the names of keys";
      return false;
    }
  } else if (!operands.empty()) {
    error = "unexpected argument '" + operands.front() + "'";
    return false;
  }
  if (int(line.send) + int(line.status) + int(line.watch) > 1) {
    error = "--send, --status and --watch go one at a time";
    return false;
  }
  if (line.json && !line.status && !line.watch) {
    error = "--json goes with --status or --watch";
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
      "       zephyrix --send KEY... | --status [--json] | --watch [--json]\n"
      "Zephyrix, a real-time voice effects unit: it records the microphone, runs\n"
      "every 125 ms block through its effects and plays the result. It starts muted.\n"
      "\nOptions:\n" +
      commandOptionsHelp(kOptions, kHelpColumn);
  text += "\nKeys (while the panel has the focus, or with --send):\n" + panelKeyHelp(kHelpColumn);
  text +=
      "\nPresets are kept in PresetFile.KDX in the directory it is started from; started\n"
      "in the home folder (from the desktop's menu), in $XDG_DATA_HOME/zephyrix\n"
      "(~/.local/share/zephyrix) instead.\n"
      "Where a PipeWire server answers, the unit talks to it directly; elsewhere\n"
      "through SDL (PulseAudio, ALSA). ZEPHYRIX_AUDIO=native or sdl chooses.\n";
  text += wrappedText("Exit status: " + exitStatusList(kUnitExits) + ".", kHelpWidth);
  text += wrappedText("With --send, --status and --watch: " + exitStatusList(kRemoteExits) + ".",
                      kHelpWidth);
  text +=
      wrappedText("--status prints: " + unitStatusForm() + ", " + unitStatusLegend(), kHelpWidth);
  text += wrappedText("--json prints the same as one JSON object a line: " + statusJsonLegend(),
                      kHelpWidth);
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
