#include "render/render_options.h"

#include <csignal>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_options.h"
#include "platform/exit_status.h"
#include "render/option_values.h"
#include "state/audio_profile.h"

namespace {

// What an option does with its value.
enum class Action { Rate, Word, Pattern, Gain, Presets, Preset, Tail, Help, Version };

// One option: how it is spelled and helped, what a value must be, what it does.
struct RenderOption {
  std::string name;
  char shortName;
  std::string argument;  // the value as --help shows it; empty for a switch
  std::string expected;  // what a value must be, for error messages
  std::string help;
  Action action;
  int word;  // Action::Word: the setting, by PresetWord
};

std::string joined(std::span<const SettingValue> values, bool lettered, const char* between) {
  std::string text;
  for (const SettingValue& v : values) {
    if (!text.empty()) text += between;
    text += lettered ? v.lettering : std::to_string(v.value);
  }
  return text;
}

std::string rates(const char* between) {
  std::string text;
  for (const AudioProfile& p : audioProfiles)
    text += (text.empty() ? "" : between) + std::to_string(p.sampleRate);
  return text;
}

// A setting of the table as an option: a switch turns it on, any other takes
// one of its values, lettered as on the panel or as the number.
RenderOption settingOption(int word) {
  const WordSetting& s = kWordSettings[word];
  if (s.values.size() == std::size(kSwitchValues))
    return {s.name, 0, "", "", s.meaning, Action::Word, word};
  return {s.name,
          0,
          joined(s.values, true, "|"),
          joined(s.values, true, ", ") + " or " + joined(s.values, false, ", "),
          std::string(s.meaning) + " (also as " + joined(s.values, false, "|") + ")",
          Action::Word,
          word};
}

std::vector<RenderOption> makeOptions() {
  std::vector<RenderOption> o;
  o.push_back({"rate", 0, rates("|"), rates(", "),
               "audio profile and output rate (default " +
                   std::to_string(audioProfiles[0].sampleRate) + ")",
               Action::Rate, 0});
  for (int w = 0; w < kWordSettingCount; ++w) {
    if (w == kWordMuteOn) continue;  // the renderer always plays
    if (w == kWordSlicerOn) {
      o.push_back({"slicer", 0, "PATTERN", "16 characters of 0 and 1, or of . and x",
                   "slicer on; 16 steps of 0 and 1 (or . and x),\n1 (or x) silences the step",
                   Action::Pattern, w});
      continue;
    }
    o.push_back(settingOption(w));
  }
  const std::string low = std::to_string(static_cast<int>(kGainRange.low));
  const std::string high = std::to_string(static_cast<int>(kGainRange.high));
  o.push_back({"gain", 0, "G", "a number from " + low + " to " + high,
               "output gain from " + low + " to " + high + " (default 1)", Action::Gain, 0});
  o.push_back({"presets", 0, "FILE", "a file name", "take the settings from a preset file ...",
               Action::Presets, 0});
  o.push_back({"preset", 0, "N|current", "1 to 10, 0 for the tenth, or current",
               "... its preset N (1 to 10 as lettered on the\n"
               "panel, 0 for the tenth) or its current one (the\n"
               "default); options given as well override it",
               Action::Preset, 0});
  const std::string longest = std::to_string(static_cast<int>(kMaxTailSeconds));
  o.push_back({"tail", 0, "SECONDS", "seconds, from 0 to " + longest,
               "render this much silence after the input (default 0)", Action::Tail, 0});
  o.push_back({"help", 'h', "", "", "this text", Action::Help, 0});
  o.push_back({"version", 'V', "", "", "the version", Action::Version, 0});
  return o;
}

const std::vector<RenderOption>& renderOptions() {
  static const std::vector<RenderOption> options = makeOptions();
  return options;
}

// The table as the command-line parser takes it; it points into renderOptions().
const std::vector<CommandOption>& commandOptions() {
  static const std::vector<CommandOption> table = [] {
    std::vector<CommandOption> t;
    for (const RenderOption& o : renderOptions())
      t.push_back({o.name.c_str(), o.shortName, o.argument.empty() ? nullptr : o.argument.c_str(),
                   o.help.c_str()});
    return t;
  }();
  return table;
}

// Takes the value of one option into `r`; false for a value it does not take.
bool takeValue(const RenderOption& o, const char* v, RenderOptions& r, bool& help, bool& version) {
  switch (o.action) {
    case Action::Rate:
      return parseRate(v, r.profile);
    case Action::Word: {
      if (v == nullptr) {
        r.words[o.word] = 1;
        return true;
      }
      std::int32_t value = 0;
      if (!parseSettingValue(kWordSettings[o.word].values, v, value)) return false;
      r.words[o.word] = value;
      return true;
    }
    case Action::Pattern: {
      std::array<std::uint8_t, kSlicerSteps> pattern{};
      if (!parsePattern(v, pattern)) return false;
      r.slicerPattern = pattern;
      return true;
    }
    case Action::Gain: {
      double d = 0.0;
      if (!parseNumber(v, kGainRange.low, kGainRange.high, d)) return false;
      r.gain = static_cast<float>(d);
      return true;
    }
    case Action::Presets:
      r.presetsPath = v;
      return *v != '\0';
    case Action::Preset:
      return parsePreset(v, r.presetIndex);
    case Action::Tail:
      return parseNumber(v, 0.0, kMaxTailSeconds, r.tailSeconds);
    case Action::Help:
      help = true;
      return true;
    case Action::Version:
      version = true;
      return true;
  }
  return false;
}

constexpr const char* kUsageHead = R"(Usage: zephyrix-render [options] INPUT OUTPUT

Runs the unit's own effects chain over a sound file. INPUT is any file libsndfile
reads (WAV, FLAC, Ogg ...) at 1000 to 768000 Hz; its channels are averaged to
mono and it is converted to the chosen rate and to 16-bit samples (a mono 16-bit
file already at that rate is taken sample for sample). OUTPUT is a 16-bit mono
WAV file at that rate with as many samples as the input, plus the tail. The
input is cut into the blocks the unit exchanges with its devices, and each
rendered block is exactly what the live unit plays two blocks later, without
that latency.

Settings (everything is off unless given; mute is ignored):
)";

