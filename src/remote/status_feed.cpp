#include "remote/status_feed.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>

namespace {

std::mutex feedLock;
UnitStatus latest;
UnitStatus changes[kStatusChangesKept];  // a ring: `count` of them from `first`
int first = 0;
int count = 0;
int wakeFd = -1;

}  // namespace

bool openStatusFeed() {
  {
    std::lock_guard lock(feedLock);
    first = count = 0;
  }
  if (wakeFd < 0) wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return wakeFd >= 0;
}

void closeStatusFeed() {
  if (wakeFd >= 0) close(wakeFd);
  wakeFd = -1;
}

void publishStatus(const UnitStatus& status) {
  {
    std::lock_guard lock(feedLock);
    if (status == latest) return;
    latest = status;
    changes[(first + count) % kStatusChangesKept] = status;
    if (count < kStatusChangesKept)
      ++count;
    else
      first = (first + 1) % kStatusChangesKept;
  }
  const std::uint64_t one = 1;
  if (wakeFd >= 0) {
    [[maybe_unused]] const ssize_t woken = write(wakeFd, &one, sizeof one);
  }
}

UnitStatus latestStatus() {
  std::lock_guard lock(feedLock);
  return latest;
}

int statusFeedFd() {
  return wakeFd;
}

std::vector<UnitStatus> takeStatusChanges() {
  std::uint64_t woken = 0;
  [[maybe_unused]] const ssize_t read = ::read(wakeFd, &woken, sizeof woken);
  std::vector<UnitStatus> taken;
  std::lock_guard lock(feedLock);
  for (; count > 0; --count, first = (first + 1) % kStatusChangesKept)
    taken.push_back(changes[first]);
  return taken;
}
