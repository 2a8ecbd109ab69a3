// The audio format and every buffer size that follows from it. Chosen once by the
// playback device probe before any audio buffer exists, then only read.
#pragma once

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

constexpr int kAudioProfileCount = 3;

// In probe order: the first one the playback device accepts is kept.
extern const AudioProfile audioProfiles[kAudioProfileCount];

extern AudioProfile audioProfile;

// Bytes of a block exchanged with a device.
inline std::int32_t exchangedBlockBytes() {
  return audioProfile.blockByteFactor * audioProfile.blockSamples;
}

// Switches every field to profile `index` (0 = default, 32000 Hz).
void selectAudioProfile(int index);
