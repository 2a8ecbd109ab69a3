// Settings and device lists of the SDL wave-audio backend (platform/wave_audio.h)
// beyond the common operations.
#pragma once

#include <cstdint>

// Frames per SDL callback for a rate: the largest power of two within 40 ms
// (32 ms at 32000 Hz). Every frame buffered here adds to what the listener hears
// late, but SDL asks the sound server to keep no more than one such buffer
// ahead: with 16 ms a PipeWire server ran its graph in 5 ms cycles and a busy
// machine missed some, each a dropout the listener hears.
int sdlBufferFrames(std::uint32_t rate);

// While a capture device is running, a finished playback descriptor is reported
// only once capture has reported at least as much audio, both counted from
// playback's start or from the last time either device was opened again, so a
// playback handler always sees the capture block of the same period (on by
// default). A report held longer than three quarters of its descriptor's
// duration goes out anyway, so a stalled capture device cannot stall playback.
void setSdlPlaybackFollowsCapture(bool follows);
