// The zephyrix program itself on a private X server, with SDL's disk audio
// driver for its sound devices: a ramp goes in, the played samples come out in a
// file. xdotool works the panel as a hand would; the window is photographed with
// ImageMagick. Each step waits for what it needs (the unit's status, samples
// played, a file, a window), never for a fixed time. Skipped where Xvfb,
// xdotool or ImageMagick are missing.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "panel/button_table.h"
#include "panel/gain_knob.h"
#include "panel/panel_images.h"
#include "panel/panel_render.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/effect_settings.h"
#include "support/child_process.h"
#include "support/panel_program.h"
#include "support/wait_for.h"
#include "support/x_server.h"

namespace {

constexpr int kScale = 2;
constexpr int kRate = 32000;

// The status lines of a unit just started, and after the keys of the typed test.
constexpr char kStarted[] =
    "preset=1 echo=OFF slicer=OFF reverse=OFF downsample=OFF flanger=OFF mute=ON bypass=OFF "
    "gain=1.00 sound=yes";
constexpr char kAfterTheKeys[] =
    "preset=1 echo=2S slicer=OFF reverse=OFF downsample=X2 flanger=OFF mute=OFF bypass=OFF "
    "gain=1.61 sound=yes";

std::vector<std::int16_t> readSamples(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                           static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8);
  return samples;
}

