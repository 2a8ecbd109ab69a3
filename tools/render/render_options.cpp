#include "render/render_options.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "render/option_values.h"

namespace {

// One option: how it is spelled, what it takes and what --help says of it.
struct Option {
  const char* name;
  const char* argument;  // the value as --help shows it; nullptr for a switch
  const char* expected;  // what a value must be, for error messages
  // Takes the value (nullptr for a switch) into the options; false for a bad value.
  bool (*take)(const char* value, RenderOptions& o);
  const char* help;  // one line per line of --help
  ParseResult ends;  // kParseRun, or what the option makes of the whole command line
};

template <bool RenderOptions::*setting>
bool turnOn(const char*, RenderOptions& o) {
  o.*setting = true;
  return true;
}

constexpr Option kOptions[] = {
    {"--rate", "32000|48000|44100", "32000, 48000 or 44100",
     [](const char* v, RenderOptions& o) { return parseRate(v, o.profile); },
     "audio profile and output rate (default 32000)", kParseRun},
    {"--echo", "OFF|1/4S|1/2S|1S|2S", "OFF, 1/4S, 1/2S, 1S, 2S or 0, 1, 2, 4, 8",
     [](const char* v, RenderOptions& o) {
       std::int32_t e = 0;
       if (!parseEcho(v, e)) return false;
       o.echoBlocks = e;
       return true;
     },
     "feedback echo delay, or the block count 0|1|2|4|8", kParseRun},
    {"--flanger", nullptr, nullptr, turnOn<&RenderOptions::flanger>, "both flanger combs on",
     kParseRun},
    {"--reverse", nullptr, nullptr, turnOn<&RenderOptions::reverse>, "reverse on", kParseRun},
    {"--slicer", "PATTERN", "16 characters of 0 and 1, or of . and x",
     [](const char* v, RenderOptions& o) {
       std::array<std::uint8_t, kSlicerSteps> pattern{};
       if (!parsePattern(v, pattern)) return false;
       o.slicerPattern = pattern;
       return true;
     },
     "slicer on; 16 steps of 0 and 1 (or . and x),\n1 (or x) silences the step", kParseRun},
    {"--downsample", "OFF|2|4|8", "OFF, 2, 4 or 8",
     [](const char* v, RenderOptions& o) {
       std::int32_t f = 0;
       if (!parseDownsample(v, f)) return false;
       o.downsampleFactor = f;
       return true;
     },
     "sample-and-hold downsampler factor", kParseRun},
    {"--gain", "G", "a number from 0 to 4",
     [](const char* v, RenderOptions& o) {
       double d = 0.0;
       if (!parseNumber(v, 0.0, 4.0, d)) return false;
       o.gain = static_cast<float>(d);
       return true;
     },
     "output gain from 0 to 4 (default 1)", kParseRun},
    {"--bypass", nullptr, nullptr, turnOn<&RenderOptions::bypass>,
     "dry input straight to the output", kParseRun},
    {"--presets", "FILE", "a file name",
     [](const char* v, RenderOptions& o) {
       if (*v == '\0') return false;
       o.presetsPath = v;
       return true;
     },
     "take the settings from a preset file ...", kParseRun},
    {"--preset", "N|current", "1 to 10, 0 for the tenth, or current",
     [](const char* v, RenderOptions& o) { return parsePreset(v, o.presetIndex); },
     "... its preset N (1 to 10 as lettered on the\n"
     "panel, 0 for the tenth) or its current one (the\n"
     "default); options given as well override it",
     kParseRun},
    {"--tail", "SECONDS", "seconds, from 0 to 3600",
     [](const char* v, RenderOptions& o) {
       return parseNumber(v, 0.0, kMaxTailSeconds, o.tailSeconds);
     },
     "render this much silence after the input (default 0)", kParseRun},
    {"--help", nullptr, nullptr, nullptr, "this text", kParseHelp},
    {"--version", nullptr, nullptr, nullptr, "the version", kParseVersion},
};
constexpr std::string_view kHelpShortName = "-h";

const Option* findOption(std::string_view name) {
  for (const Option& option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

// Where the file names go, in order; false when both are taken already.
bool takeFileName(const char* arg, RenderOptions& o, int& files) {
  if (files == 2) return false;
  (files == 0 ? o.input : o.output) = arg;
  ++files;
  return true;
}

struct Parse {
  const char* const* argv;
  int argc;
  int at;  // the argument being looked at
  RenderOptions& o;
  std::string& error;
  const Option* taken;  // the option last taken
};

// One option from argv[p.at] (and its value from the next argument); kParseRun
// to go on.
ParseResult takeOption(Parse& p) {
  const std::string_view arg(p.argv[p.at]);
  if (arg == kHelpShortName) return kParseHelp;
  const Option* whole = findOption(arg);
  if (whole != nullptr && whole->argument == nullptr) {
    if (whole->ends != kParseRun) return whole->ends;
    whole->take(nullptr, p.o);
    p.taken = whole;
    return kParseRun;
  }
  // --name VALUE or --name=VALUE
  const std::size_t equals = arg.find('=');
  const std::string name(arg.substr(0, equals));
  const Option* option = findOption(name);
  if (option == nullptr || option->argument == nullptr) {
    p.error = "unknown option '" + name + "'";
    return kParseError;
  }
  const char* value = nullptr;
  if (equals != std::string_view::npos)
    value = p.argv[p.at] + equals + 1;
  else if (p.at + 1 < p.argc)
    value = p.argv[++p.at];
  if (value == nullptr) {
    p.error = name + " needs a value: " + option->expected;
    return kParseError;
  }
  if (!option->take(value, p.o)) {
    p.error =
        "bad value '" + std::string(value) + "' for " + name + ": expected " + option->expected;
    return kParseError;
  }
  p.taken = option;
  return kParseRun;
}

bool isOption(std::string_view arg) {
  return arg.size() >= 2 && arg[0] == '-';
}

// Lines of --help for one option: its spelling, then its help beside it in a
// column of its own.
constexpr std::size_t kHelpColumn = 29;

void appendHelp(std::string& text, const Option& option) {
  std::string left = std::string("  ") + option.name;
  if (option.argument != nullptr) left += std::string(" ") + option.argument;
  left.resize(std::max(left.size() + 1, kHelpColumn), ' ');
  std::string_view help(option.help);
  for (std::size_t end; (end = help.find('\n')) != std::string_view::npos;) {
    text += left;
    text.append(help.substr(0, end)).push_back('\n');
    help.remove_prefix(end + 1);
    left.assign(kHelpColumn, ' ');
  }
  text += left;
  text.append(help).push_back('\n');
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

constexpr const char* kUsageTail = R"(
Errors are reported in one line on standard error; the exit code is 2 for a bad
command line and 1 when a file cannot be read or written. The output is written
to a temporary file beside it and renamed at the end, so a failed render leaves
nothing behind. Ctrl+C (SIGINT), SIGTERM and SIGHUP end a render at once, also
while it waits for its input, with the exit code 128 + the signal's number (130
for Ctrl+C); the temporary file is removed and OUTPUT is left as it was. A
progress bar is shown on standard error when it is a terminal and the input is
longer than a few seconds.

Example:
  zephyrix-render --echo 1/2S --flanger --slicer 1010101011111111 --gain 1.5 \
      --tail 2 voice.flac voice-fx.wav
)";

std::string makeUsage() {
  std::string text = kUsageHead;
  bool settings = true;
  for (const Option& option : kOptions) {
    if (settings && option.ends != kParseRun) text.push_back('\n');  // then --help and such
    settings = option.ends == kParseRun;
    appendHelp(text, option);
  }
  return text + kUsageTail;
}

}  // namespace

ParseResult parseRenderOptions(int argc, const char* const* argv, RenderOptions& o,
                               std::string& error) {
  o = RenderOptions{};
  Parse p{argv, argc, 1, o, error, nullptr};
  bool presetGiven = false;
  bool optionsEnded = false;
  int files = 0;
  for (; p.at < argc; ++p.at) {
    const std::string_view arg(argv[p.at]);
    if (optionsEnded || !isOption(arg)) {
      if (!takeFileName(argv[p.at], o, files)) {
        error = "unexpected argument '" + std::string(arg) + "'";
        return kParseError;
      }
    } else if (arg == "--") {
      optionsEnded = true;
    } else {
      const ParseResult r = takeOption(p);
      if (r != kParseRun) return r;
      presetGiven = presetGiven || std::string_view(p.taken->name) == "--preset";
    }
  }
  if (presetGiven && o.presetsPath.empty()) {
    error = "--preset needs a preset file: --presets FILE";
    return kParseError;
  }
  if (files < 2) {
    error = files == 0 ? "no INPUT and OUTPUT given" : "no OUTPUT given";
    return kParseError;
  }
  return kParseRun;
}

const char* renderUsage() {
  static const std::string usage = makeUsage();
  return usage.c_str();
}
