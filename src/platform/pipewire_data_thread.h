// The data thread of the process's PipeWire connection owns the native
// backend's devices while they are open: other threads hand it their calls,
// which it runs between two cycles.
#pragma once

struct pw_loop;

// Makes the way calls are handed to the data thread; once, before any stream
// is made. False if it could not be made (runOnDataThread then refuses).
bool openDataThreadCalls(pw_loop* dataLoop);

// Marks the data thread as inside one of our process callbacks while it lives.
struct ProcessScope {
  ProcessScope();
  ~ProcessScope();
  ProcessScope(const ProcessScope&) = delete;
  ProcessScope& operator=(const ProcessScope&) = delete;
};

// Runs call(context) on the data thread between two cycles, or right away from
// inside a process callback (a handler queuing a descriptor), and returns its
// result; kWaveError if the data thread could not be asked.
int runOnDataThread(int (*call)(void*), void* context);

template <typename Op>
int onDataThread(Op op) {
  return runOnDataThread([](void* c) { return (*static_cast<Op*>(c))(); }, &op);
}
