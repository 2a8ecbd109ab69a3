// The watchers of the unit's state (`zephyrix --watch`): clients that, after
// their first answer, are sent another at each change of the status line until
// the unit ends. All of it runs on the control socket's thread, in its poll
// loop. Each watcher has an outgoing buffer of kWatchBuffer bytes, written
// without blocking as far as its socket takes it: a watcher that does not read
// holds up no one. One whose buffer is full misses the changes meanwhile and is
// sent the newest state once it has taken what was buffered, so it always ends
// on the latest state.
#pragma once

#include <poll.h>

#include <cstddef>

#include "remote/unit_status.h"

constexpr int kMostWatchers = 8;  // besides the clients waiting for an answer
constexpr std::size_t kWatchBuffer = 8192;

// Starts from `status`, the state a new watcher is first told.
void startWatching(const UnitStatus& status);

// Takes the changes the window thread has published and queues each for every
// watcher, when its status line differs from the last one.
void followStatusFeed();

// Takes the connected client `fd` as a watcher, its first answer queued: the
// state last followed, as the line or as JSON. False when kMostWatchers watch.
bool addWatcher(int fd, bool json);

// Fills `polls` for the watchers; how many.
int watcherPolls(pollfd* polls);

// After poll, with the same entries and no watcher added between: reads and
// drops what watchers send, sends what is queued, and lets go of those that
// have gone.
void serveWatchers(const pollfd* polls, int count);

// Sends what the socket takes at once, then closes every watcher.
void dropWatchers();
