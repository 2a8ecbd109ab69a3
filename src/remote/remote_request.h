// What another program may ask of a running unit through its control socket,
// one line of text each way:
//
//   send KEY...\n   press these keys of the panel (names as panelKeyNamed
//                   takes them), in order, as typed into the window
//   status\n        the unit's settings on one line (unit_status.h)
//   status json\n   the same as one JSON object (status_json.h)
//   watch[ json]\n  the status, then again at each change, until the unit ends
//
// and the answers of remote_answer.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "panel/panel_keys.h"

constexpr std::size_t kLongestRequest = 512;  // bytes, the newline included
constexpr int kMostKeys = 32;  // a request of this many of the longest names still fits

enum RemoteKind { RemoteSend, RemoteStatus, RemoteWatch };

struct RemoteRequest {
  RemoteKind kind;
  bool json;  // status and watch: the JSON object instead of the line
  int keyCount;
  const PanelKey* keys[kMostKeys];
};

// The one check of a key's name, for the command line and the unit alike:
// appends the key named `name` (in any case) to `request`. False, with why in
// `error`, for a name the panel does not know or a key more than kMostKeys.
bool addRequestKey(RemoteRequest& request, std::string_view name, std::string& error);

// Reads one request: `length` bytes that end with its newline. False, with why
// in `error` (one line), for anything else: no newline or bytes after it, a
// longer request, an unknown word, a key the panel does not know, no key or
// too many for send, anything but json after status or watch, bytes that are no printable text.
bool parseRemoteRequest(const char* bytes, std::size_t length, RemoteRequest& request,
                        std::string& error);

// The request line that asks for `request`.
std::string remoteRequestLine(const RemoteRequest& request);
