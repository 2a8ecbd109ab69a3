#include "panel/button_table.h"

std::int32_t hitTest(std::int32_t x, std::int32_t y) {
  std::int32_t result = NoButton;
  for (std::int32_t i = 0; i < kButtonCount; ++i) {
    const ButtonRect& r = buttonTable[i];
    if (x > r.x && y > r.y && x < r.x + r.w && y < r.y + r.h) result = i + 1;
  }
  return result;
}
