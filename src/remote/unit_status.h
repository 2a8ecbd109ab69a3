// The unit's state on one line, in a form that stays the same from release to
// release, for status bars and scripts (`zephyrix --status`):
//
//   preset=N echo=E slicer=S reverse=S downsample=D flanger=S mute=S bypass=S gain=G sound=Y
//
// N is the current preset's button as lettered (1 ... 9, 0 for the tenth); the
// settings come in the order of kWordSettings, each lettered as its readout or
// switch shows it (echo OFF, 1/4S, 1/2S, 1S, 2S; downsample OFF, X2, X4, X8;
// switches OFF, ON); G is the output gain with two decimals (0.00 ... 4.00); Y
// is yes while sound goes through, no while the unit waits for its sound
// server or devices.
// The form and its legend are built from the settings table, as the line is.
#pragma once

#include <string>

// The line of the current settings. Window thread only.
std::string unitStatusLine();

// The line's form with a letter for each value, as above.
std::string unitStatusForm();

// What --help says of the letters: "N the preset button's lettering ...".
std::string unitStatusLegend();
