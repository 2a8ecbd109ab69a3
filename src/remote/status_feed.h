// The unit's state as the window thread publishes it after every message, for
// the control socket's thread: the latest state for status requests, and each
// change in order for watchers. The window thread never waits for the reader:
// it copies a few words under a lock that the reader holds only to copy them,
// and wakes the reader through an eventfd, whose write does not block.
#pragma once

#include <vector>

#include "remote/unit_status.h"

// Changes kept for the reader; with more, the oldest are lost (the reader
// still ends on the latest state).
constexpr int kStatusChangesKept = 64;

// Makes the reader's wake-up descriptor and forgets the changes kept; false if
// the descriptor cannot be made.
bool openStatusFeed();
void closeStatusFeed();

// Window thread: the state now, kept as a change if it differs from the last.
void publishStatus(const UnitStatus& status);

// Reader: the latest state published.
UnitStatus latestStatus();

// Reader: readable while changes wait to be taken.
int statusFeedFd();

// Reader: the changes published since the last take, oldest first.
std::vector<UnitStatus> takeStatusChanges();
