#include "remote/remote_client.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/exit_status.h"
#include "remote/control_socket.h"

namespace {

constexpr int kAnswerMilliseconds = 5000;

// Sends `request` and reads the one-line answer; false, with why, when the
// unit cannot be reached.
bool ask(const std::string& request, std::string& answer, std::string& why) {
  sockaddr_un address;
  std::string path;
  if (!remoteControlAddress(address, path)) {
    why = "its control socket's path is too long";
    return false;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    why = errno == ENOENT || errno == ECONNREFUSED
              ? "no unit is running"
              : std::string("cannot reach the unit: ") + std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  bool sent = send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
              static_cast<ssize_t>(request.size());
  char chunk[512];
  pollfd p{fd, POLLIN, 0};
  while (sent && answer.find('\n') == std::string::npos && poll(&p, 1, kAnswerMilliseconds) > 0) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    answer.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  if (answer.find('\n') == std::string::npos) {
    why = "the unit did not answer";
    return false;
  }
  answer.erase(answer.find('\n'));
  return true;
}

int askUnit(const RemoteRequest& request, std::string& said) {
  std::string answer, why;
  if (!ask(remoteRequestLine(request), answer, why)) {
    std::fprintf(stderr, "zephyrix: %s\n", why.c_str());
    return kRemoteNoUnit;
  }
  const std::string ok = kAnswerOk, bad = std::string(kAnswerBad) + " ";
  if (answer == ok || answer.rfind(ok + " ", 0) == 0) {
    said = answer.size() > ok.size() ? answer.substr(ok.size() + 1) : "";
    return kRemoteDone;
  }
  if (answer == kAnswerBox) {
    std::fprintf(stderr, "zephyrix: not done: a box is open in the unit\n");
    return kRemoteBoxOpen;
  }
  if (answer == kAnswerRefused) {
    std::fprintf(stderr, "zephyrix: the unit answers only its own user\n");
    return kRemoteNoUnit;
  }
  std::fprintf(stderr, "zephyrix: the unit says: %s\n",
               answer.rfind(bad, 0) == 0 ? answer.c_str() + bad.size() : answer.c_str());
  return kRemoteBad;
}

}  // namespace

int sendKeysToUnit(const RemoteRequest& request) {
  std::string said;
  return askUnit(request, said);
}

int printUnitStatus() {
  RemoteRequest request{};
  request.kind = RemoteStatus;
  std::string line;
  const int code = askUnit(request, line);
  if (code == kRemoteDone) std::printf("%s\n", line.c_str());
  return code;
}
