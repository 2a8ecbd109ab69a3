// The unit's state on one line, in a form that stays the same from release to
// release, for status bars and scripts (`zephyrix --status`):
//
//   preset=N echo=E slicer=S reverse=S downsample=D flanger=S mute=S bypass=S gain=G
//
// N is the current preset's button as lettered (1 ... 9, 0 for the tenth); the
// settings come in this order, each lettered as its readout or switch shows it
// (echo OFF, 1/4S, 1/2S, 1S, 2S; downsample OFF, X2, X4, X8; switches OFF, ON);
// G is the output gain with two decimals (0.00 ... 4.00). Window thread only.
#pragma once

#include <string>

std::string unitStatusLine();
