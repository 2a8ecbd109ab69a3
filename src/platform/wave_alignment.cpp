#include "platform/wave_alignment.h"

#include <algorithm>

#include "platform/wave_pump.h"

CaptureLevel captureLevelWithPlayback(std::uint64_t playbackFrames,
                                      std::uint32_t playbackHeadOffset, const WaveFormat& playback,
                                      const WaveFormat& capture, std::uint32_t captureHeadBytes) {
  // Playback's frames as capture's (the stream opens both at one rate).
  const auto asCaptured = [&](std::uint64_t frames) {
    return frames * capture.samplesPerSecond / std::max(1u, playback.samplesPerSecond);
  };
  const std::uint32_t frameBytes = frameBytesOf(capture);
  const std::uint64_t intoHead = asCaptured(playbackHeadOffset / frameBytesOf(playback));
  std::uint32_t skipped = 0;
  if (intoHead * frameBytes < captureHeadBytes)
    skipped = static_cast<std::uint32_t>(intoHead * frameBytes);
  return {skipped, asCaptured(playbackFrames) - skipped / frameBytes};
}

bool captureLiveIn(const DeviceCycle& playback, const DeviceCycle& capture, std::uint32_t rate) {
  const std::uint64_t longer = std::max(playback.frames, capture.frames);
  const auto twoCycles = 2 * static_cast<std::int64_t>(longer * 1000000000 / std::max(1u, rate));
  return capture.ticks == playback.ticks || capture.ticks == playback.previousTicks ||
         playback.now - capture.now <= twoCycles;
}

CaptureTarget captureTarget(const DeviceCycle& playback, std::uint64_t playbackFrames,
                            std::uint64_t ticks, std::uint64_t cycleFrames) {
  // Where playback's count stood at this buffer's time on the graph's clock:
  // the buffer holds audio of that time, whether it arrives in the same cycle
  // or (after the server changed its cycle) one later.
  const auto offset = static_cast<std::int64_t>(ticks - playback.ticks);
  const auto cycle = static_cast<std::int64_t>(std::max(cycleFrames, playback.frames));
  const bool oneClock = offset >= -4 * cycle && offset <= 4 * cycle;
  std::int64_t base = static_cast<std::int64_t>(playbackFrames);
  std::int64_t tolerance = 2 * cycle + static_cast<std::int64_t>(cycleFrames);
  if (oneClock) {
    base = static_cast<std::int64_t>(playback.startFrames) + offset;
    // A resampled stream's frames may differ from the clock by a frame or two.
    tolerance = std::max<std::int64_t>(16, static_cast<std::int64_t>(cycleFrames) / 4);
  }
  // Otherwise the server runs the two streams with drivers of their own (at
  // the same rate, in cycles of their own lengths): only a real gap counts.
  return {static_cast<std::uint64_t>(std::max<std::int64_t>(0, base)), tolerance};
}

bool captureOffTarget(std::uint64_t captureFrames, const CaptureTarget& target) {
  const std::int64_t apart =
      static_cast<std::int64_t>(captureFrames) - static_cast<std::int64_t>(target.frames);
  return apart > target.tolerance || apart < -target.tolerance;
}

std::uint32_t offsetInDescriptor(std::uint64_t frames, std::uint32_t descriptorBytes,
                                 std::uint32_t frameBytes) {
  const std::uint64_t length = descriptorBytes / frameBytes;
  return length == 0 ? 0 : static_cast<std::uint32_t>(frames % length) * frameBytes;
}
