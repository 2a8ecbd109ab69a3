// The gain knob: its place on the panel, its offset below the top of the gain
// track (gainKnob, 0 ... 108 rows) and the output gain it stands for, x4 at the
// top, x1 in the middle and x0 at the bottom.
#pragma once

#include <cstdint>

constexpr std::int32_t kKnobX = 219;       // window column of the knob's left edge
constexpr std::int32_t kKnobTop = 99;      // window row of the knob's top at gainKnob 0
constexpr std::int32_t kKnobTravel = 108;  // the lowest gainKnob, x0
// The highest row the pen and the keys move the knob to; only start-up places it
// on row 0 (x4), from a stored gain of 4.
constexpr std::int32_t kKnobFirstRow = 1;
constexpr std::int32_t kKnobUnityRow = 54;  // gainKnob of x1
constexpr std::int32_t kKnobWidth = 16;
constexpr std::int32_t kKnobHeight = 4;

// Places the knob for the loaded gain, once, at start-up.
void gainToKnob();

// Turns the knob's position into the gain, after every dispatched message.
void knobToGain();
