#include "panel/window_procedure.h"

#include "panel/button_table.h"
#include "panel/gain_knob.h"
#include "panel/panel_commands.h"
#include "panel/panel_keys.h"
#include "panel/panel_render.h"
#include "platform/exit_status.h"
#include "state/effect_settings.h"

PanelState panelState{0, 0};

void resetPanelState() {
  panelState = PanelState{0, 0};
}

namespace {

void penDown(std::uint32_t position) {
  panelState.pressedButton = hitTest(penX(position), penY(position));
  if (panelState.pressedButton == GainTrack) panelState.knobDragging = 1;
  // Power is the only control that shows it is held; letting go elsewhere
  // leaves it lit until the next full redraw.
  if (panelState.pressedButton == Power) drawControl(Power - 1, 1);
}

void penUp(WindowHandle window, std::uint32_t position) {
  panelState.knobDragging = 0;
  if (panelState.pressedButton == 0) return;
  const std::int32_t released = hitTest(penX(position), penY(position));
  if (released == panelState.pressedButton && released >= Power && released < GainTrack) {
    runCommand(window, released);
  }
  panelState.pressedButton = 0;
}

// Every message seen while the knob is held moves it, if its word carries a row
// on the track (rows 100 ... 207 give 1 ... 108; other rows leave the knob where
// it is); x is not looked at, so the pen may slide off sideways.
void dragKnob(std::uint32_t word) {
  if (panelState.knobDragging != 1) return;
  const std::int32_t k = penY(word) - kKnobTop;
  if (k < kKnobFirstRow || k > kKnobTravel) return;
  gainKnob = k;
  drawControl(KnobTrack, 0);
  drawKnob();
}

}  // namespace

std::int32_t windowProcedure(WindowHandle window, std::uint32_t message, std::uint32_t wParam,
                             std::uint32_t lParam) {
  if (message == kMsgCreate || message == kMsgPaint) redrawPanel();
  if (message == kMsgPenDown) penDown(lParam);
  if (message == kMsgPenUp) penUp(window, lParam);
  if (message == kMsgKeyDown) pressKey(window, keyCodeOf(lParam), keyModifiersOf(lParam));
  if (message == kMsgDestroy) {
    postQuitMessage(kExitDone);
    quitRequested = 1;
  }
  dragKnob(lParam);
  return defaultWindowProcedure(window, message, wParam, lParam);
}
