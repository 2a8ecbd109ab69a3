// The values the options of zephyrix-render take. Each parser returns false for
// a value it does not take.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "state/effect_settings.h"

// OFF, 1/4S, 1/2S, 1S, 2S in any case, or the block count 0, 1, 2, 4, 8.
bool parseEcho(std::string_view v, std::int32_t& out);

// OFF or 0, or 2, 4, 8 with an optional x.
bool parseDownsample(std::string_view v, std::int32_t& out);

// kSlicerSteps steps of 0 and 1, or of . and x; 1 and x silence a step.
bool parsePattern(std::string_view v, std::array<std::uint8_t, kSlicerSteps>& out);

// A finite number from `low` to `high`, nothing after it.
bool parseNumber(const char* v, double low, double high, double& out);

// One of the profiles' rates, as the index of its profile.
bool parseRate(std::string_view v, int& profile);

// A preset button's lettering, 1 to 9 and 0 (or 10) for the tenth, as the
// preset's index; or "current" for kCurrentPreset.
bool parsePreset(std::string_view v, int& index);
