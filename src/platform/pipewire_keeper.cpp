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

struct Keeper {
  std::mutex lock;
  std::condition_variable woken;
  bool stopping = false;  // under lock
  bool broken = false;    // under lock: the connection broke, not yet dealt with
  std::thread thread;
  PipewireKeeping keeping{};
};

// Never destroyed: a unit that exits with a device still open leaves the
// keeper running, and PipeWire's thread may still tell it of a break.
Keeper& k = *new Keeper();

// PipeWire's thread, its lock held: only wakes the keeper.
void onLost() {
  {
    std::lock_guard lock(k.lock);
    k.broken = true;
  }
  k.woken.notify_all();
}

// Waits for a break, or (while the server is away) for the next look; false
// when the keeper is to stop.
bool waitForWork(bool away) {
  std::unique_lock lock(k.lock);
  const auto ready = [] { return k.stopping || k.broken; };
  if (away)
    k.woken.wait_for(lock, kLookEvery, ready);
  else
    k.woken.wait(lock, ready);
  k.broken = false;
  return !k.stopping;
}

void keep() {
  bool away = false;
  while (waitForWork(away)) {
    if (!away && pipewireConnected()) continue;
    if (!away) {
      std::fputs("zephyrix: the sound server went away; waiting for it\n", stderr);
      markWaveSoundLost(true);
      k.keeping.drop();
      away = true;
    }
    if (!pipewireReconnect() || !k.keeping.restore()) continue;
    std::fputs("zephyrix: sound is back\n", stderr);
    markWaveSoundLost(false);
    away = false;
  }
}

}  // namespace

void keepPipewireDevices(const PipewireKeeping& keeping) {
  std::lock_guard lock(k.lock);
  if (k.thread.joinable()) return;
  k.keeping = keeping;
  k.stopping = false;
  k.broken = !pipewireConnected();  // it may have broken already
  whenPipewireLost(onLost);
  k.thread = std::thread(keep);
}

void stopKeepingPipewireDevices() {
  {
    std::lock_guard lock(k.lock);
    if (!k.thread.joinable()) return;
    k.stopping = true;
  }
  k.woken.notify_all();
  k.thread.join();
  k.thread = std::thread();
  markWaveSoundLost(false);
}
