// The keyboard: each key the panel knows stands for one control and acts
// exactly as pressing and releasing that control with the pen; the arrow keys
// up and down move the gain knob as a drag would. Window thread only.
#pragma once

#include <cstdint>

#include "platform/window.h"

// What a key does.
struct PanelKey {
  std::uint32_t code;       // kMsgKeyDown's key code
  std::uint32_t modifiers;  // kKeyShift / kKeyControl that must be held (others must not be)
  std::int32_t buttonId;    // the control it presses, or 0 for a knob move
  std::int32_t knobRows;    // knob move in rows, negative upwards (towards x4)
};

extern const PanelKey panelKeys[];
extern const int panelKeyCount;

// Acts on one key press; keys the panel does not know do nothing.
void pressKey(WindowHandle window, std::uint32_t code, std::uint32_t modifiers);
