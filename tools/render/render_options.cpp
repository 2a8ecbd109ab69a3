#include "render/render_options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "state/audio_profile.h"

namespace {

// Readout lettering and block counts of the delay selector.
struct EchoName {
  const char* lettering;
  const char* blocks;
  std::int32_t value;
};
constexpr EchoName kEchoNames[] = {
    {"OFF", "0", 0}, {"1/4S", "1", 1}, {"1/2S", "2", 2}, {"1S", "4", 4}, {"2S", "8", 8},
};

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool parseEcho(std::string_view v, std::int32_t& out) {
  for (const EchoName& e : kEchoNames)
    if (sameIgnoringCase(v, e.lettering) || v == e.blocks) {
      out = e.value;
      return true;
    }
  return false;
}

bool parseDownsample(std::string_view v, std::int32_t& out) {
  if (sameIgnoringCase(v, "OFF") || v == "0") {
    out = 0;
    return true;
  }
  if (v.size() == 2 && (v[0] == 'x' || v[0] == 'X')) v.remove_prefix(1);
  if (v == "2" || v == "4" || v == "8") {
    out = v[0] - '0';
    return true;
  }
  return false;
}

bool parsePattern(std::string_view v, std::array<std::uint8_t, kSlicerSteps>& out) {
  if (v.size() != kSlicerSteps) return false;
  for (int i = 0; i < kSlicerSteps; ++i) {
    if (v[i] == '1' || v[i] == 'x')
      out[i] = 1;
    else if (v[i] == '0' || v[i] == '.')
      out[i] = 0;
    else
      return false;
  }
  return true;
}

bool parseNumber(const char* v, double low, double high, double& out) {
  if (*v == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const double d = std::strtod(v, &end);
  if (*end != '\0' || errno != 0 || !std::isfinite(d) || d < low || d > high) return false;
  out = d;
  return true;
}

bool parseRate(std::string_view v, int& profile) {
  for (int p = 0; p < kAudioProfileCount; ++p)
    if (v == std::to_string(audioProfiles[p].sampleRate)) {
      profile = p;
      return true;
    }
  return false;
}

// Preset buttons are lettered 1 to 9 and 0; 10 is accepted for the tenth too.
bool parsePreset(std::string_view v, int& index) {
  if (v == "current") {
    index = kCurrentPreset;
    return true;
  }
  if (v.empty() || v.size() > 2 || v.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  const int n = std::atoi(std::string(v).c_str());
  if (n > 10) return false;
  index = n == 0 || n == 10 ? 9 : n - 1;
  return true;
}

const char* expected(std::string_view option) {
  if (option == "--rate") return "32000, 48000 or 44100";
  if (option == "--echo") return "OFF, 1/4S, 1/2S, 1S, 2S or 0, 1, 2, 4, 8";
  if (option == "--downsample") return "OFF, 2, 4 or 8";
  if (option == "--slicer") return "16 characters of 0 and 1, or of . and x";
  if (option == "--gain") return "a number from 0 to 4";
  if (option == "--tail") return "seconds, from 0 to 3600";
  if (option == "--preset") return "1 to 10, 0 for the tenth, or current";
  return "a file name";
}

// Takes the option's value; false with a bad value.
bool takeValue(std::string_view option, const char* value, RenderOptions& o) {
  std::string_view v(value);
  double d = 0.0;
  if (option == "--rate") return parseRate(v, o.profile);
  if (option == "--echo") {
    std::int32_t e = 0;
    if (!parseEcho(v, e)) return false;
    o.echoBlocks = e;
    return true;
  }
  if (option == "--downsample") {
    std::int32_t f = 0;
    if (!parseDownsample(v, f)) return false;
    o.downsampleFactor = f;
    return true;
  }
  if (option == "--slicer") {
    std::array<std::uint8_t, kSlicerSteps> pattern{};
    if (!parsePattern(v, pattern)) return false;
    o.slicerPattern = pattern;
    return true;
  }
  if (option == "--gain") {
    if (!parseNumber(value, 0.0, 4.0, d)) return false;
    o.gain = static_cast<float>(d);
    return true;
  }
  if (option == "--tail") {
    if (!parseNumber(value, 0.0, kMaxTailSeconds, d)) return false;
    o.tailSeconds = d;
    return true;
  }
  if (option == "--preset") return parsePreset(v, o.presetIndex);
  if (option == "--presets") {
    if (v.empty()) return false;
    o.presetsPath = value;
    return true;
  }
  return false;
}

bool takesValue(std::string_view option) {
  for (const char* name : {"--rate", "--echo", "--downsample", "--slicer", "--gain", "--tail",
                           "--preset", "--presets"})
    if (option == name) return true;
  return false;
}

}  // namespace

ParseResult parseRenderOptions(int argc, const char* const* argv, RenderOptions& o,
                               std::string& error) {
  o = RenderOptions{};
  bool presetGiven = false;
  bool optionsEnded = false;
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg == "-") {
      if (files == 0)
        o.input = argv[i];
      else if (files == 1)
        o.output = argv[i];
      else {
        error = "unexpected argument '" + std::string(arg) + "'";
        return kParseError;
      }
      ++files;
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") return kParseHelp;
    if (arg == "--version") return kParseVersion;
    if (arg == "--flanger") {
      o.flanger = true;
      continue;
    }
    if (arg == "--reverse") {
      o.reverse = true;
      continue;
    }
    if (arg == "--bypass") {
      o.bypass = true;
      continue;
    }
    // --name VALUE or --name=VALUE
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    if (!takesValue(name)) {
      error = "unknown option '" + std::string(name) + "'";
      return kParseError;
    }
    const char* value = nullptr;
    if (equals != std::string_view::npos)
      value = argv[i] + equals + 1;
    else if (i + 1 < argc)
      value = argv[++i];
    if (value == nullptr) {
      error = std::string(name) + " needs a value: " + expected(name);
      return kParseError;
    }
    if (!takeValue(name, value, o)) {
      error = "bad value '" + std::string(value) + "' for " + std::string(name) + ": expected " +
              expected(name);
      return kParseError;
    }
    if (name == "--preset") presetGiven = true;
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
  return R"(Usage: zephyrix-render [options] INPUT OUTPUT

Runs the unit's own effects chain over a sound file. INPUT is any file libsndfile
reads (WAV, FLAC, Ogg ...); its channels are averaged to mono and it is converted
to the chosen rate and to 16-bit samples (a mono 16-bit file already at that rate
is taken sample for sample). OUTPUT is a 16-bit mono WAV file at that rate with
as many samples as the input, plus the tail. The input is cut into the blocks the
unit exchanges with its devices, and each rendered block is exactly what the
live unit plays two blocks later, without that latency.

Settings (everything is off unless given; mute is ignored):
  --rate 32000|48000|44100   audio profile and output rate (default 32000)
  --echo OFF|1/4S|1/2S|1S|2S feedback echo delay, or the block count 0|1|2|4|8
  --flanger                  both flanger combs on
  --reverse                  reverse on
  --slicer PATTERN           slicer on; 16 steps of 0 and 1 (or . and x),
                             1 (or x) silences the step
  --downsample OFF|2|4|8     sample-and-hold downsampler factor
  --gain G                   output gain from 0 to 4 (default 1)
  --bypass                   dry input straight to the output
  --presets FILE             take the settings from a preset file ...
  --preset N|current         ... its preset N (1 to 10 as lettered on the
                             panel, 0 for the tenth) or its current one (the
                             default); options given as well override it
  --tail SECONDS             render this much silence after the input (default 0)

  --help                     this text
  --version                  the version

Errors are reported in one line on standard error; the exit code is 2 for a bad
command line and 1 when a file cannot be read or written. The output is written
to a temporary file beside it and renamed at the end, so a failed render leaves
nothing behind. A progress bar is shown on standard error when it is a terminal
and the input is longer than a few seconds.

Example:
  zephyrix-render --echo 1/2S --flanger --slicer 1010101011111111 --gain 1.5 \
      --tail 2 voice.flac voice-fx.wav
)";
}
