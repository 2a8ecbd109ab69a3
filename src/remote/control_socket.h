// Where a unit takes requests and its clients ask: one address for both ends.
#pragma once

#include <sys/un.h>

#include <string>

// $XDG_RUNTIME_DIR/zephyrix/control; without XDG_RUNTIME_DIR, a folder of
// /tmp named for the user.
std::string remoteControlPath();

// The socket address of remoteControlPath(), which `path` gets too. False
// when the path is too long for a socket address.
bool remoteControlAddress(sockaddr_un& address, std::string& path);
