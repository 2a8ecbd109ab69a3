// The panel window's procedure: full redraws on creation and paint requests,
// pen-down + pen-up on one control into one of 40 commands, the gain knob drag,
// and the window's destruction into a stop request. Window thread only.
#pragma once

#include <cstdint>

#include "platform/window.h"

struct PanelState {
  std::int32_t pressedButton;  // button id under the pen at the last pen-down, 0 = none
  std::int32_t knobDragging;   // 1 from a pen-down on the gain track to the next pen-up
};

extern PanelState panelState;

std::int32_t windowProcedure(WindowHandle window, std::uint32_t message, std::uint32_t wParam,
                             std::uint32_t lParam);

void resetPanelState();
