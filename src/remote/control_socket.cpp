#include "remote/control_socket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

std::string remoteControlPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string base = runtime != nullptr && *runtime == '/'
                               ? std::string(runtime) + "/zephyrix"
                               : std::string("/tmp/zephyrix-").append(std::to_string(geteuid()));
  return base + "/control";
}

bool remoteControlAddress(sockaddr_un& address, std::string& path) {
  path = remoteControlPath();
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}
