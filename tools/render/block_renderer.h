// Runs the unit's own effects chain over a recording the way the devices drive
// it: each chunk of samples becomes the exchanged part of the next input block,
// the chain turns that block into an output block, and the exchanged part of
// the output block is the rendered chunk. The live unit plays the same samples
// two blocks later; here there is no latency.
#pragma once

#include <cstddef>
#include <cstdint>

// Samples of one chunk: the exchanged part of a block in the current profile.
std::size_t chunkSamples();

// Allocates the blocks and the chain's buffers for the current profile and puts
// the chain at its start. 0, or 1 when memory runs out.
int openBlockRenderer();

// Renders one chunk: `count` (at most chunkSamples()) input samples, silence
// after them, into chunkSamples() samples of `out`.
void renderChunk(const std::int16_t* in, std::size_t count, std::int16_t* out);

void closeBlockRenderer();
