// A word shared between the window thread and the audio thread.
//
// The window thread writes settings whole, the audio thread reads them while it
// processes a block, and neither takes a lock. Relaxed atomics express exactly
// that in C++: every load sees some whole value ever stored, without ordering
// anything else, and compile to plain moves on the machines we run on.
#pragma once

#include <atomic>

template <typename T>
struct Shared {
  static_assert(std::atomic<T>::is_always_lock_free);
  std::atomic<T> value;

  constexpr Shared(T initial = T{}) : value(initial) {}
  Shared(const Shared&) = delete;
  // Assigning one shared word to another copies its current value.
  Shared& operator=(const Shared& other) { return *this = static_cast<T>(other); }

  operator T() const { return value.load(std::memory_order_relaxed); }
  Shared& operator=(T v) {
    value.store(v, std::memory_order_relaxed);
    return *this;
  }
};
