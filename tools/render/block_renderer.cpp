#include "render/block_renderer.h"

#include <algorithm>

#include "audio/audio_buffers.h"
#include "audio/effects_chain.h"
#include "state/audio_profile.h"

namespace {

// Blocks alternate as on the device: chunk k goes into input block k mod 2 and
// comes out of output block k mod 2.
std::int32_t nextBlock = 0;

}  // namespace

std::size_t chunkSamples() {
  return static_cast<std::size_t>(exchangedBlockBytes()) / 2;
}

int openBlockRenderer() {
  closeBlockRenderer();
  resetEffectsChain();
  nextBlock = 0;
  const int output = allocateOutputBuffers();
  const int input = allocateInputBlocks();
  return output == 0 && input == 0 ? 0 : 1;
}

void renderChunk(const std::int16_t* in, std::size_t count, std::int16_t* out) {
  const std::size_t chunk = chunkSamples();
  count = std::min(count, chunk);
  // Only the exchanged part is ever written; the rest keeps its zeros, as the
  // device leaves it.
  std::int16_t* block = inputBlocks[nextBlock];
  std::copy(in, in + count, block);
  std::fill(block + count, block + chunk, std::int16_t{0});

  latestInputBlock = nextBlock;
  nextOutputBlock = nextBlock;
  processBlock();
  const std::int16_t* played = outputBlocks[nextBlock];
  std::copy(played, played + chunk, out);
  nextBlock = 1 - nextBlock;
}

void closeBlockRenderer() {
  freeOutputBuffers();
  freeInputBlocks();
}
