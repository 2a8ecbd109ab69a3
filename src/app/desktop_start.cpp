#include "app/desktop_start.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/preset_folder.h"
#include "app/recorder.h"
#include "app/sound_backend.h"
#include "platform/exit_status.h"
#include "platform/version.h"
#include "platform/wave_audio.h"
#include "remote/remote_client.h"

namespace {

struct Direction {
  int isCapture;
  const char* label;  // as --list-devices prints it
  const char* option;
};
constexpr Direction kInput{1, "input", "--input"};
constexpr Direction kOutput{0, "output", "--output"};

std::vector<std::string> deviceNames(const Direction& d) {
  std::vector<std::string> names;
  const int n = waveDeviceCount(d.isCapture);
  for (int i = 0; i < n; ++i)
    if (const char* name = waveDeviceName(d.isCapture, i)) names.emplace_back(name);
  return names;
}

std::string listing(const Direction& d) {
  std::string text;
  for (const std::string& name : deviceNames(d)) text += std::string(d.label) + ": " + name + "\n";
  return text;
}

// The full name for `wanted`, or false after one line on standard error that
// says why and lists the devices of that direction.
bool resolveDevice(const Direction& d, const std::string& wanted, std::string& chosen) {
  if (wanted.empty()) return true;
  const std::vector<std::string> names = deviceNames(d);
  const int found = matchDevice(names, wanted, chosen);
  if (found == kDeviceFound) return true;
  std::string known;
  for (const std::string& n : names) known += (known.empty() ? "'" : ", '") + n + "'";
  std::fprintf(stderr, "zephyrix: %s '%s' %s; the %s devices are: %s\n", d.option, wanted.c_str(),
               found == kDeviceAmbiguous ? "matches more than one device" : "matches no device",
               d.label, known.empty() ? "(none)" : known.c_str());
  return false;
}

}  // namespace

int runFromCommandLine(int argc, char** argv) {
  CommandLine line;
  std::string error;
  if (!parseCommandLine(argc, argv, line, error)) {
    std::fprintf(stderr, "zephyrix: %s (see zephyrix --help)\n", error.c_str());
    return kExitUsage;
  }
  if (line.help) {
    std::fputs(commandLineHelp().c_str(), stdout);
    return kExitDone;
  }
  if (line.version) {
    std::printf("Zephyrix %s\n", kZephyrixVersion);
    return kExitDone;
  }
  if (line.send) return sendKeysToUnit(line.keys);
  if (line.status) return printUnitStatus(line.json);
  if (line.watch) return watchUnitStatus(line.json);
  const int backend = chooseSoundBackend(line.asMicrophone, line.listen);
  if (backend == kBackendUnknown) return kExitUsage;
  if (backend != kBackendChosen) return kExitCannotStart;
  if (line.listDevices) {
    std::fputs((listing(kInput) + listing(kOutput)).c_str(), stdout);
    return kExitDone;
  }
  std::string input, output;
  if (!resolveDevice(kInput, line.input, input) || !resolveDevice(kOutput, line.output, output))
    return kExitUsage;
  chooseWaveDevices(input.c_str(), output.c_str());

  if (!line.record.empty()) {
    const int failed = openRecording(line.record.c_str());
    if (failed != 0) {
      std::fprintf(stderr, "zephyrix: cannot record to '%s': %s\n", line.record.c_str(),
                   std::strerror(failed));
      return kExitUsage;
    }
    startRecording();
  }
  choosePresetFolder();
  const int code = runZephyrix(line.midiFrom);
  stopRecording();
  return code;
}
