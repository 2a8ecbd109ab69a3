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

// Calls handed to the data thread, and how many of them it has finished.
std::mutex handingOver;  // one call at a time, from threads other than the data thread
std::atomic<std::uint64_t> callsFinished{0};

}  // namespace

ProcessScope::ProcessScope() {
  inProcess = true;
}

ProcessScope::~ProcessScope() {
  inProcess = false;
}

// The wait is ours, not the loop's: a signal that interrupts the loop's own
// blocking wait would let it return before the call has run.
int runOnDataThread(int (*call)(void*), void* context) {
  if (inProcess) return call(context);
  std::lock_guard one(handingOver);
  struct Call {
    int (*call)(void*);
    void* context;
    int result;
  } handed{call, context, kWaveError};
  const std::uint64_t finished = callsFinished.load(std::memory_order_acquire);
  const int queued = pw_loop_invoke(
      pipewireDataLoop(),
      [](spa_loop*, bool, std::uint32_t, const void*, std::size_t, void* data) {
        Call& c = *static_cast<Call*>(data);
        c.result = c.call(c.context);
        callsFinished.fetch_add(1, std::memory_order_release);
        callsFinished.notify_all();
        return 0;
      },
      SPA_ID_INVALID, nullptr, 0, false, &handed);
  if (queued < 0) return kWaveError;
  for (std::uint64_t now = finished; now == finished;
       now = callsFinished.load(std::memory_order_acquire))
    callsFinished.wait(now, std::memory_order_acquire);
  return handed.result;
}
