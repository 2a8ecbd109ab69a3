// The command line of zephyrix-render.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "state/effect_settings.h"
#include "state/settings_table.h"

constexpr int kCurrentPreset = -1;

struct RenderOptions {
  int profile = 0;  // index into audioProfiles, from --rate
  // Settings given on the command line; unset ones come from the preset, or are off.
  std::optional<std::int32_t> words[kWordSettingCount];                 // by PresetWord
  std::optional<std::array<std::uint8_t, kSlicerSteps>> slicerPattern;  // also turns the slicer on
  std::optional<float> gain;                                            // within kGainRange
  double tailSeconds = 0.0;          // silence rendered after the input, 0 ... kMaxTailSeconds
  std::string presetsPath;           // empty: no preset file
  int presetIndex = kCurrentPreset;  // 0 ... 9, or the file's current preset
  std::string input;
  std::string output;
};

constexpr double kMaxTailSeconds = 3600.0;

enum ParseResult {
  kParseRun,
  kParseHelp,
  kParseVersion,
  kParseError,  // `error` says why
};

ParseResult parseRenderOptions(int argc, const char* const* argv, RenderOptions& options,
                               std::string& error);

// The --help text.
const char* renderUsage();