// Longest run of samples that each rise by exactly one (wrapping at 16 bits),
// as the input ramp does, and where it starts.
struct RampRun {
  std::size_t start = 0, length = 0;
};
RampRun longestRamp(const std::vector<std::int16_t>& s) {
  RampRun best, current;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (static_cast<std::uint16_t>(s[i] - s[i - 1]) == 1) {
      if (current.length == 0) current = {i - 1, 1};
      ++current.length;
      if (current.length > best.length) best = current;
    } else {
      current = {};
    }
  }
  return best;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "import", "timeout"})
      if (!haveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    const char* exe = std::getenv("ZEPHYRIX_EXECUTABLE");
    if (!exe || !*exe) GTEST_SKIP() << "ZEPHYRIX_EXECUTABLE names no program";
    program = exe;
    std::string pattern = (std::filesystem::temp_directory_path() / "zephyrix-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    ASSERT_TRUE(x.start()) << "Xvfb did not start";
    setenv("DISPLAY", x.name().c_str(), 1);  // for xdotool and import
    // The unit's control socket in a folder of this test's own, for --status.
    runtime = dir / "runtime";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_RUNTIME_DIR");
    if (!dir.empty() && !HasFailure()) std::filesystem::remove_all(dir);
    if (HasFailure()) std::printf("files of the failed run kept in %s\n", dir.c_str());
  }

  // Starts the program in the run's own directory, so the preset file lands
  // there, with SDL's disk audio driver.
  void launch(const std::vector<std::string>& options = {}) {
    app.scale = kScale;
    app.launch(program, dir, x,
               {{"SDL_AUDIODRIVER", "disk"},
                {"SDL_DISKAUDIOFILEIN", (dir / "capture.raw").string()},
                {"SDL_DISKAUDIOFILE", (dir / "playback.raw").string()}},
               options);
  }

  // The program's exit code once it has ended (-1: not within the deadline,
  // which only bounds a hang; Power to exit is bench/app/measure.sh's figure).
  int waitForExit() { return app.waitForExit(kGenerousDeadline.count()); }
  void click(std::int32_t id) { ASSERT_TRUE(app.click(id)); }

  // Waits until the unit's status line is `expected`.
  void waitForStatus(const std::string& expected) {
    std::string last;
    ASSERT_TRUE(app.waitForStatus(expected + "\n", &last))
        << "expected " << expected << "\nlast " << last;
  }

  // Samples the device has played so far (the disk driver writes them as it
  // plays them), and a wait until it has played `count`.
  std::size_t played() const {
    std::error_code e;
    const auto bytes = std::filesystem::file_size(dir / "playback.raw", e);
    return e ? 0 : static_cast<std::size_t>(bytes / 2);
  }
  void waitForPlayed(std::size_t count) {
    ASSERT_TRUE(waitFor([&] { return played() >= count; }))
        << "played " << played() << " samples of " << count;
  }

  void waitForPresetFile() {
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir / kPresetFileName); }))
        << "Save wrote no preset file";
  }

  // Presses keys as a hand would, into the window that has the focus.
  void press(const std::string& keys) {
    ASSERT_EQ(std::system(("timeout 10 xdotool key --delay 120 " + keys).c_str()), 0) << keys;
  }

  // The box open over the panel, a window of its own with the panel's title; "".
  std::string openBox() const {
    std::istringstream out(runCommand("xwininfo -root -children"));
    for (std::string line; std::getline(out, line);) {
      const std::size_t id = line.find("0x");
      if (id == std::string::npos || line.find("\"Zephyrix 1.0\"") == std::string::npos) continue;
      if (std::stoul(line.substr(id), nullptr, 16) != window)
        return line.substr(id, line.find(' ', id) - id);
    }
    return "";
  }
  void waitForBox() {
    ASSERT_TRUE(waitFor([&] { return !openBox().empty(); })) << "no box appeared";
  }

  // Presses the box's OK from the keyboard, waits until it has gone, and gives
  // the panel the focus back.
  void closeBox() {
    ASSERT_NO_FATAL_FAILURE(waitForBox());
    ASSERT_EQ(
        std::system(("timeout 10 xdotool windowfocus --sync " + openBox() + " key Return").c_str()),
        0);
    ASSERT_TRUE(waitFor([&] { return openBox().empty(); })) << "the box stayed open";
    ASSERT_EQ(
        std::system(("timeout 10 xdotool windowfocus --sync " + std::to_string(window)).c_str()),
        0);
  }

  // The preset file that `m b e Right shift+Right Up Up shift+Down` then
  // Save leave, with a 5 under the About box that selected nothing: echo 2S,
  // x2, unmuted, not bypassed, the knob on row 54 - 12 + 1.
  void expectPresetsOfTheKeys() {
    resetPresetBank();
    ASSERT_EQ(loadPresetFileFrom((dir / kPresetFileName).c_str()), kPresetFileOk);
    EXPECT_EQ(presetBank.presetIndex, 0) << "the 5 under the box selected nothing";
    EXPECT_EQ(presetBank.presetParams[0][kWordEchoBlocks], 8);
    EXPECT_EQ(presetBank.presetParams[0][kWordDownsampleFactor], 2);
    EXPECT_EQ(presetBank.presetParams[0][kWordMuteOn], 0);
    EXPECT_EQ(presetBank.presetParams[0][kWordBypassOn], 0);
    gainKnob = 43;
    knobToGain();
    EXPECT_EQ(presetBank.presetGains[0].gain, effectSettings.gain);
  }

  void writeRamp(int seconds) {
    std::ofstream ramp(dir / "capture.raw", std::ios::binary);
    for (int i = 0; i < seconds * kRate; ++i) {
      const auto v = static_cast<std::uint16_t>(i + 1000);
      const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
      ramp.write(b, 2);
    }
  }

  void findWindow() {
    auto g = windowGeometry("Zephyrix 1.0", 15);
    ASSERT_EQ(g["WIDTH"], kWindowWidth * kScale) << "no window appeared";
    ASSERT_EQ(g["HEIGHT"], (kWindowHeight - kHiddenTopRows) * kScale);
    left = g["X"];
    top = g["Y"];
    width = g["WIDTH"];
    height = g["HEIGHT"];
    window = static_cast<unsigned long>(g["WINDOW"]);
    app.left = left;
    app.top = top;
  }

  std::string program;
  std::filesystem::path dir, runtime;
  XServer x;
  PanelProgram app;
  int left = 0, top = 0, width = 0, height = 0;
  unsigned long window = 0;
};

