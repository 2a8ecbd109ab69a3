#include "panel/panel_keys.h"

#include <algorithm>

#include "panel/button_table.h"
#include "panel/gain_knob.h"
#include "panel/panel_commands.h"
#include "panel/panel_render.h"
#include "state/effect_settings.h"

namespace {

constexpr std::uint32_t kShift = kKeyShift;
constexpr std::uint32_t kControl = kKeyControl;
constexpr std::int32_t kKnobStep = 6;  // rows an arrow moves the knob; one with Shift

// What a key does.
struct PanelKey {
  std::uint32_t code;       // kMsgKeyDown's key code
  std::uint32_t modifiers;  // kKeyShift / kKeyControl that must be held (others must not be)
  std::int32_t buttonId;    // the control it presses, or 0 for a knob move
  std::int32_t knobRows;    // knob move in rows, negative upwards (towards x4)
};

constexpr PanelKey kPanelKeys[] = {
    {'1', 0, Preset1, 0},
    {'2', 0, Preset1 + 1, 0},
    {'3', 0, Preset1 + 2, 0},
    {'4', 0, Preset1 + 3, 0},
    {'5', 0, Preset1 + 4, 0},
    {'6', 0, Preset1 + 5, 0},
    {'7', 0, Preset1 + 6, 0},
    {'8', 0, Preset1 + 7, 0},
    {'9', 0, Preset1 + 8, 0},
    {'0', 0, Preset10, 0},
    {'E', 0, Echo, 0},
    {'F', 0, Flanger, 0},
    {'S', 0, Slicer, 0},
    {'R', 0, Reverse, 0},
    {'D', 0, DownsamplerSwitch, 0},
    {kKeyRight, 0, DelayUp, 0},
    {kKeyLeft, 0, DelayDown, 0},
    {kKeyRight, kShift, DownsamplerUp, 0},
    {kKeyLeft, kShift, DownsamplerDown, 0},
    {kKeyUp, 0, 0, -kKnobStep},
    {kKeyDown, 0, 0, kKnobStep},
    {kKeyUp, kShift, 0, -1},
    {kKeyDown, kShift, 0, 1},
    {'M', 0, Mute, 0},
    {'B', 0, Bypass, 0},
    {'S', kControl, Save, 0},
    {kKeyF1, 0, About, 0},
    {'Q', kControl, Power, 0},
};

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

}  // namespace

void pressKey(WindowHandle window, std::uint32_t code, std::uint32_t modifiers) {
  // Shift chooses between the arrows' two meanings; on letters and digits it
  // is ignored, so Caps Lock or a shifted layout does not matter.
  const bool arrow = code == kKeyLeft || code == kKeyRight || code == kKeyUp || code == kKeyDown;
  const std::uint32_t held = modifiers & (kControl | kKeyAlt | (arrow ? kShift : 0));
  for (const PanelKey& k : kPanelKeys) {
    if (k.code != code || k.modifiers != held) continue;
    if (k.buttonId != 0)
      pressControl(window, k.buttonId);
    else
      moveKnob(k.knobRows);
    return;
  }
}
