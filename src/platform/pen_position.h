// The pen's position as one message word: x in bits 0-15, y in bits 16-31, each
// an unsigned 16-bit half, so a negative coordinate arrives as a large number
// (-1 as 65535). The window packs it; the panel unpacks it.
#pragma once

#include <cstdint>

constexpr std::uint32_t packPenPosition(int x, int y) {
  return static_cast<std::uint32_t>(static_cast<std::uint16_t>(x)) |
         static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16;
}

constexpr std::int32_t penX(std::uint32_t position) {
  return static_cast<std::int32_t>(position & 0xFFFF);
}

constexpr std::int32_t penY(std::uint32_t position) {
  return static_cast<std::int32_t>(position >> 16);
}
