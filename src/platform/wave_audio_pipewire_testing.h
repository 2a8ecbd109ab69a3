// Test entry points of the native PipeWire wave-audio backend: counts of what
// it did on a real sound server, since the process started. Only tests include
// this.
#pragma once

#include <cstdint>

// Playback reports that went out without the capture block of their period:
// capture behind (stalled, gone, waited for too long) or a whole block ahead.
std::uint64_t pipewireReportsOutOfStep();

// Times capture was put level with playback again (at the start, and after a
// device stalled or was moved).
std::uint64_t pipewireCaptureRealignments();
