// The 40 commands of the panel's buttons: what a pen-down and pen-up on the same
// control does to the live settings, the presets and the drawing.
#pragma once

#include <cstdint>

#include "platform/window.h"

// The About box's text. Its caption, and that of every other box the panel
// shows, is the window's title (kZephyrixTitle).
extern const char kAboutText[];

// Runs the command of button id 1 ... 40; any other id does nothing.
void runCommand(WindowHandle window, std::int32_t buttonId);
