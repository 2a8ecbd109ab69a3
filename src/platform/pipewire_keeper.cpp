#include "platform/pipewire_keeper.h"

#include <algorithm>
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
constexpr int kKeepingsMax = 4;

struct Keeper {
  std::mutex lock;
  std::condition_variable woken;
  bool stopping = false;  // under lock
  bool broken = false;    // under lock: the connection broke, not yet dealt with
  std::thread thread;
  PipewireKeeping keepings[kKeepingsMax]{};  // under lock
  int count = 0;                             // under lock
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

// What is to be kept now: a copy, so that nothing is called under the lock.
int keepings(PipewireKeeping (&out)[kKeepingsMax]) {
  std::lock_guard lock(k.lock);
  std::copy(k.keepings, k.keepings + k.count, out);
  return k.count;
}

void dropAll() {
  PipewireKeeping all[kKeepingsMax];
  const int n = keepings(all);
  for (int i = 0; i < n; ++i) all[i].drop();
}

bool restoreAll() {
  PipewireKeeping all[kKeepingsMax];
  const int n = keepings(all);
  bool restored = true;
  for (int i = 0; i < n; ++i) restored = all[i].restore() && restored;
  return restored;
}

void keep() {
  bool away = false;
  while (waitForWork(away)) {
    if (!away && pipewireConnected()) continue;
    if (!away) {
      std::fputs("zephyrix: the sound server went away; waiting for it\n", stderr);
      markWaveSoundLost(true);
      dropAll();
      away = true;
    }
    if (!pipewireReconnect() || !restoreAll()) continue;
    std::fputs("zephyrix: sound is back\n", stderr);
    markWaveSoundLost(false);
    away = false;
  }
}

bool sameKeeping(const PipewireKeeping& a, const PipewireKeeping& b) {
  return a.drop == b.drop && a.restore == b.restore;
}

}  // namespace

void keepPipewireDevices(const PipewireKeeping& keeping) {
  std::lock_guard lock(k.lock);
  const auto end = k.keepings + k.count;
  if (k.count < kKeepingsMax && std::none_of(k.keepings, end, [&](const PipewireKeeping& x) {
        return sameKeeping(x, keeping);
      }))
    k.keepings[k.count++] = keeping;
  if (k.thread.joinable()) return;
  k.stopping = false;
  k.broken = !pipewireConnected();  // it may have broken already
  whenPipewireLost(onLost);
  k.thread = std::thread(keep);
}

void stopKeepingPipewireDevices(const PipewireKeeping& keeping) {
  {
    std::lock_guard lock(k.lock);
    const auto end = k.keepings + k.count;
    const auto kept = std::remove_if(
        k.keepings, end, [&](const PipewireKeeping& x) { return sameKeeping(x, keeping); });
    k.count = static_cast<int>(kept - k.keepings);
    if (k.count > 0 || !k.thread.joinable()) return;
    k.stopping = true;
  }
  k.woken.notify_all();
  k.thread.join();
  k.thread = std::thread();
  markWaveSoundLost(false);
}
