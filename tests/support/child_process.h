// Programs that a test runs in the background: started with their output in a
// log file, waited for with a time limit, stopped by their process id; and what
// a process or thread is doing, as /proc tells.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

// Runs `argv` in the background with its output in `log`; its process id, or -1.
inline pid_t spawnProgram(const std::vector<std::string>& argv, const std::string& log) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// Waits up to `seconds` for a child to end: its exit code (128 + signal when
// killed), or -1 if it is still running.
inline int waitForChild(pid_t pid, double seconds) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  do {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < giveUp);
  return -1;
}

// Asks a child to end with `sig` and waits for it; SIGKILL after 5 s.
inline void stopChild(pid_t& pid, int sig = SIGTERM) {
  if (pid <= 0) return;
  kill(pid, sig);
  if (waitForChild(pid, 5) < 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  pid = 0;
}

// The state letter of process or thread `id` in /proc: 'S' while it waits in a
// system call; '?' when there is no such process.
inline char processState(pid_t id) {
  std::ifstream in("/proc/" + std::to_string(id) + "/stat");
  const std::string stat((std::istreambuf_iterator<char>(in)), {});
  const std::size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}
