// The control socket's two ends without a window or a sound server: what the
// client believes (the folder, the answers) and how the server holds up when
// the process runs out of descriptors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/exit_status.h"
#include "presets/preset_bank.h"
#include "remote/remote_answer.h"
#include "remote/remote_control.h"
#include "remote/remote_control_testing.h"
#include "remote/remote_place.h"
#include "remote/remote_watch.h"
#include "remote/status_feed.h"
#include "remote/status_json.h"
#include "remote/unit_status.h"
#include "state/effect_settings.h"
#include "support/scratch_directory.h"
#include "support/wait_for.h"

namespace {

namespace fs = std::filesystem;

TEST(RemoteAnswer, EachAnswerHasItsExitCodeAndOnlyPlainTextIsPrinted) {
  struct Case {
    std::string line;
    int code;
    const char* text;
  } cases[] = {
      {"ok", kRemoteDone, ""},
      {"ok preset=3 gain=1.00", kRemoteDone, "preset=3 gain=1.00"},
      {"box", kRemoteBoxOpen, "not done: a box is open in the unit"},
      {"failed Could not save: it is a named pipe.", kRemoteBoxOpen,
       "not done: Could not save: it is a named pipe."},
      {"stopping", kRemoteBoxOpen, "not done: the unit is stopping"},
      {"bad request too long", kRemoteBad, "the unit says: request too long"},
      {"refused", kRemoteNoUnit, "the unit answers only its own user"},
      {"ok \x1b[31mowned\x07\r", kRemoteDone, "?[31mowned??"},
      {"box now", kRemoteNoUnit, "the unit gave an answer it should not: box now"},
      {"", kRemoteNoUnit, "the unit gave an answer it should not: "},
      {"okay \xc2\x9b", kRemoteNoUnit, "the unit gave an answer it should not: okay ??"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string text;
    EXPECT_EQ(readRemoteAnswer(c.line, text), c.code);
    EXPECT_EQ(text, c.text);
  }
  // What the unit writes, the client reads as meant.
  struct Written {
    RemoteAnswerKind kind;
    int code;
  } written[] = {{AnswerOk, kRemoteDone},        {AnswerBox, kRemoteBoxOpen},
                 {AnswerFailed, kRemoteBoxOpen}, {AnswerStopping, kRemoteBoxOpen},
                 {AnswerBad, kRemoteBad},        {AnswerRefused, kRemoteNoUnit}};
  for (const Written& w : written) {
    const bool texted = w.kind == AnswerFailed || w.kind == AnswerBad;
    const std::string line = remoteAnswerLine(w.kind, texted ? "why" : "");
    ASSERT_EQ(line.back(), '\n');
    std::string text;
    EXPECT_EQ(readRemoteAnswer(line.substr(0, line.size() - 1), text), w.code) << line;
    EXPECT_EQ(text.find("should not"), std::string::npos) << line;
  }
}

class RemotePlaceTest : public ScratchDirectory {};

TEST_F(RemotePlaceTest, OnlyAFolderOfTheUsersAloneIsTrusted) {
  fs::create_directory("ours");
  fs::permissions("ours", fs::perms::owner_all);
  fs::create_directory_symlink("ours", "link");
  std::ofstream("file");
  fs::create_directory("open");
  fs::permissions("open", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  fs::create_directory("theirs");
  fs::permissions("theirs", fs::perms::owner_all);
  ASSERT_EQ(chown("theirs", 65534, 65534), 0);
  struct Case {
    const char* folder;
    bool trusted;      // by a client
    const char* why;   // its end
    bool unitMakesIt;  // the unit's side: made or mended
  } cases[] = {
      {"ours", true, "", true},
      {"missing", false, "no unit is running", true},
      {"link", false, "link is not a folder", false},
      {"file", false, "file is not a folder", false},
      {"open", false, "open is open to other users", true},
      {"theirs", false, "theirs belongs to another user", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    std::string why;
    EXPECT_EQ(ownRemoteFolder(c.folder, false, why), c.trusted);
    EXPECT_TRUE(why.ends_with(c.why)) << why;
    EXPECT_EQ(ownRemoteFolder(c.folder, true, why), c.unitMakesIt) << why;
  }
  EXPECT_EQ(fs::status("open").permissions() & fs::perms::all, fs::perms::owner_all);

  std::string why;
  RemotePlace place;
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_FALSE(remotePlace(place, why));
  setenv("XDG_RUNTIME_DIR", "relative", 1);
  EXPECT_FALSE(remotePlace(place, why));
  setenv("XDG_RUNTIME_DIR", "/run/user/7", 1);
  ASSERT_TRUE(remotePlace(place, why));
  EXPECT_EQ(place.socket, "/run/user/7/zephyrix/control");
  unsetenv("XDG_RUNTIME_DIR");
}

// With no descriptor left to accept a client with, the server waits before it
// tries again instead of spinning, and serves the client once it can.
class RemoteControlThreadedTest : public ScratchDirectory {};

TEST_F(RemoteControlThreadedTest, AcceptFailingForWantOfDescriptorsBacksOff) {
  setenv("XDG_RUNTIME_DIR", fs::current_path().c_str(), 1);
  startRemoteControl(nullptr);
  sockaddr_un address;
  ASSERT_TRUE(remoteSocketAddress((fs::current_path() / "zephyrix" / "control").string(), address));
  const int client = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(client, 0);

  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  rlimit lowered = limit;
  lowered.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 4096);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  std::vector<int> held;
  for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) held.push_back(fd);
  const std::uint64_t before = remoteAcceptFailures();
  // Timed from before the connection: the first failure may come at once.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  while (remoteAcceptFailures() < before + 3)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // Spinning, three failures would take microseconds; backing off, two pauses.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  for (const int fd : held) close(fd);
  setrlimit(RLIMIT_NOFILE, &limit);

  const char request[] = "status\n";
  ASSERT_EQ(send(client, request, sizeof request - 1, MSG_NOSIGNAL), 7);
  std::string answer;
  char chunk[256];
  for (ssize_t n; answer.find('\n') == std::string::npos && (n = read(client, chunk, 256)) > 0;)
    answer.append(chunk, static_cast<std::size_t>(n));
  EXPECT_EQ(answer.rfind("ok preset=", 0), 0u) << answer;
  close(client);
  stopRemoteControl();
  EXPECT_FALSE(fs::exists(fs::current_path() / "zephyrix" / "control"));
  unsetenv("XDG_RUNTIME_DIR");
}

// A client of the control socket that has sent its request, and the lines it
// has read so far.
struct Asker {
  int fd = -1;
  std::string bytes;

  explicit Asker(const std::string& request) {
    sockaddr_un address;
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (remoteSocketAddress((fs::current_path() / "zephyrix" / "control").string(), address) &&
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  }
  ~Asker() { close(fd); }
  // Reads what has come; false once the unit has closed its end.
  bool pump() {
    char chunk[4096];
    ssize_t n;
    while ((n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
      bytes.append(chunk, static_cast<std::size_t>(n));
    return n != 0;
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> all;
    for (std::size_t at = 0, end; (end = bytes.find('\n', at)) != std::string::npos; at = end + 1)
      all.push_back(bytes.substr(at, end - at));
    return all;
  }
};

// Watchers are pushed every change once, in order, as lines or JSON; one that
// never reads holds up neither the publishing window thread nor the others nor
// status requests, and once it reads it ends on the latest state. The unit
// takes kMostWatchers, a watcher that goes leaves its place, and the unit's end
// is each watcher's end of file.
TEST_F(RemoteControlThreadedTest, WatchersGetEveryChangeInOrderAndASlowOneHoldsUpNoOne) {
  setenv("XDG_RUNTIME_DIR", fs::current_path().c_str(), 1);
  startRemoteControl(nullptr);
  std::vector<std::string> lines{remoteAnswerLine(AnswerOk, unitStatusLine(readUnitStatus()))};
  std::vector<std::string> objects{remoteAnswerLine(AnswerOk, unitStatusJson(readUnitStatus()))};
  Asker line("watch\n"), json("watch json\n"), stalled("watch json\n");
  ASSERT_TRUE(waitFor([&] { return line.pump() && json.pump() && json.lines().size() == 1; }));
  // More changes than the stalled watcher's socket and buffer hold, in bursts
  // the window thread's feed keeps whole.
  constexpr int kChanges = 1500, kBurst = kStatusChangesKept / 2;
  for (int i = 1; i <= kChanges; ++i) {
    effectSettings.gain = static_cast<float>(i % 400) / 100.0f;
    presetBank.presetIndex = i / 400;
    publishUnitStatus();
    publishUnitStatus();  // no change
    lines.push_back(remoteAnswerLine(AnswerOk, unitStatusLine(readUnitStatus())));
    objects.push_back(remoteAnswerLine(AnswerOk, unitStatusJson(readUnitStatus())));
    if (i % kBurst != 0 && i != kChanges) continue;
    ASSERT_TRUE(waitFor([&] {
      return line.pump() && json.pump() && json.lines().size() == objects.size() &&
             line.lines().size() == lines.size();
    })) << i;
  }
  for (std::string& l : lines) l.pop_back();
  for (std::string& o : objects) o.pop_back();
  EXPECT_EQ(line.lines(), lines);
  EXPECT_EQ(json.lines(), objects);
  Asker status("status\n");
  ASSERT_TRUE(waitFor([&] { return !status.pump(); }));
  EXPECT_EQ(status.lines(), std::vector<std::string>{lines.back()});

  std::vector<std::unique_ptr<Asker>> more;
  while (more.size() + 3 < kMostWatchers) {
    more.push_back(std::make_unique<Asker>("watch\n"));
    ASSERT_TRUE(waitFor([&] { return more.back()->pump() && more.back()->lines().size() == 1; }));
  }
  Asker tooMany("watch\n");
  ASSERT_TRUE(waitFor([&] { return !tooMany.pump(); }));
  EXPECT_EQ(tooMany.bytes, remoteAnswerLine(AnswerBusy));
  more.pop_back();  // a watcher that has gone leaves its place
  Asker again("watch\n");
  ASSERT_TRUE(waitFor([&] { return again.pump() && again.lines().size() == 1; }));
  EXPECT_EQ(again.lines().front(), lines.back());

  // The stalled watcher skipped changes, and ends on the latest in order.
  ASSERT_TRUE(waitFor([&] { return stalled.pump() && stalled.lines().back() == objects.back(); }));
  const std::vector<std::string> seen = stalled.lines();
  EXPECT_LT(seen.size(), objects.size());
  auto at = objects.begin();
  for (const std::string& s : seen) at = std::find(at, objects.end(), s);
  EXPECT_NE(at, objects.end()) << "out of order";

  stopRemoteControl();
  for (Asker* w : {&line, &json, &stalled, &again})
    EXPECT_TRUE(waitFor([&] { return !w->pump(); }));
  resetEffectSettings();
  resetPresetBank();
  unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
