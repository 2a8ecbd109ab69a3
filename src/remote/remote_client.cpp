#include "remote/remote_client.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/exit_status.h"
#include "remote/remote_answer.h"
#include "remote/remote_place.h"
#include "remote/remote_request.h"

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left before `deadline`, at least 0.
int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connects to the unit's socket within the deadline: a unit busy with other
// clients leaves this one in its backlog, which a full backlog refuses for now.
int connectBefore(const sockaddr_un& address, Clock::time_point deadline, std::string& why) {
  for (;;) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      why = std::string("cannot reach the unit: ") + std::strerror(errno);
      return -1;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    const int error = errno;
    close(fd);
    if (error != EAGAIN || millisecondsUntil(deadline) == 0) {
      why = error == ENOENT || error == ECONNREFUSED ? "no unit is running"
            : error == EAGAIN                        ? "the unit did not answer"
                              : std::string("cannot reach the unit: ") + std::strerror(error);
      return -1;
    }
    poll(nullptr, 0, 10);
  }
}

// Sends `request` to the user's own unit and reads its one-line answer, the
// whole exchange within kRemoteExchangeLimitMs; false, with why, when no unit
// of the user's can be reached.
bool ask(const std::string& request, std::string& answer, std::string& why) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kRemoteExchangeLimitMs);
  RemotePlace place;
  sockaddr_un address;
  if (!remotePlace(place, why) || !ownRemoteFolder(place.folder, false, why)) return false;
  if (!remoteSocketAddress(place.socket, address)) {
    why = "its control socket's path is too long";
    return false;
  }
  const int fd = connectBefore(address, deadline, why);
  if (fd < 0) return false;
  if (remotePeerUser(fd) != static_cast<long>(geteuid())) {
    close(fd);
    why = "the control socket is held by another user";
    return false;
  }
  std::size_t sent = 0;
  char chunk[512];
  while (answer.find('\n') == std::string::npos) {
    pollfd p{fd, static_cast<short>(sent < request.size() ? POLLOUT : POLLIN), 0};
    if (poll(&p, 1, millisecondsUntil(deadline)) <= 0) break;
    const ssize_t n = sent < request.size()
                          ? send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL)
                          : read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) break;
    if (sent < request.size())
      sent += static_cast<std::size_t>(n);
    else
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
    std::fprintf(
        stderr, "zephyrix: %s\n",
        why == "no unit is running" ? why.c_str() : ("no unit is running: " + why).c_str());
    return kRemoteNoUnit;
  }
  std::string text;
  const int code = readRemoteAnswer(answer, text);
  if (code == kRemoteDone)
    said = text;
  else
    std::fprintf(stderr, "zephyrix: %s\n", text.c_str());
  return code;
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
