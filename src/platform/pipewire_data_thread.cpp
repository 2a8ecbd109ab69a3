#include "platform/pipewire_data_thread.h"

#include <pipewire/pipewire.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/pipewire_connection.h"
#include "platform/wave_audio.h"

namespace {

// Whether this thread is the data thread inside one of our process callbacks.
thread_local bool inProcess = false;

struct Call {
  int (*call)(void*);
  void* context;
  int result;
};

// Calls handed to the data thread: one at a time, from threads other than the
// data thread, through an event of our own on its loop. The library's own
// hand-over queue takes one writer at a time, and its main loop writes to it
// whenever a stream or link changes; a call of ours written beside one of its
// own could be lost, and its caller would wait for good.
std::mutex handingOver;
std::atomic<Call*> handed{nullptr};
std::atomic<std::uint64_t> callsFinished{0};
spa_source* callEvent = nullptr;

void runHandedCall(void*, std::uint64_t) {
  Call* c = handed.exchange(nullptr, std::memory_order_acquire);
  if (c == nullptr) return;
  c->result = c->call(c->context);
  callsFinished.fetch_add(1, std::memory_order_release);
  callsFinished.notify_all();
}

}  // namespace

ProcessScope::ProcessScope() {
  inProcess = true;
}

ProcessScope::~ProcessScope() {
  inProcess = false;
}

bool openDataThreadCalls(pw_loop* dataLoop) {
  if (callEvent == nullptr) callEvent = pw_loop_add_event(dataLoop, runHandedCall, nullptr);
  return callEvent != nullptr;
}

// The wait is ours, not the loop's: a signal that interrupts a blocking wait
// would let it return before the call has run.
int runOnDataThread(int (*call)(void*), void* context) {
  if (inProcess) return call(context);
  if (callEvent == nullptr) return kWaveError;
  std::lock_guard one(handingOver);
  Call c{call, context, kWaveError};
  const std::uint64_t finished = callsFinished.load(std::memory_order_acquire);
  handed.store(&c, std::memory_order_release);
  if (pw_loop_signal_event(pipewireDataLoop(), callEvent) < 0) {
    handed.store(nullptr, std::memory_order_relaxed);
    return kWaveError;
  }
  for (std::uint64_t now = finished; now == finished;
       now = callsFinished.load(std::memory_order_acquire))
    callsFinished.wait(now, std::memory_order_acquire);
  return c.result;
}