constexpr const char* kUsageOptions = R"(
Options may come before or after the file names, values after a space or an =
(--echo=1S); long names may be shortened to any unique start (--rev).
)";

constexpr const char* kUsageExample = R"(
Example:
  zephyrix-render --echo 1/2S --flanger --slicer 1010101011111111 --gain 1.5 \
      --tail 2 voice.flac voice-fx.wav
)";

constexpr std::size_t kHelpColumn = 29;
constexpr std::size_t kHelpWidth = 80;

std::string exitText(int code) {
  for (const ExitStatus& s : kRenderExits)
    if (s.code == code) return std::to_string(code) + " " + s.meaning;
  return std::to_string(code);
}

// Errors, exit statuses, interrupts and the progress bar: one paragraph.
std::string usageErrors() {
  return wrappedText(
      "Errors are reported in one line on standard error; the exit code is " +
          exitText(kRenderExitUsage) + " and " + exitText(kRenderExitFiles) +
          ". The output is written to a temporary file beside it and renamed at the end, so a "
          "failed render leaves nothing behind. Ctrl+C (SIGINT), SIGTERM and SIGHUP end a render "
          "at once, also while it waits for its input, with the exit code " +
          std::to_string(kExitSignalBase) + " + the signal's number (" +
          std::to_string(kExitSignalBase + SIGINT) +
          " for Ctrl+C); the temporary file is removed and OUTPUT is left as it was. A progress "
          "bar is shown on standard error when it is a terminal and the input is longer than a "
          "few seconds.",
      kHelpWidth);
}

std::string makeUsage() {
  const std::vector<CommandOption>& table = commandOptions();
  // The settings, then a blank line, then --help and --version.
  const std::size_t settings = table.size() - 2;
  return kUsageHead + commandOptionsHelp(std::span(table).first(settings), kHelpColumn) + "\n" +
         commandOptionsHelp(std::span(table).subspan(settings), kHelpColumn) + kUsageOptions +
         usageErrors() + kUsageExample;
}

}  // namespace

ParseResult parseRenderOptions(int argc, const char* const* argv, RenderOptions& o,
                               std::string& error) {
  o = RenderOptions{};
  bool help = false, version = false, presetGiven = false;
  const auto take = [&](int k, const char* value, std::string& why) {
    const RenderOption& option = renderOptions()[k];
    presetGiven = presetGiven || option.action == Action::Preset;
    if (takeValue(option, value, o, help, version)) return true;
    why = "bad value '" + std::string(value) + "' for --" + option.name + ": expected " +
          option.expected;
    return false;
  };
  std::vector<std::string> files;
  if (!parseCommandOptions(argc, argv, commandOptions(), take, files, error)) return kParseError;
  if (help) return kParseHelp;
  if (version) return kParseVersion;
  if (presetGiven && o.presetsPath.empty()) {
    error = "--preset needs a preset file: --presets FILE";
    return kParseError;
  }
  if (files.size() != 2) {
    error = files.empty()       ? "no INPUT and OUTPUT given"
            : files.size() == 1 ? "no OUTPUT given"
                                : "unexpected argument '" + files[2] + "'";
    return kParseError;
  }
  o.input = files[0];
  o.output = files[1];
  return kParseRun;
}

const char* renderUsage() {
  static const std::string usage = makeUsage();
  return usage.c_str();
}
