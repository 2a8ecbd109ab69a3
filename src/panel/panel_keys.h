// The keyboard: each key the panel knows stands for one control and acts
// exactly as pressing and releasing that control with the pen; the arrow keys
// up and down move the gain knob as a drag would. Window thread only.
// (The table of keys is in panel_keys.cpp.)
#pragma once

#include <cstdint>

#include "platform/window.h"

// Acts on one key press; keys the panel does not know do nothing.
void pressKey(WindowHandle window, std::uint32_t code, std::uint32_t modifiers);
