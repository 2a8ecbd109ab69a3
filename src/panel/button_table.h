// The 41 hot rectangles of the panel and hit testing of pen positions.
#pragma once

#include <cstdint>

// buttonTable, the kButtonCount hot rectangles, comes with the artwork: entry i
// holds the rectangle of button id i + 1.
#include "assets/panel_geometry.h"

// A hot rectangle in window coordinates (y includes the kHiddenTopRows above
// the skin).
using ButtonRect = PanelRect;

// Button ids: the position in buttonTable counted from 1; 0 is no button.
enum ButtonId : std::int32_t {
  NoButton = 0,
  Power = 1,
  Mute = 2,
  Echo = 3,
  Bypass = 4,
  Reverse = 5,
  Flanger = 6,
  DownsamplerSwitch = 7,
  Slicer = 8,
  Save = 9,
  About = 10,
  Preset1 = 11,  // Preset1 + k is preset k + 1; Preset10 is lettered 0
  Preset10 = 20,
  Step1 = 21,  // Step1 + k - 1 is step k
  Step16 = 36,
  DownsamplerUp = 37,
  DownsamplerDown = 38,
  DelayUp = 39,
  DelayDown = 40,
  GainTrack = 41,
};
static_assert(GainTrack == kButtonCount);

// The id of the control under window position (x, y), or 0. A position must lie
// strictly inside a rectangle (the left and top border pixels and x + w, y + h
// are outside); when several match, the last in table order wins.
std::int32_t hitTest(std::int32_t x, std::int32_t y);
