// Where a unit and the programs that work it meet: a folder of the user's own
// in $XDG_RUNTIME_DIR, holding the control socket and the lock file whose
// holder is the one unit that serves it. Both ends refuse a folder that is a
// link, not the user's, or open to anyone else, and there is no fallback to a
// shared folder such as /tmp, where another user could be there first.
#pragma once

#include <sys/un.h>

#include <string>

struct RemotePlace {
  std::string folder;  // $XDG_RUNTIME_DIR/zephyrix
  std::string socket;  // the folder's "control"
  std::string lock;    // the folder's "lock"
};

// The place for this user; false, with why (a clause), when XDG_RUNTIME_DIR
// is not set to an absolute path.
bool remotePlace(RemotePlace& place, std::string& why);

// Whether `folder` is the user's alone: a real folder (no link), owned by the
// effective user, mode 0700. With `make` it is made where missing and its mode
// put right if it is the user's. False, with why (a clause), otherwise.
bool ownRemoteFolder(const std::string& folder, bool make, std::string& why);

// The socket address of `path`; false if the path does not fit.
bool remoteSocketAddress(const std::string& path, sockaddr_un& address);

// The user id of the other end of a connected Unix socket, or -1.
long remotePeerUser(int fd);
