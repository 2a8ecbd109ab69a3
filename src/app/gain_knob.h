// The gain knob: its offset below the top of the gain track (0 ... 108 pixels)
// and the output gain it stands for, x4 at the top, x1 in the middle (54) and
// x0 at the bottom (108).
#pragma once

// Places the knob for the loaded gain, once, at start-up.
void gainToKnob();

// Turns the knob's position into the gain, after every dispatched message.
void knobToGain();
