// Drawing the panel into the window: the unlit skin, the lit picture of every
// control that is on, the two readouts and the gain knob. Every operation copies
// rectangles of the stored images straight into the window surface and keeps no
// state; window thread only.
#pragma once

#include <cstdint>

// Draw codes of drawControl besides 0 to 7 (switch id - 1), 11 to 20 (preset
// highlight) and 21 to 36 (lit steps).
enum DrawCode : std::int32_t {
  PresetArea = 100,  // the ten preset buttons and their surround
  SlicerRow = 200,   // the sixteen step dots and their surround
  KnobTrack = 300,   // the gain track
};

constexpr std::int32_t kPictureHeaderBytes = 4140;

// Header and palette buffers of the three 8-bit images, rewritten before every
// use. Allocated by start-up before the first drawing call and freed after the
// last; while one is null, nothing is drawn from its image.
extern std::uint8_t* skinOffHeader;
extern std::uint8_t* skinOnHeader;
extern std::uint8_t* displayStripHeader;

// Allocates the three buffers (skinOff, skinOn, displayStrip, in that order).
void allocatePictureHeaders();
// Frees them in reverse order and leaves the pointers null.
void freePictureHeaders();

// Draws the target of the code from skinOn (lit 1) or skinOff (lit 0).
void drawControl(std::int32_t code, std::int32_t lit);
// Draws the knob at window (kKnobX, kKnobTop + gainKnob); the old position is
// not erased.
void drawKnob();
// Draws every control that is on, the preset highlight and the lit steps, then
// both readouts, then the knob. Never draws anything unlit.
void drawLitControls();
// Whether control `id` shows lit, as drawLitControls draws it: 1 lit, 0 not,
// -1 for a control that has no light (the delay and downsampler buttons, Save,
// About, Power, the knob).
std::int32_t controlLight(std::int32_t id);
// Draws the whole unlit skin, then drawLitControls().
void redrawPanel();
