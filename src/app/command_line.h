// The zephyrix command line: every option is optional, and without any the
// unit starts as it always has, on the default devices.
#pragma once

#include <string>
#include <vector>

#include "remote/remote_request.h"

struct CommandLine {
  bool help = false;
  bool version = false;
  bool listDevices = false;
  std::string input;          // capture device name or part of one; empty for the default
  std::string output;         // playback device name or part of one
  std::string record;         // WAV file to record what is played into; empty for none
  bool asMicrophone = false;  // play into a source node of our own instead of the speaker
  bool listen = false;        // with asMicrophone: the speaker plays it too
  std::string midiFrom;       // MIDI source to link to the unit's MIDI input; empty for none
  bool send = false;          // press `keys` in the running unit
  bool status = false;        // print the running unit's state
  bool watch = false;         // print it at each change, until the unit ends
  bool json = false;          // with status or watch: as JSON
  RemoteRequest keys{};       // with send: the keys named, each checked
};

// Reads argv[1 ...]. False with one line in *error for an unknown option, a
// missing value, an operand (but the keys of --send), a key the panel does not
// know or too many, --listen without --as-microphone, more than one of
// --send, --status and --watch, or --json without either of the last two.
bool parseCommandLine(int argc, char** argv, CommandLine& line, std::string& error);

// The --help text: options, keys, exit statuses and the status line's form.
std::string commandLineHelp();

constexpr int kDeviceFound = 0;
constexpr int kDeviceUnknown = 1;
constexpr int kDeviceAmbiguous = 2;

// Finds `wanted` among the device names: an exact name, or else a part of
// exactly one name. *chosen is the full name when found.
int matchDevice(const std::vector<std::string>& names, const std::string& wanted,
                std::string& chosen);