TEST_F(EndToEnd, PanelClicksReachTheSoundThePresetFileAndTheScreen) {
  // 60 s of a ramp that rises by one every sample: bypass gives exactly it back.
  writeRamp(60);
  launch();
  ASSERT_NO_FATAL_FAILURE(findWindow());
  ASSERT_NO_FATAL_FAILURE(waitForStatus(kStarted));

  // Muted: well over the two primed blocks of silence that any start plays.
  ASSERT_NO_FATAL_FAILURE(waitForPlayed(kRate));
  click(Mute);
  click(Preset1 + 1);  // preset 2: every effect off, not muted
  click(Bypass);
  ASSERT_NO_FATAL_FAILURE(waitForStatus(
      "preset=2 echo=OFF slicer=OFF reverse=OFF downsample=OFF flanger=OFF mute=OFF bypass=ON "
      "gain=1.00 sound=yes"));
  // Every block from here on is bypassed: a second and a half of them played,
  // through the stream's quarter of a second.
  ASSERT_NO_FATAL_FAILURE(waitForPlayed(played() + kRate * 3 / 2));
  click(Echo);  // ends bypass; echo of echoMemory's 4 blocks
  ASSERT_NO_FATAL_FAILURE(waitForStatus(
      "preset=2 echo=1S slicer=OFF reverse=OFF downsample=OFF flanger=OFF mute=OFF bypass=OFF "
      "gain=1.00 sound=yes"));
  ASSERT_NO_FATAL_FAILURE(waitForPlayed(played() + kRate * 3 / 2));
  click(Save);
  ASSERT_NO_FATAL_FAILURE(waitForPresetFile());

  // The window as photographed is the panel as the program drew it: the full
  // redraw of the preset selection, then Echo's own drawing.
  resetEffectSettings();
  effectSettings.muteOn = 0;
  presetBank.presetIndex = 1;
  gainKnob = 54;
  allocatePictureHeaders();
  redrawPanel();
  drawControl(Echo - 1, 1);
  freePictureHeaders();
  int differing = -1;
  waitFor([&] {
    differing = pixelsDifferingFromSurface(dir / "shot.rgb", left, top, width, height, kScale);
    return differing == 0;
  });
  EXPECT_EQ(differing, 0)
      << "pixels of the screenshot differing from the panel (-1: no screenshot)";

  // Power: the program drains both devices and ends with 0.
  click(Power);
  ASSERT_EQ(waitForExit(), 0) << "exit code (-1: did not end)";

  // The preset file: preset 2 current and saved with echo on; preset 1 as it was
  // left, unmuted.
  resetPresetBank();
  ASSERT_EQ(loadPresetFileFrom((dir / kPresetFileName).c_str()), kPresetFileOk);
  EXPECT_EQ(presetBank.presetIndex, 1);
  EXPECT_EQ(presetBank.presetParams[1][kWordEchoBlocks], 4);
  EXPECT_EQ(presetBank.presetParams[1][kWordMuteOn], 0);
  EXPECT_EQ(presetBank.presetParams[1][kWordBypassOn], 0);
  EXPECT_EQ(presetBank.presetGains[1].gain, 1.0f);
  EXPECT_EQ(presetBank.presetParams[0][kWordMuteOn], 0);
  EXPECT_EQ(presetBank.presetParams[0][kWordEchoBlocks], 0);

  // The sound: silence while muted, the ramp itself while bypassed, then echo.
  const std::vector<std::int16_t> out = readSamples(dir / "playback.raw");
  ASSERT_GT(out.size(), static_cast<std::size_t>(3 * kRate));
  std::size_t silent = 0;
  while (silent < out.size() && out[silent] == 0) ++silent;
  EXPECT_GE(silent, static_cast<std::size_t>(kRate * 3 / 4)) << "muted at start";
  const RampRun bypass = longestRamp(out);
  EXPECT_GE(bypass.length, static_cast<std::size_t>(kRate / 2)) << "bypass gives the input back";
  // After bypass, a second of neither the ramp nor silence: half the ramp plus
  // the echo of what was played before.
  const std::size_t echoStart = bypass.start + bypass.length + 1;
  ASSERT_GT(out.size(), echoStart + kRate);
  std::size_t rising = 0, zero = 0;
  for (std::size_t i = echoStart; i < echoStart + kRate; ++i) {
    if (static_cast<std::uint16_t>(out[i] - out[i - 1]) == 1) ++rising;
    if (out[i] == 0) ++zero;
  }
  EXPECT_LT(rising, static_cast<std::size_t>(kRate * 3 / 4));
  EXPECT_LT(zero, static_cast<std::size_t>(kRate / 100));
}

