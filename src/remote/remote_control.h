// Other programs working a running unit (`zephyrix --send`, `--status`,
// `--watch`):
// requests come through a Unix socket in a folder only the user may enter
// (remote_place.h), and the unit answers only its own user. One thread serves
// every client, each with its own deadline; the keys a request presses reach
// the window thread as messages, like keys typed, and only while the client
// still waits for its answer. The status is answered from the state the window
// thread last published (status_feed.h), so a box in the way does not hold
// it, and watchers are pushed its changes by the same thread
// (remote_watch.h). The audio thread never sees any of it.
#pragma once

#include <cstdint>

#include "platform/window.h"

// The messages a request becomes. A key is taken only while its request is
// the one waiting, and dropped (the request answered "box") when a box was
// opened between its sending and its turn.
constexpr std::uint32_t kMsgRemoteKey = kMsgFirstPrivate;       // wParam: request; lParam: packKey
constexpr std::uint32_t kMsgRemoteDone = kMsgFirstPrivate + 1;  // lParam: the request's number

// Starts taking requests for `window`, if this unit is the one that holds the
// folder's lock; a socket left by a unit that was killed is replaced. Where
// another unit runs, or the folder cannot be used, one line on standard error
// says this one has no remote control, and the unit goes on without.
void startRemoteControl(WindowHandle window);

// Answers what is still waiting, stops taking requests, and removes the socket
// if it is still this unit's own.
void stopRemoteControl();

// On the window thread, for every message before it is dispatched: true if it
// was one of the messages above, which it has then handled.
bool takeRemoteMessage(const Message& msg);

// On the window thread after every message it has handled: the state that
// status requests are answered with from then on, and a change for watchers
// if it differs. It never waits for a client.
void publishUnitStatus();
