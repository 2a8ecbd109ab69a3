#include "state/audio_profile.h"

namespace {

// A block of n samples with half h = n >> 1 and quarter q = n >> 2 (the chain's
// split). Each comb is as long as its touches leave room for before the block's
// end: the long comb touches at 0 and h, the short one at 0, q, h and h + q.
constexpr AudioProfile profile(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                               std::int32_t n, std::int32_t factor) {
  const std::int32_t h = n >> 1, q = n >> 2;
  return {.sampleRate = rate,
          .channels = channels,
          .bitsPerSample = bits,
          .blockSamples = n,
          .blockByteFactor = factor,
          .delayBufferBytes = 4 * kLongestEchoBlocks * n,
          .reverseBufferBytes = 2 * kReverseSlots * n,
          .flangerLongSamples = n - h,
          .flangerShortSamples = n - h - q};
}

}  // namespace

constexpr AudioProfile audioProfiles[kAudioProfileCount] = {
    //      rate ch bits block factor
    profile(32000, 1, 16, 8000, 1),
    profile(48000, 1, 16, 12000, 1),
    profile(44100, 1, 16, 11025, 2),
};

// The default profile until the probe chooses.
constinit AudioProfile audioProfile = audioProfiles[0];

void selectAudioProfile(int index) {
  if (index < 0 || index >= kAudioProfileCount) index = 0;
  audioProfile = audioProfiles[index];
}
