// The window surface: the kWindowWidth x kWindowHeight frame of RGB pixels
// that every drawing operation copies into. The window backend shows it; tests
// read it.
#pragma once

#include <cstdint>

#include "assets/panel_geometry.h"

// Pixels as 0x00RRGGBB, row 0 at the top. Touched only on the window thread.
extern std::uint32_t windowSurface[kWindowHeight][kWindowWidth];

// The window backend registers how the surface is shown (null: not shown).
void setSurfacePresenter(void (*present)());

// Called at the end of every drawing operation, so the window shows each one.
void presentSurface();
