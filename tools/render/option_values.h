// The values the options of zephyrix-render take. Each parser returns false for
// a value it does not take.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "state/effect_settings.h"
#include "state/settings_table.h"

// One of the setting's values, by its lettering in any case (1/2S, x4) or as
// the number (2, 4).
bool parseSettingValue(std::span<const SettingValue> values, std::string_view v, std::int32_t& out);

// kSlicerSteps steps of 0 and 1, or of . and x; 1 and x silence a step.
bool parsePattern(std::string_view v, std::array<std::uint8_t, kSlicerSteps>& out);

// A finite number from `low` to `high`, nothing after it.
bool parseNumber(const char* v, double low, double high, double& out);

// One of the profiles' rates, as the index of its profile.
bool parseRate(std::string_view v, int& profile);

// A preset button's lettering, 1 to 9 and 0 (or 10) for the tenth, as the
// preset's index; or "current" for kCurrentPreset.
bool parsePreset(std::string_view v, int& index);
