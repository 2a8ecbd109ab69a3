// The audio format and every buffer size that follows from it. Chosen once by the
// playback device probe before any audio buffer exists, then only read.
#pragma once

#include <array>
#include <cstdint>

#include "state/settings_table.h"

// What the chain keeps, in blocks: the longest echo and the reverse history's slots.
constexpr std::int32_t kLongestEchoBlocks = largestSettingValue(kEchoValues);
constexpr std::int32_t kReverseSlots = 9;

// The first five fields are chosen; the buffer sizes follow from the block.
struct AudioProfile {
  std::int32_t sampleRate;           // samples per second, one channel
  std::int32_t channels;             // always 1
  std::int32_t bitsPerSample;        // always 16, signed little-endian
  std::int32_t blockSamples;         // samples per block buffer and per chain run
  std::int32_t blockByteFactor;      // bytes exchanged per block = factor * blockSamples
  std::int32_t delayBufferBytes;     // echo delay line, kLongestEchoBlocks blocks of 32-bit entries
  std::int32_t reverseBufferBytes;   // reverse history, kReverseSlots blocks of 16-bit entries
  std::int32_t flangerLongSamples;   // long comb length, blockSamples - half a block
  std::int32_t flangerShortSamples;  // short comb length, that less a quarter block
};

// A block of n samples with half h = n >> 1 and quarter q = n >> 2 (the chain's
// split). Each comb is as long as its touches leave room for before the block's
// end: the long comb touches at 0 and h, the short one at 0, q, h and h + q.
constexpr AudioProfile makeAudioProfile(std::int32_t rate, std::int32_t channels, std::int32_t bits,
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

constexpr int kAudioProfileCount = 3;

// In probe order: the first one the playback device accepts is kept.
inline constexpr AudioProfile audioProfiles[kAudioProfileCount] = {
    //               rate ch bits block factor
    makeAudioProfile(32000, 1, 16, 8000, 1),
    makeAudioProfile(48000, 1, 16, 12000, 1),
    makeAudioProfile(44100, 1, 16, 11025, 2),
};

// The profiles' rates, in probe order: the rates the unit asks a device for.
inline constexpr std::array<std::int32_t, kAudioProfileCount> kAudioProfileRates = [] {
  std::array<std::int32_t, kAudioProfileCount> rates{};
  for (int i = 0; i < kAudioProfileCount; ++i) rates[i] = audioProfiles[i].sampleRate;
  return rates;
}();

extern AudioProfile audioProfile;

// Bytes of a block exchanged with a device.
inline std::int32_t exchangedBlockBytes() {
  return audioProfile.blockByteFactor * audioProfile.blockSamples;
}

// Switches every field to profile `index` (0 = default, 32000 Hz).
void selectAudioProfile(int index);
