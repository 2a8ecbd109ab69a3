// Every audio buffer of the system: the two input and two output blocks and the
// four buffers the effects chain keeps its state in. All are allocated
// zero-filled once, when the devices are opened, and freed when they are closed.
#pragma once

#include <cstdint>

#include "state/shared_value.h"

extern std::int16_t* inputBlocks[2];   // blockSamples samples each
extern std::int16_t* outputBlocks[2];  // blockSamples samples each

extern std::int32_t* delayLine;       // delayBufferBytes / 4 entries
extern std::int16_t* flangerLong;     // flangerLongSamples entries
extern std::int16_t* flangerShort;    // flangerShortSamples entries
extern std::int16_t* reverseHistory;  // reverseBufferBytes / 2 entries, nine block slots

extern Shared<std::int32_t> latestInputBlock;  // input block last completed with data, 0 or 1
extern Shared<std::int32_t> nextOutputBlock;   // output block the next playback completion refills

// Allocates, for the current profile and in this order, both output blocks, the
// delay line, the long and short combs and the reverse history. All six are
// attempted even after a failure. Returns 0, or 1 if any of them is null.
int allocateOutputBuffers();

// Allocates input blocks 0 and 1. Returns 0, or 1 if either is null.
int allocateInputBlocks();

// Free whatever was obtained, in order of allocation, and forget the pointers.
void freeOutputBuffers();
void freeInputBlocks();
