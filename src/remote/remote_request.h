// What another program may ask of a running unit through its control socket,
// one line of text each way:
//
//   send KEY...\n   press these keys of the panel (names as panelKeyNamed
//                   takes them), in order, as typed into the window
//   status\n        the unit's settings on one line (unit_status.h)
//
// and the answers: "ok\n" (with the line after "ok " for status), "box\n"
// (nothing done: a box is open in the unit), "bad WHY\n" or "refused\n".
#pragma once

#include <cstddef>
#include <string>

#include "panel/panel_keys.h"

constexpr std::size_t kLongestRequest = 512;  // bytes, the newline included
constexpr int kMostKeys = 32;  // a request of this many of the longest names still fits

enum RemoteKind { RemoteSend, RemoteStatus };

struct RemoteRequest {
  RemoteKind kind;
  int keyCount;
  const PanelKey* keys[kMostKeys];
};

// Reads one request: `length` bytes that end with its newline. False, with why
// in `error` (one line), for anything else: no newline or bytes after it, a
// longer request, an unknown word, a key the panel does not know, no key or
// too many for send, anything after status, bytes that are no printable text.
bool parseRemoteRequest(const char* bytes, std::size_t length, RemoteRequest& request,
                        std::string& error);

// The request line that asks for `request`.
std::string remoteRequestLine(const RemoteRequest& request);
