// Test entry points of the window layer: a stand-in for the desktop's message
// box, desktop events fed through the same translation as real ones, and the
// pixels the desktop was shown. Only tests and test tools include this.
#pragma once

#include <cstdint>

#include "platform/window.h"

// Replaces the desktop box. The hook's result is returned as the box's. Null
// restores the desktop box; closeWindowSystem() does too.
using MessageBoxHook = int (*)(WindowHandle owner, const char* text, const char* caption);
void setMessageBoxHook(MessageBoxHook hook);

// Feed desktop events through the same translation as real ones (client
// coordinates in desktop pixels; finger positions 0.0 ... 1.0 of the client
// area). Each returns 1 once the event is queued, 0 without a window.
int injectMouseButton(int down, int clientX, int clientY);
int injectMouseMotion(int clientX, int clientY, int buttonHeld);
int injectFinger(int phase, float fx, float fy);             // phase: 0 down, 1 move, 2 up
int injectKey(std::uint32_t code, std::uint32_t modifiers);  // kKey... codes and bits
int injectExpose();
int injectCloseRequest();

// The pixel shown at this point of the client area as 0x00RRGGBB, or
// 0xFFFFFFFF outside it or without a window.
std::uint32_t presentedPixel(int clientX, int clientY);
