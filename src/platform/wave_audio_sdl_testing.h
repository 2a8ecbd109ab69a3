// Test entry points of the SDL wave-audio backend: counts of what it did on a
// real sound server, since the process started. Only tests include this.
#pragma once

#include <cstdint>

// Playback reports that went out on their deadline because capture had not
// caught up (setSdlPlaybackFollowsCapture).
std::uint64_t sdlPlaybackReportsOnDeadline();

// Devices that the system took away and the backend opened again.
std::uint64_t sdlDeviceReopens();
