#include "platform/memory.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {
std::atomic<int> allocationsMade{0};
std::atomic<int> failingAllocation{0};  // absolute number of the allocation to fail; 0 = none
}  // namespace

void* allocZeroed(std::size_t bytes) {
  const int number = allocationsMade.fetch_add(1, std::memory_order_relaxed) + 1;
  if (number == failingAllocation.load(std::memory_order_relaxed)) return nullptr;
  return std::calloc(1, bytes == 0 ? 1 : bytes);
}

void releaseMemory(void* block) {
  std::free(block);
}

void failAllocationNumber(int k) {
  failingAllocation.store(k > 0 ? allocationsMade.load(std::memory_order_relaxed) + k : 0,
                          std::memory_order_relaxed);
}

int allocationCount() {
  return allocationsMade.load(std::memory_order_relaxed);
}

void pauseMilliseconds(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
