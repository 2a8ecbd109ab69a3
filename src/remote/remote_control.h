// Other programs working a running unit (`zephyrix --send`, `--status`):
// requests come through a Unix socket in a folder only the user may enter, and
// the unit answers only its own user. A thread of its own takes one request at
// a time; what a request asks reaches the window thread as messages, like keys,
// and the audio thread never sees any of it.
#pragma once

#include <cstdint>

#include "platform/window.h"

// The messages a request becomes. A key is dropped (the request answered
// "box") when a box was opened between its sending and its turn.
constexpr std::uint32_t kMsgRemoteKey = kMsgFirstPrivate;  // wParam: boxes shown; lParam: packKey
constexpr std::uint32_t kMsgRemoteDone = kMsgFirstPrivate + 1;    // lParam: the request's number
constexpr std::uint32_t kMsgRemoteStatus = kMsgFirstPrivate + 2;  // lParam: the request's number

// Starts taking requests for `window`. A socket left by a unit that was killed
// is replaced; where another unit runs and has it, one line on standard error
// says this one has no remote control, and the unit goes on without.
void startRemoteControl(WindowHandle window);

// Answers what is still waiting, stops taking requests and removes the socket.
void stopRemoteControl();

// On the window thread, for every message before it is dispatched: true if it
// was one of the messages above, which it has then handled.
bool takeRemoteMessage(const Message& msg);
