#include "remote/remote_control.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "remote/remote_answer.h"
#include "remote/remote_client.h"
#include "remote/remote_control_testing.h"
#include "remote/remote_place.h"
#include "remote/remote_request.h"
#include "remote/remote_watch.h"
#include "remote/status_feed.h"
#include "remote/status_json.h"
#include "remote/unit_status.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kMostClients = 32;          // waiting at once; more wait in the backlog
constexpr auto kReadPatience = 1000ms;    // for a client to send its request
constexpr auto kAnswerPatience = 3000ms;  // for the window thread
constexpr auto kAnswerLook = 20ms;        // how often a wait looks at the client and at boxes
constexpr auto kAcceptBackOff = 100ms;    // after accept fails for want of descriptors
static_assert(kReadPatience + kAnswerPatience < std::chrono::milliseconds(kRemoteExchangeLimitMs),
              "a client waits longer than the unit takes to answer it");

struct Client {
  int fd;
  Clock::time_point deadline;  // for its request
  std::size_t length;
  char bytes[kLongestRequest + 1];
};

int listenFd = -1;
int lockFd = -1;
int wakeFds[2] = {-1, -1};  // written to stop the server thread
struct stat socketIdentity {};
WindowHandle unitWindow = nullptr;
RemotePlace place;
Client clients[kMostClients];
int clientCount = 0;
std::atomic<std::uint64_t> acceptFailures{0};
// Never destroyed: a process that exits while the thread runs must not be
// aborted by std::thread's destructor.
std::thread& server = *new std::thread();

// Between the server thread and the window thread.
std::mutex answerLock;
std::condition_variable answered;
std::uint32_t liveRequest = 0;   // the request whose keys may still be taken; 0: none
std::uint32_t requestBoxes = 0;  // boxes shown when it was handed over
std::uint32_t answeredNumber = 0;
bool keyDropped = false;
int keysTaken = 0;
bool stopping = false;

// Takes the lock file, which no other running unit holds: the lock goes with
// the process however it ends, and a child forked by it does not inherit it.
bool takeLock(const std::string& path, bool& taken) {
  taken = false;
  lockFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd < 0) return false;
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (fcntl(lockFd, F_SETLK, &whole) == 0) return true;
  taken = errno == EACCES || errno == EAGAIN;
  close(lockFd);
  lockFd = -1;
  return false;
}

