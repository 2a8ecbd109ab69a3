// The block effects chain: turns the newest input block into the next output
// block. Runs on the audio thread, once per played block.
#pragma once

#include <cstdint>

// The chain's own position state, carried from block to block.
extern std::uint32_t delayWritePos;    // first delayLine entry of the next echo block
extern std::int32_t reverseWriteSlot;  // slot the next block is captured into, 8 ... 0
extern std::int32_t reverseReadSlot;   // slot the next block reads, 0 ... 8
extern std::int32_t slicerStep;        // step gating the next block's first quarter, even

constexpr int kReverseSlots = 9;

// Reads inputBlocks[latestInputBlock], writes outputBlocks[nextOutputBlock].
void processBlock();

// Puts the four positions back to their start values (a process starts with them).
void resetEffectsChain();