// Real key presses work the panel as the pen does, keys typed while the About
// box is open reach nothing, and --record keeps exactly what was played.
TEST_F(EndToEnd, KeysWorkThePanelAndTheRecordingIsWhatWasPlayed) {
  writeRamp(30);
  launch({"--record", "take.wav"});
  ASSERT_NO_FATAL_FAILURE(findWindow());
  ASSERT_NO_FATAL_FAILURE(waitForStatus(kStarted));
  press("m b");  // unmuted, then bypassed
  ASSERT_NO_FATAL_FAILURE(waitForStatus(
      "preset=1 echo=OFF slicer=OFF reverse=OFF downsample=OFF flanger=OFF mute=OFF bypass=ON "
      "gain=1.00 sound=yes"));
  ASSERT_NO_FATAL_FAILURE(waitForPlayed(played() + kRate * 3 / 2));
  press("F1");  // the About box is open ...
  ASSERT_NO_FATAL_FAILURE(waitForBox());
  press("e 5");  // ... so these reach nothing (the keys after the box show it)
  ASSERT_NO_FATAL_FAILURE(closeBox());
  press("e Right shift+Right Up Up shift+Down");  // echo 2S, x2, knob 54 - 12 + 1
  ASSERT_NO_FATAL_FAILURE(waitForStatus(kAfterTheKeys));
  press("ctrl+s");
  ASSERT_NO_FATAL_FAILURE(waitForPresetFile());
  press("ctrl+q");
  ASSERT_EQ(waitForExit(), 0) << "exit code (-1: did not end)";

  ASSERT_NO_FATAL_FAILURE(expectPresetsOfTheKeys());

  // The recording is what the device played from its first sample on; the
  // device played silence only after the last block, during the drain.
  SF_INFO info{};
  SNDFILE* f = sf_open((dir / "take.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(info.samplerate, kRate);
  std::vector<std::int16_t> recorded(static_cast<std::size_t>(info.frames));
  recorded.resize(static_cast<std::size_t>(sf_read_short(f, recorded.data(), info.frames)));
  sf_close(f);
  const std::vector<std::int16_t> played = readSamples(dir / "playback.raw");
  ASSERT_GT(recorded.size(), static_cast<std::size_t>(2 * kRate));
  ASSERT_GE(played.size(), recorded.size());
  std::size_t firstDifference = 0;
  while (firstDifference < recorded.size() && recorded[firstDifference] == played[firstDifference])
    ++firstDifference;
  EXPECT_EQ(firstDifference, recorded.size()) << "of " << recorded.size() << " recorded samples";
  EXPECT_TRUE(std::all_of(played.begin() + static_cast<long>(recorded.size()), played.end(),
                          [](std::int16_t v) { return v == 0; }));
  EXPECT_GE(longestRamp(recorded).length, static_cast<std::size_t>(kRate / 2)) << "bypassed";
}

// Sends `bytes` to the unit's control socket as a client would; its answer.
std::string askSocket(const std::filesystem::path& socketPath, const std::string& bytes) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) close(fd);
    return "(no connection)";
  }
  [[maybe_unused]] const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  shutdown(fd, SHUT_WR);
  std::string answer;
  char chunk[256];
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) answer.append(chunk, n);
  close(fd);
  return answer;
}

