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

// Through PipeWire: what a device did in the last cycle it processed. A
// cycle is named by the time the graph's driver started it, which every stream
// that driver runs sees alike (the graph's tick counts are each stream's own,
// rebased whenever its driver changes, so they name no cycle across streams).
struct DeviceCycle {
  std::int64_t now;           // the cycle's start, monotonic ns
  std::int64_t previousNow;   // the start of the one it processed before
  std::uint64_t frames;       // frames it moved
  std::uint64_t startFrames;  // playback: its count of frames before it
};

// Whether capture (running) is live in playback's cycle, so that a playback
// report waits for its block: it ran in the same cycle (before playback) or
// the one before (it runs after). The server normally runs both streams with
// one driver, as they are one group; should it run them with two, capture is
// live if it ran within the last two cycles of either, at playback's `rate`.
// A capture the server skipped for a few cycles (a graph changing, a late
// cycle) is still live for one block of `blockFrames`: a report waits its
// patience for the block rather than process the one before again. Away for
// longer, it is taken for stalled or gone, and not waited for.
bool captureLiveIn(const DeviceCycle& playback, const DeviceCycle& capture, std::uint32_t rate,
                   std::uint64_t blockFrames);

// Where capture's count should stand at the start of its cycle `capture`,
// playback's count now being `playbackFrames`. Capture and playback keep in
// step by the frames each has moved: under one driver both move the same
// frames every cycle, whatever its length, so the two counts stay level
// through changes of cycle and driver, and differ only where one of them
// really missed audio. Level means playback's count at the start of the same
// cycle: before the frames it moved if it ran first, its count now if it ran
// in capture's previous cycle and not yet in this one; then capture is off
// only by more than a frame or two of resampling. Without a cycle of
// playback's to match (drivers of their own, a cycle missed) playback's count
// now is the target, and only a real gap counts.
struct CaptureTarget {
  std::uint64_t frames;
  std::int64_t tolerance;  // frames either way
};
CaptureTarget captureTarget(const DeviceCycle& playback, std::uint64_t playbackFrames,
                            const DeviceCycle& capture);
bool captureOffTarget(std::uint64_t captureFrames, const CaptureTarget& target);

// Where capture goes on in its head descriptor (`descriptorBytes` long, filled
// to `headOffset`) when its count moves by `frames` (negative: back) to stand
// level with playback again. A move that stays within the descriptor keeps
// what it holds: forward, the frames skipped (what the server lost) become
// silent, from `silentFrom`; back, the frames moved over are recorded again.
// Further, the descriptor starts over at `to`'s place in it, silent before.
struct CaptureMove {
  std::uint32_t headOffset;
  std::uint32_t silentFrom;  // silence from here up to headOffset
};
CaptureMove moveCapture(std::int64_t frames, std::uint64_t to, std::uint32_t headOffset,
                        std::uint32_t descriptorBytes, std::uint32_t frameBytes);

// The offset in a descriptor of `descriptorBytes` at which a count of `frames`
// stands, descriptors following one another from frame 0.
std::uint32_t offsetInDescriptor(std::uint64_t frames, std::uint32_t descriptorBytes,
                                 std::uint32_t frameBytes);
