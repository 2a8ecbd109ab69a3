// The keyboard: each key the panel knows stands for one control and acts
// exactly as pressing and releasing that control with the pen; the arrow keys
// up and down move the gain knob as a drag would. Window thread only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/window.h"

// A key of the panel: how it is named (in the help texts and by `zephyrix
// --send`), the key message it is, and what it does.
struct PanelKey {
  const char* name;         // lower case, modifiers first: "e", "shift+right", "ctrl+s"
  std::uint32_t code;       // kMsgKeyDown's key code
  std::uint32_t modifiers;  // kKeyShift / kKeyControl that must be held (others must not be)
  std::int32_t buttonId;    // the control it presses, or 0 for a knob move
  std::int32_t knobRows;    // knob move in rows, negative upwards (towards x4)
  // What the key does, on the first key of a group that shares one line of
  // help (the digits, the four effects, ...); null on the others.
  const char* help;
};

// Every key, in the order the help texts list them.
std::span<const PanelKey> panelKeys();

// The key named `name` (in any case), or null.
const PanelKey* panelKeyNamed(std::string_view name);

// The keys' lines for a help text: the names of a group, then from `column`
// on what they do.
std::string panelKeyHelp(std::size_t column);

// What a pen-down and pen-up on control `id` do (Power lights while held).
void pressControl(WindowHandle window, std::int32_t id);

// Moves the gain knob by `rows` (negative upwards) as a drag would, within
// the track.
void moveKnob(std::int32_t rows);

// Acts on one key press; keys the panel does not know do nothing.
void pressKey(WindowHandle window, std::uint32_t code, std::uint32_t modifiers);
