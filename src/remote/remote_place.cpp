#include "remote/remote_place.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

bool remotePlace(RemotePlace& place, std::string& why) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime != '/') {
    why = "XDG_RUNTIME_DIR is not set to a folder of the user's";
    return false;
  }
  place.folder = std::string(runtime) + "/zephyrix";
  place.socket = place.folder + "/control";
  place.lock = place.folder + "/lock";
  return true;
}

bool ownRemoteFolder(const std::string& folder, bool make, std::string& why) {
  if (make && mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    why = folder + " cannot be made: " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) {
    // Where no unit has ever made it, none is running.
    why = errno == ENOENT ? "no unit is running" : folder + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    why = folder + " is not a folder";
    return false;
  }
  if (st.st_uid != geteuid()) {
    why = folder + " belongs to another user";
    return false;
  }
  if ((st.st_mode & 07777) != 0700 && !(make && chmod(folder.c_str(), 0700) == 0)) {
    why = folder + " is open to other users";
    return false;
  }
  return true;
}

bool remoteSocketAddress(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

long remotePeerUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return -1;
  return static_cast<long>(peer.uid);
}
