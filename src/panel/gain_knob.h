// The gain knob: its place on the panel, its offset below the top of the gain
// track (gainKnob, 0 ... 108 rows) and the output gain it stands for, x4 at the
// top, x1 in the middle and x0 at the bottom.
#pragma once

#include <cstdint>

// kKnobX, kKnobTop (the knob at gainKnob 0), kKnobUnityRow (x1) and kKnobTravel
// (x0, the lowest gainKnob) come with the artwork.
#include "assets/panel_geometry.h"

// The highest row the pen and the keys move the knob to; only start-up places it
// on row 0 (x4), from a stored gain of 4.
constexpr std::int32_t kKnobFirstRow = 1;

// Places the knob for the loaded gain, once, at start-up.
void gainToKnob();

// Turns the knob's position into the gain, after every dispatched message.
void knobToGain();
