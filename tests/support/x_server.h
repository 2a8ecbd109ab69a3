// A private X server for tests that drive real windows: Xvfb on a free display,
// shell commands with their output, and the geometry of a window by its title.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/surface.h"
#include "platform/window.h"

inline bool haveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Output of a shell command, or "" if it failed.
inline std::string runCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  return pclose(p) == 0 ? out : "";
}

struct XServer {
  pid_t pid = 0;
  int display = -1;

  // Starts Xvfb on a free display; false if it did not come up within 10 s.
  bool start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      FILE* quiet = std::freopen("/dev/null", "w", stderr);
      (void)quiet;
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
      char c;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    display = number.empty() ? -1 : std::atoi(number.c_str());
    return display >= 0;
  }
  std::string name() const {
    std::string text = ":";
    text += std::to_string(display);
    return text;
  }
  ~XServer() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

// X, Y, WIDTH and HEIGHT of the visible window with this exact title, waiting up
// to `seconds` for it to appear; empty if it did not.
inline std::map<std::string, int> windowGeometry(const std::string& title, int seconds) {
  std::map<std::string, int> g;
  const std::string out = runCommand("timeout " + std::to_string(seconds) +
                                     " xdotool search --sync --onlyvisible --name '^" + title +
                                     "$' getwindowgeometry --shell");
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) g[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    start = end + 1;
  }
  return g;
}

// Photographs the screen's rectangle (left, top, width x height) into `shot`
// and counts the pixels that differ from the window surface pixel each stands
// for at this scale; -1 if no photograph could be taken.
inline int pixelsDifferingFromSurface(const std::filesystem::path& shot, int left, int top,
                                      int width, int height, int scale) {
  const std::string crop = std::to_string(width) + "x" + std::to_string(height) + "+" +
                           std::to_string(left) + "+" + std::to_string(top);
  if (std::system(("timeout 20 import -window root -crop " + crop +
                   " +repage -depth 8 rgb:" + shot.string())
                      .c_str()) != 0)
    return -1;
  std::ifstream in(shot, std::ios::binary);
  const std::vector<unsigned char> rgb((std::istreambuf_iterator<char>(in)), {});
  if (rgb.size() != static_cast<std::size_t>(width) * height * 3) return -1;
  int wrong = 0;
  for (int cy = 0; cy < height; ++cy)
    for (int cx = 0; cx < width; ++cx) {
      const unsigned char* p = &rgb[(static_cast<std::size_t>(cy) * width + cx) * 3];
      const std::uint32_t shown = p[0] << 16 | p[1] << 8 | p[2];
      if (shown != windowSurface[cy / scale + kHiddenTopRows][cx / scale]) ++wrong;
    }
  return wrong;
}
