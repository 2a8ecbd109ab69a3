// The arithmetic that keeps capture level with playback, without any device:
// where capture's count should stand, how far off it may be, and where in its
// head descriptor it goes on. The backends supply the positions and apply the
// answers.
#pragma once

#include <cstdint>

#include "platform/wave_audio.h"

// Through SDL: capture level with playback as it stands now. Playback is
// `playbackHeadOffset` bytes into its head descriptor after `playbackFrames`
// frames; capture's head descriptor (`captureHeadBytes` long, 0 for none) is
// put as far through, and its count then stands where playback's does, less
// what capture skipped.
struct CaptureLevel {
  std::uint32_t headOffset;  // bytes of capture's head descriptor skipped (to be silent)
  std::uint64_t frames;      // capture's count of frames, on its own rate
};
CaptureLevel captureLevelWithPlayback(std::uint64_t playbackFrames,
                                      std::uint32_t playbackHeadOffset, const WaveFormat& playback,
                                      const WaveFormat& capture, std::uint32_t captureHeadBytes);

// Through PipeWire: what a device did in the last cycle it processed.
struct DeviceCycle {
  std::uint64_t ticks;          // the graph's clock at that cycle
  std::uint64_t previousTicks;  // and at the one before
  std::int64_t now;             // when it was processed, monotonic ns
  std::uint64_t frames;         // frames it moved
  std::uint64_t startFrames;    // playback: its count of frames before it
};

// Whether capture (running) is live in playback's cycle: it ran in the same
// cycle (before playback) or the one before (it runs after). The server
// normally runs both streams with one driver, as they are one group; should
// it run them with two, capture is live if it ran within the last two cycles
// of either, at playback's `rate`.
bool captureLiveIn(const DeviceCycle& playback, const DeviceCycle& capture, std::uint32_t rate);

// Where capture's count should stand for a buffer of `cycleFrames` frames
// captured at `ticks` on the graph's clock, playback's count now being
// `playbackFrames`: playback's count at that time when
// the two run on one clock (within four cycles of each other), and capture is
// off only by more than a frame or two of resampling; playback's count now
// otherwise (drivers of their own), and off only by a real gap.
struct CaptureTarget {
  std::uint64_t frames;
  std::int64_t tolerance;  // frames either way
};
CaptureTarget captureTarget(const DeviceCycle& playback, std::uint64_t playbackFrames,
                            std::uint64_t ticks, std::uint64_t cycleFrames);
bool captureOffTarget(std::uint64_t captureFrames, const CaptureTarget& target);

// The offset in a descriptor of `descriptorBytes` at which a count of `frames`
// stands, descriptors following one another from frame 0.
std::uint32_t offsetInDescriptor(std::uint64_t frames, std::uint32_t descriptorBytes,
                                 std::uint32_t frameBytes);
