// The block effects chain: turns the newest input block into the next output
// block. Runs on the audio thread, once per played block.
#pragma once

#include <cstdint>

// The chain's own position state, carried from block to block.
extern std::uint32_t delayWritePos;    // first delayLine entry of the next echo block
extern std::int32_t reverseWriteSlot;  // slot the next block is captured into, 8 ... 0
extern std::int32_t reverseReadSlot;   // slot the next block reads, 0 ... 8
extern std::int32_t slicerStep;        // step gating the next block's first quarter, even

// One value for each position, fields as above.
struct EffectsChainPositions {
  std::uint32_t delayWritePos;
  std::int32_t reverseWriteSlot;
  std::int32_t reverseReadSlot;
  std::int32_t slicerStep;

  friend bool operator==(const EffectsChainPositions&, const EffectsChainPositions&) = default;
};

// What a process starts with, and what resetEffectsChain() puts back. Capture
// and reading start at slots 7 and 0 and walk towards each other: the first four
// blocks read silent slots, then the captures come back in backward runs.
inline constexpr EffectsChainPositions kInitialChainPositions = {
    .delayWritePos = 0,
    .reverseWriteSlot = 7,
    .reverseReadSlot = 0,
    .slicerStep = 0,
};

// Reads inputBlocks[latestInputBlock], writes outputBlocks[nextOutputBlock].
void processBlock();

// Puts the four positions back to their initial values.
void resetEffectsChain();
