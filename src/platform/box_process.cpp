#include "platform/box_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace {

thread_local bool showingBox = false;
pid_t unitProcess = 0;

// The number a /proc/self/fd entry names, or -1.
int descriptorNamed(const char* name) {
  if (*name == '\0') return -1;
  int fd = 0;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9' || fd > 100000000) return -1;
    fd = fd * 10 + (*name - '0');
  }
  return fd;
}

// Runs in the child between fork and whatever it does next, where only
// async-signal-safe calls are allowed: no opendir (it allocates), so the
// folder is read with getdents64 into a buffer on the stack.
void closePrivateDescriptors() {
  const int folder = open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  alignas(dirent64) char entries[4096];
  for (;;) {
    const long bytes = syscall(SYS_getdents64, folder, entries, sizeof entries);
    if (bytes <= 0) break;
    for (long at = 0; at < bytes;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      const int fd = descriptorNamed(entry->d_name);
      if (fd <= STDERR_FILENO || fd == folder) continue;
      const int flags = fcntl(fd, F_GETFD);
      if (flags >= 0 && (flags & FD_CLOEXEC)) close(fd);
    }
  }
  close(folder);
}

void inForkedChild() {
  if (!showingBox) return;  // forked by another thread, or not for a box
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The unit may have gone between the fork and the line above.
  if (getppid() != unitProcess) _exit(1);
  closePrivateDescriptors();
}

}  // namespace

void beginBoxProcess() {
  static const bool registered = [] {
    unitProcess = getpid();
    return pthread_atfork(nullptr, nullptr, inForkedChild) == 0;
  }();
  showingBox = registered;
}

void endBoxProcess() {
  showingBox = false;
}