// Binds the socket; the lock is ours, so a socket file already there was left
// by a unit that ended without removing it.
int listenAt(const std::string& path) {
  sockaddr_un address;
  if (!remoteSocketAddress(path, address)) return -1;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  unlink(path.c_str());
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, kMostClients) != 0 || stat(path.c_str(), &socketIdentity) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Whether the client has closed its end (given up waiting, or never meant to
// wait). One that has only stopped sending still waits for its answer.
bool hungUp(int fd) {
  pollfd p{fd, 0, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

// Ends the request handed over: keys of it not yet taken are dropped.
void withdraw() {
  std::lock_guard lock(answerLock);
  liveRequest = 0;
}

// The answer once the window thread has stopped taking the request's keys.
std::string outcome(const RemoteRequest& request, bool done) {
  std::lock_guard lock(answerLock);
  if (keyDropped) return remoteAnswerLine(AnswerBox);
  if (keysTaken < request.keyCount && stopping) return remoteAnswerLine(AnswerStopping);
  if (done || keysTaken == request.keyCount) return remoteAnswerLine(AnswerOk);
  if (keysTaken == 0) return remoteAnswerLine(AnswerBad, "the unit did not answer");
  // Some keys were pressed and the rest withdrawn: not done, and said so.
  return remoteAnswerLine(
      AnswerFailed, "the unit took only " + std::to_string(keysTaken) + " of the keys in time");
}

// Hands the keys to the window thread and waits for them, as long as the
// client waits: a client that hangs up has the keys not yet taken withdrawn.
std::string press(const RemoteRequest& request, int fd) {
  static std::uint32_t number = 0;
  if (messageBoxOpen()) return remoteAnswerLine(AnswerBox);
  if (++number == 0) ++number;
  const std::uint32_t boxes = messageBoxesShown();
  {
    std::lock_guard lock(answerLock);
    liveRequest = number;
    requestBoxes = boxes;
    keyDropped = false;
    keysTaken = 0;
  }
  bool posted = true;
  for (int i = 0; i < request.keyCount; ++i)
    posted = posted && postMessage(unitWindow, kMsgRemoteKey, number,
                                   packKey(request.keys[i]->code, request.keys[i]->modifiers));
  posted = posted && postMessage(unitWindow, kMsgRemoteDone, 0, number);
  if (!posted) {
    withdraw();
    return remoteAnswerLine(AnswerBad, "the unit could not take it");
  }
  const auto giveUp = Clock::now() + kAnswerPatience;
  bool done = false;
  std::string boxText;
  for (;;) {
    {
      std::unique_lock lock(answerLock);
      done = answered.wait_for(lock, kAnswerLook, [&] {
        return answeredNumber == number || stopping;
      }) && answeredNumber == number;
      if (done || stopping) break;
    }
    // A key that opened a box holds the window thread until the box is closed:
    // an error box (a Save that failed) says why it was not done; About is done.
    if (messageBoxesShown() != boxes && messageBoxOpen()) {
      withdraw();
      if (openErrorBox(boxText)) return remoteAnswerLine(AnswerFailed, boxText);
      break;
    }
    if (hungUp(fd) || Clock::now() > giveUp) break;
  }
  withdraw();
  return outcome(request, done);
}

std::string perform(const RemoteRequest& request, int fd) {
  if (request.kind == RemoteSend) return press(request, fd);
  const UnitStatus status = latestStatus();
  return remoteAnswerLine(AnswerOk, request.json ? unitStatusJson(status) : unitStatusLine(status));
}

void answer(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

// The client becomes a watcher, first told the latest state; its socket is
// the watchers' from then on.
void watch(Client& c, bool json) {
  followStatusFeed();
  if (!addWatcher(c.fd, json)) return answer(c.fd, remoteAnswerLine(AnswerBusy));
  c.fd = -1;
}

// A whole request has come (or more than one can be): it is answered, and
// carried out only if its client still waits for the answer.
void serveRequest(Client& c) {
  RemoteRequest request;
  std::string error;
  if (!parseRemoteRequest(c.bytes, c.length, request, error))
    return answer(c.fd, remoteAnswerLine(AnswerBad, error));
  if (hungUp(c.fd)) return;
  if (request.kind == RemoteWatch) return watch(c, request.json);
  answer(c.fd, perform(request, c.fd));
}

// --- The clients -------------------------------------------------------------

void acceptClient(Clock::time_point& acceptPause) {
  const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) {
    // Out of descriptors or memory: the connection stays in the backlog, and
    // the socket stays readable; trying again at once would spin.
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      acceptFailures.fetch_add(1, std::memory_order_relaxed);
      acceptPause = Clock::now() + kAcceptBackOff;
    }
    return;
  }
  if (remotePeerUser(fd) != static_cast<long>(geteuid())) {
    answer(fd, remoteAnswerLine(AnswerRefused));
    close(fd);
    return;
  }
  Client& c = clients[clientCount++];
  c.fd = fd;
  c.deadline = Clock::now() + kReadPatience;
  c.length = 0;
}

// Reads what the client sent; true once it is finished with (answered, gone,
// or sent more than a request can be).
bool readFrom(Client& c) {
  const ssize_t n = read(c.fd, c.bytes + c.length, sizeof c.bytes - c.length);
  if (n < 0) return errno != EAGAIN && errno != EINTR;
  c.length += static_cast<std::size_t>(n);
  const bool whole = std::find(c.bytes, c.bytes + c.length, '\n') != c.bytes + c.length;
  if (n == 0 || whole || c.length == sizeof c.bytes) {
    serveRequest(c);
    return true;
  }
  return false;
}

void dropClient(int index) {
  if (clients[index].fd >= 0) close(clients[index].fd);
  clients[index] = clients[--clientCount];
}

// Milliseconds until the nearest deadline, for poll; -1 for none.
int pollTimeout(Clock::time_point acceptPause) {
  Clock::time_point nearest = Clock::time_point::max();
  for (int i = 0; i < clientCount; ++i) nearest = std::min(nearest, clients[i].deadline);
  if (acceptPause > Clock::now()) nearest = std::min(nearest, acceptPause);
  if (nearest == Clock::time_point::max()) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(nearest - Clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

void serveClients(const pollfd* p, int polled) {
  for (int i = polled - 1; i >= 0; --i) {
    Client& c = clients[i];
    bool finished = p[i].revents != 0 && readFrom(c);
    // Past its deadline what came is all there is (another client's
    // request may have kept this thread while it came).
    if (!finished && Clock::now() >= c.deadline && !readFrom(c)) {
      serveRequest(c);
      finished = true;
    }
    if (finished) dropClient(i);
  }
}

// One thread serves every client: each has its own deadline for its request,
// so clients that send nothing hold up no one else; and every watcher, as far
// as it takes what it is sent.
void serve() {
  Clock::time_point acceptPause{};
  for (;;) {
    pollfd p[3 + kMostClients + kMostWatchers];
    const bool accepting = clientCount < kMostClients && Clock::now() >= acceptPause;
    p[0] = {wakeFds[0], POLLIN, 0};
    p[1] = {accepting ? listenFd : -1, POLLIN, 0};
    p[2] = {statusFeedFd(), POLLIN, 0};
    for (int i = 0; i < clientCount; ++i) p[3 + i] = {clients[i].fd, POLLIN, 0};
    const int polled = clientCount;
    const int watched = watcherPolls(p + 3 + polled);
    if (poll(p, static_cast<nfds_t>(3 + polled + watched), pollTimeout(acceptPause)) < 0 &&
        errno != EINTR)
      return;
    if (p[0].revents != 0) return;
    if (p[2].revents != 0) followStatusFeed();
    serveWatchers(p + 3 + polled, watched);
    serveClients(p + 3, polled);
    if (p[1].revents != 0) acceptClient(acceptPause);
  }
}

void closeAll() {
  for (int fd : {listenFd, lockFd, wakeFds[0], wakeFds[1]})
    if (fd >= 0) close(fd);
  listenFd = lockFd = wakeFds[0] = wakeFds[1] = -1;
  closeStatusFeed();
}

}  // namespace

void startRemoteControl(WindowHandle window) {
  if (listenFd >= 0) return;
  std::string why;
  bool taken = false;
  if (!remotePlace(place, why) || !ownRemoteFolder(place.folder, true, why) ||
      !takeLock(place.lock, taken) || (listenFd = listenAt(place.socket)) < 0 ||
      pipe2(wakeFds, O_CLOEXEC) != 0 || !openStatusFeed()) {
    if (taken) why = "another unit is running";
    if (why.empty()) why = std::string("cannot make its control socket: ") + std::strerror(errno);
    std::fprintf(stderr, "zephyrix: %s; this unit has no remote control\n", why.c_str());
    closeAll();
    return;
  }
  unitWindow = window;
  stopping = false;
  clientCount = 0;
  publishUnitStatus();
  startWatching(latestStatus());
  server = std::thread(serve);
}

void stopRemoteControl() {
  if (listenFd < 0) return;
  {
    std::lock_guard lock(answerLock);
    stopping = true;
  }
  answered.notify_all();
  const char stop = 1;
  [[maybe_unused]] const ssize_t woken = write(wakeFds[1], &stop, 1);
  if (server.joinable()) server.join();
  while (clientCount > 0) dropClient(clientCount - 1);
  dropWatchers();
  // Only our own socket goes: the path may have been taken over since.
  struct stat now {};
  if (stat(place.socket.c_str(), &now) == 0 && now.st_dev == socketIdentity.st_dev &&
      now.st_ino == socketIdentity.st_ino)
    unlink(place.socket.c_str());
  closeAll();
}

void publishUnitStatus() {
  publishStatus(readUnitStatus());
}

bool takeRemoteMessage(const Message& msg) {
  switch (msg.message) {
    case kMsgRemoteKey: {
      bool take = false;
      {
        std::lock_guard lock(answerLock);
        take = msg.wParam == liveRequest && !stopping;
        if (take && messageBoxesShown() != requestBoxes) {
          keyDropped = true;
          take = false;
        }
        if (take) ++keysTaken;
      }
      if (take) {
        const Message key{msg.window, kMsgKeyDown, 0, msg.lParam};
        dispatchMessage(&key);
      }
      return true;
    }
    case kMsgRemoteDone: {
      {
        std::lock_guard lock(answerLock);
        answeredNumber = msg.lParam;
      }
      answered.notify_all();
      return true;
    }
    default:
      return false;
  }
}

std::uint64_t remoteAcceptFailures() {
  return acceptFailures.load(std::memory_order_relaxed);
}
