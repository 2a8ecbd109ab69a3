#include "panel/panel_keys.h"

#include <algorithm>

#include "panel/button_table.h"
#include "panel/gain_knob.h"
#include "panel/panel_commands.h"
#include "panel/panel_render.h"
#include "state/effect_settings.h"

// What a pen-down and pen-up on the control do: Power lights while held, then
// the command runs (and unlights it).
void pressControl(WindowHandle window, std::int32_t id) {
  if (id == Power) drawControl(Power - 1, 1);
  runCommand(window, id);
}

// As a drag to the new row would: the knob redrawn there, and the loop turns
// the row into the gain after this message. Like the pen, a key stops at the
// rows of the track; a knob that start-up placed above them stays rather than
// step down on Up.
void moveKnob(std::int32_t rows) {
  const std::int32_t was = gainKnob;
  std::int32_t k = std::clamp(was + rows, kKnobFirstRow, kKnobTravel);
  if ((k - was) * rows < 0) k = was;
  gainKnob = k;
  drawControl(KnobTrack, 0);
  drawKnob();
}

void pressKey(WindowHandle window, std::uint32_t code, std::uint32_t modifiers) {
  // Shift chooses between the arrows' two meanings; on letters and digits it
  // is ignored, so Caps Lock or a shifted layout does not matter.
  const bool arrow = code == kKeyLeft || code == kKeyRight || code == kKeyUp || code == kKeyDown;
  const std::uint32_t held = modifiers & (kKeyControl | kKeyAlt | (arrow ? kKeyShift : 0));
  for (const PanelKey& k : panelKeys()) {
    if (k.code != code || k.modifiers != held) continue;
    if (k.buttonId != 0)
      pressControl(window, k.buttonId);
    else
      moveKnob(k.knobRows);
    return;
  }
}
