// The 41 hot rectangles of the panel and hit testing of pen positions.
#pragma once

#include <cstdint>

// buttonTable, the kButtonCount hot rectangles, comes with the artwork, and so
// do the ButtonId values that name them: id i + 1 is entry i. Preset1 + k is
// preset k + 1 (Preset10 is lettered 0); Step1 + k - 1 is slicer step k.
#include "assets/panel_buttons.h"
#include "assets/panel_geometry.h"

// A hot rectangle in window coordinates (y includes the kHiddenTopRows above
// the skin).
using ButtonRect = PanelRect;

// The id of the control under window position (x, y), or 0. A position must lie
// strictly inside a rectangle (the left and top border pixels and x + w, y + h
// are outside); when several match, the last in table order wins.
std::int32_t hitTest(std::int32_t x, std::int32_t y);
