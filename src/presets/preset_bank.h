// The bank of ten presets and the number of the current one.
#pragma once

#include <cstdint>

struct PresetBank {
  std::int32_t presetIndex;
  std::int32_t presetParams[10][10];
  std::uint8_t presetPatterns[10][16];
  std::uint8_t presetGains[10][8];
};

extern PresetBank presetBank;
