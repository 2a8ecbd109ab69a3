#include "state/settings_table.h"

#include <cmath>

bool isSettingValue(std::span<const SettingValue> values, std::int32_t value) {
  return settingLettering(values, value) != nullptr;
}

const char* settingLettering(std::span<const SettingValue> values, std::int32_t value) {
  for (const SettingValue& v : values)
    if (v.value == value) return v.lettering;
  return nullptr;
}

std::int32_t settingStepUp(std::span<const SettingValue> values, std::int32_t value) {
  for (std::size_t i = 0; i + 1 < values.size(); ++i)
    if (values[i].value == value) return values[i + 1].value;
  return value;
}

std::int32_t settingStepDown(std::span<const SettingValue> values, std::int32_t value) {
  for (std::size_t i = 1; i < values.size(); ++i)
    if (values[i].value == value) return values[i - 1].value;
  return value;
}

bool isGainInRange(float gain) {
  return std::isfinite(gain) && gain >= kGainRange.low && gain <= kGainRange.high;
}