// Each JSON object a line, read back by another JSON reader: the status line
// rebuilt from its members (gain a number, sound true or false), then the
// tooltip, the text and the class, split by " | ".
constexpr char kReadJson[] =
    "import json, sys\n"
    "def shown(k, v):\n"
    "    if k == 'gain': return '%.2f' % v\n"
    "    if k == 'sound': return {True: 'yes', False: 'no'}[v]\n"
    "    return v\n"
    "for raw in sys.stdin:\n"
    "    d = json.loads(raw)\n"
    "    line = ' '.join(k + '=' + shown(k, v) for k, v in list(d.items())[:-3])\n"
    "    print(line, d['tooltip'], d['text'], d['class'], sep=' | ')\n";

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Other programs work the unit through --send and --status as a hand on its
// keys would, and nothing else reaches it: keys given while a box is open
// (exit 3), a user of another id, garbage and over-long requests change
// nothing. Watchers, as lines and as JSON, see each change in order until the
// unit ends, one that never reads holding up nothing. A socket left by a killed
// unit is taken over; a second unit runs without one; the socket goes with the
// unit.
TEST_F(EndToEnd, OtherProgramsWorkTheUnitThroughItsControlSocket) {
  const std::filesystem::path socketPath = runtime / "zephyrix" / "control";
  const auto zephyrix = [&](const std::string& arguments, const std::string& prefix = "") {
    return runCommand(prefix + "'" + program + "' " + arguments + " 2>&1; echo \"exit $?\"");
  };
  EXPECT_EQ(zephyrix("--status"), "zephyrix: no unit is running\nexit 1\n");
  EXPECT_EQ(zephyrix("--watch --json"), "zephyrix: no unit is running\nexit 1\n");

  // A socket that nobody answers, as a killed unit leaves it.
  std::filesystem::create_directory(socketPath.parent_path());
  EXPECT_EQ(askSocket(socketPath, "status\n"), "(no connection)");
  ASSERT_EQ(std::system(("python3 -c \"import socket; socket.socket(socket.AF_UNIX)"
                         ".bind('" +
                         socketPath.string() + "')\"")
                            .c_str()),
            0);
  writeRamp(30);
  launch();
  ASSERT_NO_FATAL_FAILURE(findWindow());
  ASSERT_NO_FATAL_FAILURE(waitForStatus(kStarted));
  const std::string lineLog = (dir / "watch.log").string(), jsonLog = (dir / "json.log").string();
  pid_t lineWatch = spawnProgram({program, "--watch"}, lineLog);
  pid_t jsonWatch = spawnProgram({program, "--watch", "--json"}, jsonLog);
  const int stalled = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(connect(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(send(stalled, "watch json\n", 11, MSG_NOSIGNAL), 11);
  const auto cat = [&](const std::string& file) { return runCommand("cat '" + file + "'"); };
  ASSERT_TRUE(waitFor([&] { return !cat(lineLog).empty() && !cat(jsonLog).empty(); }));

  // The keys of the typed test, sent.
  EXPECT_EQ(zephyrix("--send m b e Right shift+Right Up Up shift+Down"), "exit 0\n");
  const std::string after = std::string(kAfterTheKeys) + "\nexit 0\n";
  EXPECT_EQ(zephyrix("--status"), after);
  std::ofstream(dir / "read_json.py") << kReadJson;
  EXPECT_EQ(runCommand("'" + program + "' --status --json | python3 '" +
                       (dir / "read_json.py").string() + "'"),
            std::string(kAfterTheKeys) + " | " + kAfterTheKeys + " | 1 echo downsample | on\n");
  EXPECT_EQ(zephyrix("--send e five"),
            "zephyrix: 'five' is no key of the panel (see zephyrix --help)\nexit 2\n");

  // About opens its box: what comes while it is open is not done.
  EXPECT_EQ(zephyrix("--send f1"), "exit 0\n");
  EXPECT_EQ(zephyrix("--send 5 e"), "zephyrix: not done: a box is open in the unit\nexit 3\n");
  ASSERT_NO_FATAL_FAILURE(closeBox());
  EXPECT_EQ(zephyrix("--status"), after);

  // Nobody else: another user, garbage, a request too long to be one.
  const std::string other =
      zephyrix("--send 5", "setpriv --reuid=nobody --regid=nogroup --clear-groups ");
  EXPECT_NE(other.find("exit 1"), std::string::npos) << other;
  EXPECT_EQ(askSocket(socketPath, "\x01\x7fsend e\n"), "bad request with bytes that are no text\n");
  EXPECT_EQ(askSocket(socketPath, "send e e e\nsend 5\n").rfind("bad ", 0), 0u);
  EXPECT_EQ(askSocket(socketPath, "send " + std::string(2000, 'e') + "\n"),
            "bad request too long\n");
  EXPECT_EQ(askSocket(socketPath, "stat"), "bad request without its newline\n");
  EXPECT_EQ(zephyrix("--status"), after) << "and the unit plays on";

  // A second unit runs, without remote control.
  PanelProgram second;
  std::filesystem::create_directory(dir / "second");
  second.launch(program, dir / "second", x, {{"SDL_AUDIODRIVER", "dummy"}});
  EXPECT_TRUE(waitFor([&] {
    return runCommand("cat '" + (dir / "second" / "zephyrix.log").string() + "'")
               .find("another unit is running; this unit has no remote control") !=
           std::string::npos;
  }));
  EXPECT_EQ(waitForChild(second.pid, 0), -1) << "the second unit runs";
  second.waitForExit(0);

  EXPECT_EQ(zephyrix("--send ctrl+s ctrl+q"), "exit 0\n");
  ASSERT_EQ(waitForExit(), 0) << "exit code (-1: did not end)";
  EXPECT_FALSE(std::filesystem::exists(socketPath)) << "the socket goes with the unit";

  // The watchers end with the unit. Each change came once, in order, to both.
  EXPECT_EQ(waitForChild(lineWatch, kGenerousDeadline.count()), 0);
  EXPECT_EQ(waitForChild(jsonWatch, kGenerousDeadline.count()), 0);
  const std::vector<std::string> changes = linesOf(cat(lineLog));
  ASSERT_EQ(changes.size(), 9u) << "the start, and a change for each key sent";
  EXPECT_EQ(changes.front(), kStarted);
  EXPECT_EQ(changes.back(), kAfterTheKeys);
  EXPECT_EQ(std::adjacent_find(changes.begin(), changes.end()), changes.end());
  std::vector<std::string> tooltips;
  for (const std::string& read :
       linesOf(runCommand("python3 '" + (dir / "read_json.py").string() + "' < " + jsonLog))) {
    const std::size_t bar = read.find(" | ");
    EXPECT_EQ(read.substr(0, bar), read.substr(bar + 3, bar)) << read;
    tooltips.push_back(read.substr(0, bar));
  }
  EXPECT_EQ(tooltips, changes);
  std::string stalledSaw;
  char chunk[4096];
  for (ssize_t n; (n = read(stalled, chunk, sizeof chunk)) > 0;) stalledSaw.append(chunk, n);
  close(stalled);
  EXPECT_NE(stalledSaw.find(std::string(kAfterTheKeys) + "\",\"class\":\"on\"}\n"),
            std::string::npos)
      << stalledSaw;

  ASSERT_NO_FATAL_FAILURE(expectPresetsOfTheKeys());  // the same file as the keys typed
}

// A stand-in for a unit, listening as another user: it binds PATH, takes the
// user id UID (after the bind, as a unit of that user would be) and answers
// every request with a made-up status that would drive the terminal.
constexpr char kStrangerUnit[] =
    "import os, socket, sys\n"
    "s = socket.socket(socket.AF_UNIX)\n"
    "s.bind(sys.argv[1])\n"
    "os.setgid(int(sys.argv[2])); os.setuid(int(sys.argv[2]))\n"
    "s.listen()\n"
    "while True:\n"
    "    c, _ = s.accept(); c.recv(600); c.send(b'ok preset=9 \\x1b[31mowned\\x07\\n'); "
    "c.close()\n";

// The client believes only a unit of its own user in a folder of that user's
// alone; the unit takes many clients at once, answers its status while a box
// is open, and says when keys were not done: a Save that failed, keys after
// Power. A socket path taken over meanwhile is left alone at the end.
TEST_F(EndToEnd, TheRemoteControlTrustsOnlyItsOwnUnitAndAnswersTruly) {
  const auto zephyrix = [&](const std::string& arguments) {
    return runCommand("'" + program + "' " + arguments + " 2>&1; echo \"exit $?\"");
  };
  // Once a box is closed the unit takes keys again.
  const std::string boxOpen = "zephyrix: not done: a box is open in the unit\nexit 3\n";
  const auto afterTheBox = [&](const std::string& arguments) {
    std::string said;
    waitFor([&] { return (said = zephyrix(arguments)) != boxOpen; });
    return said;
  };
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(zephyrix("--status"),
            "zephyrix: no unit is running: XDG_RUNTIME_DIR is not set to a folder of the user's\n"
            "exit 1\n");

  struct Stranger {
    const char* runtime;
    bool folderOurs;
    const char* said;
  } strangers[] = {
      {"theirs", false, "zephyrix: no unit is running: " /* folder */},
      {"ours", true, "zephyrix: no unit is running: the control socket is held by another user\n"},
  };
  for (const Stranger& st : strangers) {
    SCOPED_TRACE(st.runtime);
    const std::filesystem::path folder = dir / st.runtime / "zephyrix";
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    if (!st.folderOurs) {
      ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    }
    pid_t fake =
        spawnProgram({"python3", "-c", kStrangerUnit, (folder / "control").string(), "65534"},
                     (dir / "stranger.log").string());
    waitFor([&] { return std::filesystem::exists(folder / "control"); });
    setenv("XDG_RUNTIME_DIR", (dir / st.runtime).c_str(), 1);
    const std::string said = zephyrix("--status");
    EXPECT_EQ(said.rfind(st.said, 0), 0u) << said;
    EXPECT_NE(said.find("exit 1"), std::string::npos) << said;
    EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
    stopChild(fake, SIGKILL);
  }
  // A unit given another user's folder runs without remote control.
  setenv("XDG_RUNTIME_DIR", (dir / "theirs").c_str(), 1);
  PanelProgram refused;
  std::filesystem::create_directory(dir / "refused");
  refused.launch(program, dir / "refused", x, {{"SDL_AUDIODRIVER", "dummy"}});
  const std::filesystem::path refusedLog = dir / "refused" / "zephyrix.log";
  waitFor([&] { return !runCommand("cat '" + refusedLog.string() + "'").empty(); });
  EXPECT_EQ(runCommand("cat '" + refusedLog.string() + "'"),
            "zephyrix: " + (dir / "theirs" / "zephyrix").string() +
                " belongs to another user; this unit has no remote control\n");
  stopChild(refused.pid, SIGKILL);  // its window would pass for a box

  // The real unit, whose preset file's name a named pipe has taken.
  const std::filesystem::path runtime = dir / "runtime";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  ASSERT_EQ(mkfifo((dir / kPresetFileName).c_str(), 0644), 0);
  writeRamp(30);
  launch();
  ASSERT_NO_FATAL_FAILURE(findWindow());
  std::string status;
  waitFor([&] { return (status = zephyrix("--status")).find("exit 0") != std::string::npos; });
  const std::string line =
      "preset=1 echo=OFF slicer=OFF reverse=OFF downsample=OFF flanger=OFF mute=ON "
      "bypass=OFF gain=1.00 sound=yes\nexit 0\n";
  EXPECT_EQ(status, line) << "the start did not wait for the pipe";

  // Twenty clients that say nothing hold up no one.
  const std::filesystem::path socketPath = runtime / "zephyrix" / "control";
  std::vector<int> silent;
  for (int i = 0; i < 20; ++i) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    silent.push_back(fd);
  }
  EXPECT_EQ(zephyrix("--status"), line);
  EXPECT_EQ(zephyrix("--send m"), "exit 0\n");
  for (const int fd : silent) close(fd);

  // The status is answered while a box is open; a failed Save says why.
  EXPECT_EQ(zephyrix("--send f1"), "exit 0\n");
  EXPECT_NE(zephyrix("--status").find("mute=OFF"), std::string::npos);
  ASSERT_NO_FATAL_FAILURE(closeBox());
  EXPECT_EQ(afterTheBox("--send 3 ctrl+s"),
            "zephyrix: not done: The presets could not be saved to PresetFile.KDX: it is a named "
            "pipe.\nexit 3\n");
  ASSERT_NO_FATAL_FAILURE(closeBox());

  // Keys after Power are not done; the socket's path, taken over meanwhile,
  // stays as it is found.
  const std::filesystem::path moved = runtime / "zephyrix" / "moved";
  std::filesystem::rename(socketPath, moved);
  std::ofstream(socketPath) << "another's";
  std::string stopping;
  waitFor([&] { return (stopping = askSocket(moved, "send ctrl+q m\n")) != "box\n"; });
  EXPECT_EQ(stopping, "stopping\n");
  ASSERT_EQ(waitForExit(), 0) << "exit code (-1: did not end in time)";
  EXPECT_TRUE(std::filesystem::is_regular_file(socketPath));
  unsetenv("XDG_RUNTIME_DIR");
}

// A box's process holds none of the unit's own descriptors and goes with a
// unit killed while the box is open, so the next unit has remote control.
TEST_F(EndToEnd, ABoxLeftOpenGoesWithAKilledUnit) {
  const std::filesystem::path runtime = dir / "runtime";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const auto answers = [&] {
    return runCommand("'" + program + "' --status >/dev/null 2>&1; echo $?") == "0\n";
  };
  writeRamp(30);
  const std::filesystem::path take = dir / "take.wav";
  launch({"--record", take.string()});
  ASSERT_NO_FATAL_FAILURE(findWindow());
  ASSERT_TRUE(waitFor(answers));
  ASSERT_EQ(runCommand("'" + program + "' --send f1; echo $?"), "0\n");
  pid_t box = 0;
  ASSERT_TRUE(waitFor([&] {
    box = std::atoi(runCommand("pgrep -P " + std::to_string(app.pid)).c_str());
    return box > 0;
  })) << "no process shows the box";
  const std::string held = runCommand("ls -l /proc/" + std::to_string(box) + "/fd");
  EXPECT_EQ(held.find(take.string()), std::string::npos) << held;
  EXPECT_EQ(held.find((runtime / "zephyrix").string()), std::string::npos) << held;

  kill(app.pid, SIGKILL);
  EXPECT_EQ(waitForExit(), 128 + SIGKILL);
  const std::string stat = "/proc/" + std::to_string(box) + "/stat";
  EXPECT_TRUE(waitFor([&] {
    const std::string state = runCommand("cut -d' ' -f3 " + stat + " 2>/dev/null");
    return state.empty() || state == "Z\n";
  })) << "the box outlived the unit";

  PanelProgram next;
  next.launch(program, dir, x, {{"SDL_AUDIODRIVER", "dummy"}});
  // Should it not answer, what it said and where each of its threads waits.
  const std::string proc = "/proc/" + std::to_string(next.pid);
  EXPECT_TRUE(waitFor(answers))
      << "the next unit has remote control; it said:\n"
      << runCommand("cat '" + (dir / "zephyrix.log").string() + "'") << "the X server "
      << (kill(x.pid, 0) == 0 ? "runs" : "has gone") << "; its threads wait in:\n"
      << runCommand("cd " + proc +
                    "/task && for t in *; do echo \"$(cat $t/comm) $(cat $t/wchan)\"; done");
  unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
