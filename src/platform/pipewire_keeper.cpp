#include "platform/pipewire_keeper.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/pipewire_connection.h"
#include "platform/wave_pump.h"

namespace {

// How often a server is looked for while it is away.
constexpr std::chrono::milliseconds kLookEvery{500};

std::mutex keeperLock;
std::condition_variable woken;
bool stopping = false;  // under keeperLock
bool broken = false;    // under keeperLock: the connection broke, not yet dealt with
std::thread keeper;
PipewireKeeping keeping{};

// PipeWire's thread, its lock held: only wakes the keeper.
void onLost() {
  {
    std::lock_guard lock(keeperLock);
    broken = true;
  }
  woken.notify_all();
}

// Waits for a break, or (while the server is away) for the next look; false
// when the keeper is to stop.
bool waitForWork(bool away) {
  std::unique_lock lock(keeperLock);
  const auto ready = [] { return stopping || broken; };
  if (away)
    woken.wait_for(lock, kLookEvery, ready);
  else
    woken.wait(lock, ready);
  broken = false;
  return !stopping;
}

void keep() {
  bool away = false;
  while (waitForWork(away)) {
    if (!away && pipewireConnected()) continue;
    if (!away) {
      std::fputs("zephyrix: the sound server went away; waiting for it\n", stderr);
      markWaveSoundLost(true);
      keeping.drop();
      away = true;
    }
    if (!pipewireReconnect() || !keeping.restore()) continue;
    std::fputs("zephyrix: sound is back\n", stderr);
    markWaveSoundLost(false);
    away = false;
  }
}

}  // namespace

void keepPipewireDevices(const PipewireKeeping& k) {
  std::lock_guard lock(keeperLock);
  if (keeper.joinable()) return;
  keeping = k;
  stopping = false;
  broken = !pipewireConnected();  // it may have broken already
  whenPipewireLost(onLost);
  keeper = std::thread(keep);
}

void stopKeepingPipewireDevices() {
  {
    std::lock_guard lock(keeperLock);
    if (!keeper.joinable()) return;
    stopping = true;
  }
  woken.notify_all();
  keeper.join();
  keeper = std::thread();
  markWaveSoundLost(false);
}
