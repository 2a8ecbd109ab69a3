#include "render/interrupts.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/exit_status.h"

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
constexpr char kMessage[] = "zephyrix-render: interrupted\n";
constexpr char kClearLine[] = "\r\033[K";  // the progress bar's line

// Read by the handler, which may run on any thread: fixed storage and lock-free
// flags, no allocation.
char temporary[PATH_MAX];
std::atomic<bool> haveTemporary{false};
std::atomic<bool> atTerminal{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler may not take a lock");

void say(const char* text, std::size_t length) {
  const ssize_t written = write(STDERR_FILENO, text, length);
  static_cast<void>(written);
}

void onInterrupt(int signal) {
  if (haveTemporary) unlink(temporary);
  if (atTerminal) say(kClearLine, sizeof kClearLine - 1);
  say(kMessage, sizeof kMessage - 1);
  _exit(kExitSignalBase + signal);
}

sigset_t interruptSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kInterrupts) sigaddset(&set, s);
  return set;
}

}  // namespace

void installInterruptHandlers() {
  atTerminal = isatty(STDERR_FILENO) == 1;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  action.sa_mask = interruptSet();
  action.sa_flags = 0;  // no SA_RESTART: nothing is resumed after the handler anyway
  for (int s : kInterrupts) {
    struct sigaction before {};
    sigaction(s, nullptr, &before);
    if (before.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);
  }
}

void holdInterrupts() {
  const sigset_t set = interruptSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void releaseInterrupts() {
  const sigset_t set = interruptSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void removeOnInterrupt(const char* path) {
  haveTemporary = false;
  if (path == nullptr || std::strlen(path) >= sizeof temporary) return;
  std::strcpy(temporary, path);
  haveTemporary = true;
}
