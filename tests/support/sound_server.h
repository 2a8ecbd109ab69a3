// The private sound server of scripts/sound_server.sh for a test process. Its
// variables are put into this process's environment, so every program started
// afterwards talks to it; it is stopped when the object goes, and by itself
// should this process be killed first.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/child_process.h"
#include "support/wait_for.h"
#include "support/x_server.h"

class SoundServer {
 public:
  // What keeps the server from running here, or "" if nothing does.
  static std::string missing() {
    const char* script = std::getenv("ZEPHYRIX_SOUND_SERVER");
    if (!script || !*script) return "ZEPHYRIX_SOUND_SERVER names no script";
    const char* xruns = std::getenv("ZEPHYRIX_SERVER_XRUNS");
    if (!xruns || !*xruns) return "ZEPHYRIX_SERVER_XRUNS names no program";
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

  // Waits until the unit records from and plays into the server, which it does
  // once its start-up has opened both devices. (Its streams go by its name: not
  // every way to the server tells the process id.)
  static bool waitForStreams() {
    const std::string mine = "application.name = \"Zephyrix\"";
    return waitFor([&] {
      return runCommand("pactl list source-outputs").find(mine) != std::string::npos &&
             runCommand("pactl list sink-inputs").find(mine) != std::string::npos;
    });
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
  // Stops the daemons and starts them again with the same devices, as a package
  // upgrade or a crash does: every client's connection breaks. False if the
  // server did not come back.
  bool restart() const {
    return runCommand("'" + script_ + "' restart '" + dir_ + "' >/dev/null 2>&1; echo $?") == "0\n";
  }

  ~SoundServer() {
    if (!dir_.empty()) runCommand("'" + script_ + "' stop '" + dir_ + "'");
  }

 private:
  std::string script_, dir_;
};

// The cycles the server missed while it was watched, by its own account: for
// each node that was late for a cycle's deadline (the server's own, or a
// client's), how many times; what pw-top counts as ERR, read by the program
// $ZEPHYRIX_SERVER_XRUNS names. A sound played while the server's own nodes
// were late may have lost audio to the busy machine.
class MissedCycles {
 public:
  // Starts watching the server of this process's environment; false if the
  // watch did not begin. It covers everything from its return on.
  bool start(const std::filesystem::path& log) {
    log_ = log;
    pid_ = spawnProgram({std::getenv("ZEPHYRIX_SERVER_XRUNS")}, log.string());
    return pid_ > 0 && waitFor([&] { return read().find("watching\n") != std::string::npos; });
  }

  // Stops watching: the nodes that were late, with how many times.
  std::map<std::string, int> stop() {
    if (pid_ <= 0) return {};
    kill(pid_, SIGTERM);
    waitForChild(pid_, kGenerousDeadline.count());
    pid_ = 0;
    std::istringstream lines(read());
    std::map<std::string, int> late;
    for (std::string line; std::getline(lines, line);) {
      std::istringstream fields(line);
      int count = 0;
      std::string name;
      if (fields >> count && std::getline(fields >> std::ws, name)) late[name] = count;
    }
    return late;
  }

  ~MissedCycles() { stopChild(pid_); }

 private:
  std::string read() const {
    std::ifstream in(log_);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path log_;
  pid_t pid_ = 0;
};
