// The zephyrix program itself on a private X server, worked as a hand would:
// started in a directory of its own (its preset file and zephyrix.log land
// there), its window found by title, its buttons clicked with xdotool, and what
// it made of them read back with its own --status.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "panel/button_table.h"
#include "panel/panel_images.h"
#include "platform/surface.h"
#include "platform/version.h"
#include "platform/window.h"
#include "support/child_process.h"
#include "support/wait_for.h"
#include "support/x_server.h"

struct PanelProgram {
  std::string program;
  pid_t pid = 0;
  int scale = 2;
  int left = 0, top = 0;  // of the window's client area on the screen

  // Starts `program` with `options` in `dir` on display `x` with the extra
  // `environment`.
  void launch(const std::string& program, const std::filesystem::path& dir, const XServer& x,
              const std::map<std::string, std::string>& environment = {},
              const std::vector<std::string>& options = {}) {
    this->program = program;
    pid = fork();
    if (pid == 0) {
      if (chdir(dir.c_str()) != 0) _exit(126);
      const int log = open("zephyrix.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (log >= 0) {
        dup2(log, 1);
        dup2(log, 2);
      }
      setenv("DISPLAY", x.name().c_str(), 1);
      setenv("SDL_VIDEODRIVER", "x11", 1);
      setenv("ZEPHYRIX_SCALE", std::to_string(scale).c_str(), 1);
      // The X11 and D-Bus libraries keep allocations until exit.
      setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
      for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& o : options) argv.push_back(const_cast<char*>(o.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }

  // Waits up to `seconds` for the panel's window; false if it did not appear at
  // the panel's size.
  bool findWindow(int seconds) {
    auto g = windowGeometry(kZephyrixTitle, seconds);
    left = g["X"];
    top = g["Y"];
    return g["WIDTH"] == kWindowWidth * scale &&
           g["HEIGHT"] == (kWindowHeight - kHiddenTopRows) * scale;
  }

  // Clicks the middle of button `id` (DISPLAY must name the program's display).
  // The click is on its way: waitForStatus tells when the unit has acted on it.
  bool click(std::int32_t id) {
    const ButtonRect& r = buttonTable[id - 1];
    const int cx = left + (r.x + r.w / 2) * scale;
    const int cy = top + (r.y + r.h / 2 - kHiddenTopRows) * scale;
    const bool clicked = std::system(("timeout 10 xdotool mousemove --sync " + std::to_string(cx) +
                                      " " + std::to_string(cy) + " click 1")
                                         .c_str()) == 0;
    return clicked;
  }

  // The unit's status line as `zephyrix --status` prints it (through the
  // control socket in $XDG_RUNTIME_DIR), or "" while no unit answers there.
  std::string status() const { return runCommand("'" + program + "' --status 2>/dev/null"); }

  // Waits until the status line holds `part`: the unit has started (its
  // remote control answers once its devices are open) and acted on what it was
  // sent before. False, with the last line in `last`, if it never did.
  bool waitForStatus(const std::string& part, std::string* last = nullptr) const {
    std::string now;
    const bool shown = waitFor([&] { return (now = status()).find(part) != std::string::npos; });
    if (last) *last = now;
    return shown;
  }

  // Waits up to `seconds` for the program to end; its exit code, or -1.
  int waitForExit(double seconds) {
    const int code = waitForChild(pid, seconds);
    if (code >= 0) pid = 0;
    return code;
  }

  ~PanelProgram() { stopChild(pid, SIGKILL); }
};
