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
constexpr Clock::time_point kNoDeadline = Clock::time_point::max();
constexpr std::size_t kLongestAnswer = 4096;  // bytes before a newline: more is no answer

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

// Connects to the user's own unit and sends it `request`, within `deadline`;
// the socket, or -1 with why when no unit of the user's can be reached.
int openExchange(const std::string& request, Clock::time_point deadline, std::string& why) {
  RemotePlace place;
  sockaddr_un address;
  if (!remotePlace(place, why) || !ownRemoteFolder(place.folder, false, why)) return -1;
  if (!remoteSocketAddress(place.socket, address)) {
    why = "its control socket's path is too long";
    return -1;
  }
  const int fd = connectBefore(address, deadline, why);
  if (fd < 0) return -1;
  if (remotePeerUser(fd) != static_cast<long>(geteuid())) {
    close(fd);
    why = "the control socket is held by another user";
    return -1;
  }
  for (std::size_t sent = 0; sent < request.size();) {
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, millisecondsUntil(deadline)) <= 0) break;
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) break;  // an answer may have come all the same
    sent += static_cast<std::size_t>(n);
  }
  return fd;
}

// The next line the unit sends, without its newline, from what is `buffered`
// and what comes before `deadline` (kNoDeadline: however long it takes);
// false at the end, an error, or the deadline.
bool readLine(int fd, std::string& buffered, Clock::time_point deadline, std::string& line) {
  char chunk[512];
  std::size_t end;
  while ((end = buffered.find('\n')) == std::string::npos) {
    if (buffered.size() > kLongestAnswer) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, deadline == kNoDeadline ? -1 : millisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    buffered.append(chunk, static_cast<std::size_t>(n));
  }
  line = buffered.substr(0, end);
  buffered.erase(0, end + 1);
  return true;
}

void sayNoUnit(const std::string& why) {
  std::fprintf(stderr, "zephyrix: %s\n",
               why == "no unit is running" ? why.c_str() : ("no unit is running: " + why).c_str());
}

// Sends `request` and reads the unit's first answer, the whole exchange within
// kRemoteExchangeLimitMs: the socket, or -1 after saying why on standard error.
int exchange(const RemoteRequest& request, std::string& buffered, std::string& answer) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kRemoteExchangeLimitMs);
  std::string why;
  const int fd = openExchange(remoteRequestLine(request), deadline, why);
  if (fd >= 0 && readLine(fd, buffered, deadline, answer)) return fd;
  if (fd >= 0) {
    close(fd);
    why = "the unit did not answer";
  }
  sayNoUnit(why);
  return -1;
}

// The exit code of an answer; what it says goes to standard output for ok,
// else to standard error.
int tell(const std::string& answer) {
  std::string text;
  const int code = readRemoteAnswer(answer, text);
  if (code != kRemoteDone) {
    std::fprintf(stderr, "zephyrix: %s\n", text.c_str());
  } else if (!text.empty()) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
  return code;
}

int askUnit(const RemoteRequest& request) {
  std::string buffered, answer;
  const int fd = exchange(request, buffered, answer);
  if (fd < 0) return kRemoteNoUnit;
  close(fd);
  return tell(answer);
}

}  // namespace

int sendKeysToUnit(const RemoteRequest& request) {
  return askUnit(request);
}

int printUnitStatus(bool json) {
  RemoteRequest request{};
  request.kind = RemoteStatus;
  request.json = json;
  return askUnit(request);
}

int watchUnitStatus(bool json) {
  RemoteRequest request{};
  request.kind = RemoteWatch;
  request.json = json;
  std::string buffered, answer;
  const int fd = exchange(request, buffered, answer);
  if (fd < 0) return kRemoteNoUnit;
  int code = kRemoteDone;
  do code = tell(answer);
  while (code == kRemoteDone && readLine(fd, buffered, kNoDeadline, answer));
  close(fd);
  return code;
}
