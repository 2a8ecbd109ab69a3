#include "remote/remote_watch.h"

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "remote/remote_answer.h"
#include "remote/status_feed.h"
#include "remote/status_json.h"

namespace {

struct Watcher {
  int fd;
  bool json;
  bool reading;  // it has not shut its sending side
  bool behind;   // a change did not fit its buffer
  bool gone;     // its socket failed
  std::string queued;
};

Watcher watchers[kMostWatchers];
int watcherCount = 0;
std::string lastLine, lastJson;  // the answer lines of the state last followed

void queueLatest(Watcher& w) {
  const std::string& line = w.json ? lastJson : lastLine;
  w.behind = w.queued.size() + line.size() > kWatchBuffer;
  if (!w.behind) w.queued += line;
}

// Sends as much as the socket takes now.
void sendQueued(Watcher& w) {
  while (!w.queued.empty() && !w.gone) {
    const ssize_t n = send(w.fd, w.queued.data(), w.queued.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      w.gone = errno != EAGAIN && errno != EINTR;
      return;
    }
    w.queued.erase(0, static_cast<std::size_t>(n));
    if (w.queued.empty() && w.behind) queueLatest(w);
  }
}

// False once the watcher has gone; what it sends means nothing.
bool readFrom(Watcher& w) {
  char ignored[256];
  const ssize_t n = read(w.fd, ignored, sizeof ignored);
  if (n == 0) w.reading = false;
  return n >= 0 || errno == EAGAIN || errno == EINTR;
}

void dropWatcher(int index) {
  close(watchers[index].fd);
  watchers[index] = std::move(watchers[--watcherCount]);
}

void follow(const UnitStatus& status) {
  std::string line = remoteAnswerLine(AnswerOk, unitStatusLine(status));
  if (line == lastLine) return;
  lastLine = std::move(line);
  lastJson = remoteAnswerLine(AnswerOk, unitStatusJson(status));
  // Sent at once, the buffer holds only what the socket does not take, however
  // many changes come together.
  for (int i = 0; i < watcherCount; ++i) {
    queueLatest(watchers[i]);
    sendQueued(watchers[i]);
  }
}

}  // namespace

void startWatching(const UnitStatus& status) {
  lastLine.clear();
  follow(status);
}

void followStatusFeed() {
  for (const UnitStatus& status : takeStatusChanges()) follow(status);
}

bool addWatcher(int fd, bool json) {
  if (watcherCount == kMostWatchers) return false;
  Watcher& w = watchers[watcherCount++];
  w = Watcher{fd, json, true, false, false, {}};
  queueLatest(w);
  return true;
}

int watcherPolls(pollfd* polls) {
  for (int i = 0; i < watcherCount; ++i) {
    const Watcher& w = watchers[i];
    const short events = (w.reading ? POLLIN : 0) | (w.queued.empty() ? 0 : POLLOUT);
    polls[i] = {w.fd, events, 0};
  }
  return watcherCount;
}

void serveWatchers(const pollfd* polls, int count) {
  for (int i = count - 1; i >= 0; --i) {
    Watcher& w = watchers[i];
    if ((polls[i].revents & (POLLHUP | POLLERR)) != 0 ||
        ((polls[i].revents & POLLIN) != 0 && !readFrom(w)))
      w.gone = true;
    sendQueued(w);
    if (w.gone) dropWatcher(i);
  }
}

void dropWatchers() {
  for (int i = watcherCount - 1; i >= 0; --i) {
    sendQueued(watchers[i]);
    dropWatcher(i);
  }
}
