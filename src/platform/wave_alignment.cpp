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

bool captureLiveIn(const DeviceCycle& playback, const DeviceCycle& capture, std::uint32_t rate,
                   std::uint64_t blockFrames) {
  const std::uint64_t horizon =
      std::max(2 * std::max(playback.frames, capture.frames), blockFrames);
  const auto away = static_cast<std::int64_t>(horizon * 1000000000 / std::max(1u, rate));
  return capture.now == playback.now || capture.now == playback.previousNow ||
         playback.now - capture.now <= away;
}

CaptureTarget captureTarget(const DeviceCycle& playback, std::uint64_t playbackFrames,
                            const DeviceCycle& capture) {
  // A resampled stream's frames may differ from the other's by a frame or two
  // in a cycle, never more for long: a lag a resampler leaves when both start
  // at once (after a server restart) is put right.
  constexpr std::int64_t near = 16;
  if (capture.now == playback.now) return {playback.startFrames, near};
  if (capture.previousNow == playback.now) return {playbackFrames, near};
  const auto cycle = static_cast<std::int64_t>(std::max(capture.frames, playback.frames));
  return {playbackFrames, 2 * cycle + static_cast<std::int64_t>(capture.frames)};
}

bool captureOffTarget(std::uint64_t captureFrames, const CaptureTarget& target) {
  const std::int64_t apart =
      static_cast<std::int64_t>(captureFrames) - static_cast<std::int64_t>(target.frames);
  return apart > target.tolerance || apart < -target.tolerance;
}

CaptureMove moveCapture(std::int64_t frames, std::uint64_t to, std::uint32_t headOffset,
                        std::uint32_t descriptorBytes, std::uint32_t frameBytes) {
  const std::int64_t at = static_cast<std::int64_t>(headOffset / frameBytes) + frames;
  if (at >= 0 && at < static_cast<std::int64_t>(descriptorBytes / frameBytes)) {
    const auto offset = static_cast<std::uint32_t>(at) * frameBytes;
    return {offset, std::min(offset, headOffset)};
  }
  return {offsetInDescriptor(to, descriptorBytes, frameBytes), 0};
}

std::uint32_t offsetInDescriptor(std::uint64_t frames, std::uint32_t descriptorBytes,
                                 std::uint32_t frameBytes) {
  const std::uint64_t length = descriptorBytes / frameBytes;
  return length == 0 ? 0 : static_cast<std::uint32_t>(frames % length) * frameBytes;
}
