// The program: start-up, the message loop and shut-down.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

// Texts of the two fatal start-up errors.
extern const char kFatalCaption[];
extern const char kNoMemoryMessage[];
extern const char kNoHardwareMessage[];

// The fatal message for the results of probeOutputFormat, openInput and
// openOutput, or null when all three succeeded.
const char* fatalStartupMessage(int probeResult, int inputResult, int outputResult);

// Start-up up to the message loop: window, presets, knob, audio, first drawing.
// Returns the window; *fatal is the message to show, or null to run the loop.
// Returns null, before any device is opened, if no window could be made.
WindowHandle startZephyrix(const char** fatal);

// Runs the message loop until the quit message or a stop request. Returns the
// exit code: the quit message's (0 when the window was closed), 0 after Power,
// or 1 if the window system failed under it.
std::int32_t runMessageLoop();

// Sets quitRequested, hides the window, drains and closes the audio devices, frees the buffers and
// closes the window system.
void shutDownZephyrix(WindowHandle window);

// All of the above, with MIDI control linked to `midiFrom` (empty: to nothing
// but what others link); returns the program's exit code.
int runZephyrix(const std::string& midiFrom = {});
