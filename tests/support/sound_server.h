// The private sound server of scripts/sound_server.sh for a test process. Its
// variables are put into this process's environment, so every program started
// afterwards talks to it; it is stopped when the object goes, and by itself
// should this process be killed first.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/x_server.h"

class SoundServer {
 public:
  // What keeps the server from running here, or "" if nothing does.
  static std::string missing() {
    const char* script = std::getenv("ZEPHYRIX_SOUND_SERVER");
    if (!script || !*script) return "ZEPHYRIX_SOUND_SERVER names no script";
    for (const char* tool : {"pipewire", "wireplumber", "pipewire-pulse", "dbus-daemon", "pactl",
                             "paplay", "parecord"})
      if (!haveProgram(tool)) return std::string(tool) + " is not installed";
    return "";
  }

  // Starts the server (the script reports why it could not on stderr).
  bool start() {
    script_ = std::getenv("ZEPHYRIX_SOUND_SERVER");
    const std::string out =
        runCommand("'" + script_ + "' start --owner " + std::to_string(getpid()));
    // Lines of the form: export NAME='VALUE'
    std::size_t at = 0;
    while ((at = out.find("export ", at)) != std::string::npos) {
      const std::size_t eq = out.find('=', at), end = out.find('\n', at);
      if (eq == std::string::npos || end == std::string::npos) break;
      const std::string name = out.substr(at + 7, eq - at - 7);
      std::string value = out.substr(eq + 1, end - eq - 1);
      if (value.size() >= 2 && value.front() == '\'') value = value.substr(1, value.size() - 2);
      setenv(name.c_str(), value.c_str(), 1);
      if (name == "ZEPHYRIX_SOUND_DIR") dir_ = value;
      at = end;
    }
    return !dir_.empty();
  }

  // Waits up to `seconds` until the unit records from and plays into the
  // server, which it does once its start-up has opened both devices. (Its
  // streams go by its name: not every way to the server tells the process id.)
  static bool waitForStreams(int seconds) {
    const std::string mine = "application.name = \"Zephyrix\"";
    for (int i = 0; i < seconds * 20; ++i) {
      if (runCommand("pactl list source-outputs").find(mine) != std::string::npos &&
          runCommand("pactl list sink-inputs").find(mine) != std::string::npos)
        return true;
      usleep(50000);
    }
    return false;
  }
  // Sends `sig` to the server's daemons (pipewire and pipewire-pulse, by their
  // recorded ids): SIGSTOP makes a server that stops answering, SIGCONT wakes it.
  void signalDaemons(int sig) const {
    std::ifstream pids(dir_ + "/pids");
    long pid = 0, started = 0;
    std::string name;
    while (pids >> pid >> started >> name)
      if (name.rfind("pipewire", 0) == 0) kill(static_cast<pid_t>(pid), sig);
  }
  ~SoundServer() {
    if (!dir_.empty()) runCommand("'" + script_ + "' stop '" + dir_ + "'");
  }

 private:
  std::string script_, dir_;
};
