#include "remote/remote_control.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "remote/control_socket.h"
#include "remote/remote_request.h"
#include "remote/unit_status.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kReadPatience = 1000ms;  // for a client to send its request
constexpr auto kAnswerPatience = 3s;    // for the window thread (a box may hold it)

int listenFd = -1;
int wakeFds[2] = {-1, -1};  // written to stop the server thread
WindowHandle unitWindow = nullptr;
std::string socketPath;
// Never destroyed: a process that exits while the thread runs must not be
// aborted by std::thread's destructor.
std::thread& server = *new std::thread();

// Between the server thread and the window thread.
std::mutex answerLock;
std::condition_variable answered;
std::uint32_t answeredNumber = 0;
bool keyDropped = false;
int keysTaken = 0;  // of the request in hand
bool stopping = false;
std::string statusAnswer;

// The folder exists, is a folder (no link), is the user's and only the user's.
bool ownFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
    return false;
  return (st.st_mode & 0777) == 0700 || chmod(folder.c_str(), 0700) == 0;
}

// Whether a unit answers on the socket at `address`.
bool answering(const sockaddr_un& address) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// The listening socket, or -1 (and `taken` when another unit has it).
int listenAt(const sockaddr_un& address, const std::string& path, bool& taken) {
  taken = false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!bound && errno == EADDRINUSE) {
    taken = answering(address);
    // Nobody answers: a unit that was killed left it.
    if (!taken && unlink(path.c_str()) == 0)
      bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  if (!bound || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Reads one request of at most kLongestRequest bytes, up to its newline.
std::string readRequest(int fd) {
  std::string bytes;
  const auto until = std::chrono::steady_clock::now() + kReadPatience;
  char chunk[256];
  while (bytes.find('\n') == std::string::npos && bytes.size() <= kLongestRequest) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  return bytes;
}

// Hands the request to the window thread and waits for its answer.
std::string perform(const RemoteRequest& request) {
  static std::uint32_t number = 0;
  if (messageBoxOpen()) return answerLine(kAnswerBox);
  const std::uint32_t boxes = messageBoxesShown();
  ++number;
  {
    std::lock_guard lock(answerLock);
    keyDropped = false;
    keysTaken = 0;
  }
  bool posted = true;
  for (int i = 0; i < request.keyCount; ++i)
    posted = posted && postMessage(unitWindow, kMsgRemoteKey, boxes,
                                   packKey(request.keys[i]->code, request.keys[i]->modifiers));
  posted = posted &&
           postMessage(unitWindow, request.kind == RemoteStatus ? kMsgRemoteStatus : kMsgRemoteDone,
                       0, number);
  if (!posted) return answerLine(kAnswerBad, "the unit could not take it");
  std::unique_lock lock(answerLock);
  const bool done = answered.wait_for(lock, kAnswerPatience,
                                      [&] { return answeredNumber == number || stopping; });
  if (keyDropped) return answerLine(kAnswerBox);
  // The last key may itself open a box (F1), which holds the window thread
  // until it is closed: done, as far as the request goes.
  if (!done && messageBoxOpen())
    return answerLine(keysTaken == request.keyCount ? kAnswerOk : kAnswerBox);
  if (!done) return answerLine(kAnswerBad, "the unit did not answer");
  if (request.kind == RemoteStatus && answeredNumber == number)
    return answerLine(kAnswerOk, statusAnswer);
  return answerLine(kAnswerOk);
}

void answer(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void serveClient(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != geteuid())
    return answer(fd, answerLine(kAnswerRefused));
  const std::string bytes = readRequest(fd);
  RemoteRequest request;
  std::string error;
  if (!parseRemoteRequest(bytes.data(), bytes.size(), request, error))
    return answer(fd, answerLine(kAnswerBad, error));
  answer(fd, perform(request));
}

void serve() {
  for (;;) {
    pollfd p[2] = {{listenFd, POLLIN, 0}, {wakeFds[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) return;
    if (p[1].revents != 0) return;
    if (p[0].revents == 0) continue;
    const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    serveClient(client);
    close(client);
  }
}

}  // namespace

void startRemoteControl(WindowHandle window) {
  if (listenFd >= 0) return;
  sockaddr_un address;
  std::string path;
  const bool addressed = remoteControlAddress(address, path);
  bool taken = false;
  if (!ownFolder(path.substr(0, path.rfind('/'))) || !addressed ||
      (listenFd = listenAt(address, path, taken)) < 0) {
    std::fprintf(stderr, "zephyrix: %s; this unit has no remote control\n",
                 taken ? "another unit is running" : "cannot make its control socket");
    return;
  }
  if (pipe2(wakeFds, O_CLOEXEC) != 0) {
    close(listenFd);
    unlink(path.c_str());
    listenFd = -1;
    return;
  }
  unitWindow = window;
  socketPath = path;
  stopping = false;
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
  close(listenFd);
  close(wakeFds[0]);
  close(wakeFds[1]);
  unlink(socketPath.c_str());
  listenFd = wakeFds[0] = wakeFds[1] = -1;
}

bool takeRemoteMessage(const Message& msg) {
  switch (msg.message) {
    case kMsgRemoteKey:
      if (msg.wParam != messageBoxesShown()) {
        std::lock_guard lock(answerLock);
        keyDropped = true;
      } else {
        {
          std::lock_guard lock(answerLock);
          ++keysTaken;
        }
        const Message key{msg.window, kMsgKeyDown, 0, msg.lParam};
        dispatchMessage(&key);
      }
      return true;
    case kMsgRemoteStatus:
    case kMsgRemoteDone: {
      std::string line = msg.message == kMsgRemoteStatus ? unitStatusLine() : std::string();
      {
        std::lock_guard lock(answerLock);
        statusAnswer = std::move(line);
        answeredNumber = msg.lParam;
      }
      answered.notify_all();
      return true;
    }
    default:
      return false;
  }
}
