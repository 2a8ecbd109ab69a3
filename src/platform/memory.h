// Memory and time services: zero-filled allocation that reports failure with
// null, its release, and a pause.
#pragma once

#include <cstddef>

// Zero-filled block of `bytes` bytes, or null when none can be had.
void* allocZeroed(std::size_t bytes);
void releaseMemory(void* block);

// Test hook: the k-th allocation from now (1 = the next one) returns null.
// 0 switches the hook off. Every other allocation succeeds as usual.
void failAllocationNumber(int k);

// Number of allocations made since the process started (for tests).
int allocationCount();

void pauseMilliseconds(int ms);
