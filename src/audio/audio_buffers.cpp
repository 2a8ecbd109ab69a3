#include "audio/audio_buffers.h"

#include <cstddef>

#include "platform/memory.h"
#include "state/audio_profile.h"

std::int16_t* inputBlocks[2] = {nullptr, nullptr};
std::int16_t* outputBlocks[2] = {nullptr, nullptr};
std::int32_t* delayLine = nullptr;
std::int16_t* flangerLong = nullptr;
std::int16_t* flangerShort = nullptr;
std::int16_t* reverseHistory = nullptr;

Shared<std::int32_t> latestInputBlock{0};
Shared<std::int32_t> nextOutputBlock{0};

namespace {

template <typename T>
T* allocate(std::size_t bytes) {
  return static_cast<T*>(allocZeroed(bytes));
}

std::size_t blockBytes() {
  return 2 * static_cast<std::size_t>(audioProfile.blockSamples);
}

template <typename T>
void release(T*& buffer) {
  releaseMemory(buffer);
  buffer = nullptr;
}

}  // namespace

int allocateOutputBuffers() {
  const AudioProfile& p = audioProfile;
  outputBlocks[0] = allocate<std::int16_t>(blockBytes());
  outputBlocks[1] = allocate<std::int16_t>(blockBytes());
  delayLine = allocate<std::int32_t>(static_cast<std::size_t>(p.delayBufferBytes));
  flangerLong = allocate<std::int16_t>(2 * static_cast<std::size_t>(p.flangerLongSamples));
  flangerShort = allocate<std::int16_t>(2 * static_cast<std::size_t>(p.flangerShortSamples));
  reverseHistory = allocate<std::int16_t>(static_cast<std::size_t>(p.reverseBufferBytes));
  const bool all = outputBlocks[0] && outputBlocks[1] && delayLine && flangerLong && flangerShort &&
                   reverseHistory;
  return all ? 0 : 1;
}

int allocateInputBlocks() {
  inputBlocks[0] = allocate<std::int16_t>(blockBytes());
  inputBlocks[1] = allocate<std::int16_t>(blockBytes());
  return inputBlocks[0] && inputBlocks[1] ? 0 : 1;
}

void freeOutputBuffers() {
  release(outputBlocks[0]);
  release(outputBlocks[1]);
  release(delayLine);
  release(flangerLong);
  release(flangerShort);
  release(reverseHistory);
}

void freeInputBlocks() {
  release(inputBlocks[0]);
  release(inputBlocks[1]);
}
