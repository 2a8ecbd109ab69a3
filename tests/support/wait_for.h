// Waiting for a condition instead of for a time: a test that needs something to
// have happened polls for it, and the deadline only bounds a hang, so it is
// generous; how long things take is for the benchmarks to say.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

inline constexpr std::chrono::seconds kGenerousDeadline{60};

// Whether `condition`, asked every `poll`, held before `deadline` had passed.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::steady_clock::duration deadline = kGenerousDeadline,
                    std::chrono::milliseconds poll = std::chrono::milliseconds(10)) {
  const auto giveUp = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(poll);
  }
  return true;
}
