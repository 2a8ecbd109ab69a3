// The zephyrix program on a private sound server (scripts/sound_server.sh) and a
// private X server: a tone with a marker every second is played into the
// microphone's feed, what the speaker plays is recorded from its monitor, and
// the panel is worked with xdotool. Every block must come through once, in
// order, with nothing lost, repeated or shifted. Nothing here depends on how
// fast the machine is, apart from Power's time to exit.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "harness/marker_signal.h"
#include "live/live_sound.h"
#include "panel/button_table.h"
#include "support/child_process.h"
#include "support/panel_program.h"
#include "support/sound_server.h"
#include "support/x_server.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBypassSeconds = 8;
constexpr int kEchoSeconds = 4;
constexpr std::size_t kTolerance = 4;          // samples of marker spacing
constexpr std::size_t kEchoDelay = kRate / 2;  // the echo switch's 4 blocks of 125 ms
constexpr std::size_t kServerCycle = 512;      // samples of the longest cycle the server runs here

class LiveStream : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = SoundServer::missing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    for (const char* tool : {"Xvfb", "xdotool", "timeout"})
      if (!haveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    const char* exe = std::getenv("ZEPHYRIX_EXECUTABLE");
    if (!exe || !*exe) GTEST_SKIP() << "ZEPHYRIX_EXECUTABLE names no program";
    program = exe;
    std::string pattern = (fs::temp_directory_path() / "zephyrix-live-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    ASSERT_TRUE(server.start()) << "the sound server did not start";
    ASSERT_TRUE(x.start()) << "Xvfb did not start";
    setenv("DISPLAY", x.name().c_str(), 1);  // for xdotool
    // The unit's own choice of backend, as on a desktop.
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("ZEPHYRIX_AUDIO");
  }
  void TearDown() override {
    stopChild(recorder, SIGINT);
    stopChild(player);
    if (!dir.empty() && !HasFailure()) fs::remove_all(dir);
    if (HasFailure()) std::printf("files of the failed run kept in %s\n", dir.c_str());
  }

  // Plays a file into the microphone's feed and waits until it has been played.
  void play(const fs::path& file) {
    player = startPlaying(file);
    ASSERT_EQ(waitForChild(player, 60), 0) << "paplay failed or hung";
    player = 0;
  }

  std::string program;
  fs::path dir;
  SoundServer server;
  XServer x;
  PanelProgram app;
  pid_t recorder = 0, player = 0;
};

// The environment that makes the unit use a backend: "" its own choice (PipeWire's
// own library where a PipeWire server answers), "native" that, "sdl" SDL's
// choice, or one of SDL's drivers by name.
std::map<std::string, std::string> backendEnvironment(const std::string& backend) {
  if (backend.empty()) return {};
  if (backend == "native" || backend == "sdl") return {{"ZEPHYRIX_AUDIO", backend}};
  return {{"SDL_AUDIODRIVER", backend}};
}

// Whether the unit's streams are the native backend's: they go as one node group.
bool nativeStreams() {
  return runCommand("pactl list sink-inputs").find("node.group = \"zephyrix-") != std::string::npos;
}

class LiveBackends : public LiveStream, public ::testing::WithParamInterface<const char*> {};

TEST_P(LiveBackends, BypassCarriesEveryBlockOnceEchoChangesItPowerEnds) {
  writeWav(dir / "bypass.wav", marker_signal::make(kRate, kBypassSeconds));
  writeWav(dir / "echo.wav", marker_signal::make(kRate, kEchoSeconds));
  recorder = startRecording("spk.monitor", dir / "played.wav");

  app.launch(program, dir, x, backendEnvironment(GetParam()));
  ASSERT_TRUE(app.findWindow(20)) << "no window appeared; see " << dir / "zephyrix.log";
  // The window shows before start-up opens the devices; clicks made until then
  // are lost.
  ASSERT_TRUE(SoundServer::waitForStreams(20)) << "no sound streams of the program";
  EXPECT_EQ(nativeStreams(), std::string(GetParam()) != "sdl")
      << "where a PipeWire server answers the unit talks to it directly, unless told otherwise";
  ASSERT_TRUE(app.click(Bypass));  // ends the mute the unit starts with
  play(dir / "bypass.wav");
  // Well past the stream's latency, so the two sounds stay apart.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(app.click(Echo));
  play(dir / "echo.wav");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));

  ASSERT_TRUE(app.click(Power, 0));
  const auto pressed = Clock::now();  // the click has reached the X server
  const int code = app.waitForExit(15);
  const double seconds = std::chrono::duration<double>(Clock::now() - pressed).count();
  EXPECT_EQ(code, 0) << "exit code (-1: did not end)";
  EXPECT_LT(seconds, 2.5) << "from the Power click to the end of the program";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  stopChild(recorder, SIGINT);

  const std::vector<std::int16_t> played = readWav(dir / "played.wav");
  ASSERT_GT(played.size(), static_cast<std::size_t>(kBypassSeconds * kRate));
  const auto sounds = marker_signal::analyse(played, kRate);
  const std::string found = describe(sounds);
  ASSERT_EQ(sounds.size(), 2u) << "expected the bypassed sound, then the echoed one:" << found;

  // Bypassed: the input itself, every sample once and in order.
  const marker_signal::Sound& bypass = sounds[0];
  EXPECT_NEAR(static_cast<double>(bypass.length()), kBypassSeconds * kRate, 2.0 * kTolerance)
      << "samples lost or added" << found;
  ASSERT_EQ(bypass.markers.size(), static_cast<std::size_t>(kBypassSeconds)) << found;
  EXPECT_NEAR(static_cast<double>(bypass.markers[0] - bypass.begin), kRate / 2, 2.0 * kTolerance)
      << "the start of the sound was cut or delayed" << found;
  for (std::size_t k = 1; k < bypass.markers.size(); ++k)
    EXPECT_NEAR(static_cast<double>(bypass.markers[k] - bypass.markers[k - 1]), kRate,
                static_cast<double>(kTolerance))
        << "spacing before marker " << k << found;
  // Every block came once and in order, so any silence inside the tone kept
  // the timeline: the server played silence for a cycle that the sound came
  // too late for (a busy machine; each is counted, never more than a cycle
  // long). A longer one, or a step that is no edge of one, is a fault of ours.
  std::size_t longest = 0;
  for (std::size_t q : bypass.silences) {
    std::size_t n = 0;
    while (q + n < played.size() && std::abs(int{played[q + n]}) <= marker_signal::kQuiet) ++n;
    longest = std::max(longest, n);
  }
  EXPECT_LE(longest, kServerCycle) << "a silence longer than a server cycle" << found;
  for (std::size_t jump : bypass.jumps) {
    bool edge = false;
    for (std::size_t q : bypass.silences)
      edge = edge || (jump + 2 >= q && jump <= q + kServerCycle + 2);
    EXPECT_TRUE(edge) << "a step in the tone at " << jump << found;
  }
  std::printf("server cycles missed while bypassed: %zu\n", bypass.silences.size());

  // Echo: each marker comes back half a second later, and so on, every half second.
  const marker_signal::Sound& echo = sounds[1];
  int echoes = 0;
  for (std::size_t k = 1; k < echo.markers.size(); ++k) {
    const std::size_t d = echo.markers[k] - echo.markers[k - 1];
    if (d + kTolerance >= kEchoDelay && d <= kEchoDelay + kTolerance) ++echoes;
  }
  EXPECT_GE(echoes, 2 * kEchoSeconds - 1) << "markers half a second apart" << found;
}

INSTANTIATE_TEST_SUITE_P(Backends, LiveBackends, ::testing::Values("", "sdl"),
                         [](const auto& info) {
                           return std::string(*info.param ? info.param : "default");
                         });

// Where the first sound after `from` starts, in samples, or -1.
long firstSoundAfter(const std::vector<std::int16_t>& s, std::size_t from) {
  for (std::size_t i = from; i < s.size(); ++i)
    if (s[i] > 300 || s[i] < -300) return static_cast<long>(i);
  return -1;
}

// The speaker, then the microphone, is taken away while the unit plays, and a
// new default of each appears: the sound comes back through the new ones, and
// Power still ends the unit at once. Through both of SDL's ways to the server
// and PipeWire's own.
class LiveDevices : public LiveStream, public ::testing::WithParamInterface<const char*> {};

TEST_P(LiveDevices, SoundFollowsTheNewDefaultsWhenTheOldOnesGo) {
  const int seconds = 12;
  writeWav(dir / "tone.wav", marker_signal::make(kRate, seconds));
  app.launch(program, dir, x, backendEnvironment(GetParam()));
  ASSERT_TRUE(app.findWindow(20)) << "no window appeared; see " << dir / "zephyrix.log";
  ASSERT_TRUE(SoundServer::waitForStreams(20)) << "no sound streams of the program";
  ASSERT_TRUE(app.click(Bypass));
  player = startPlaying(dir / "tone.wav");
  std::this_thread::sleep_for(std::chrono::seconds(2));

  // The speaker goes; a new one becomes the default, and its monitor is recorded.
  const std::string speaker = moduleOf("sink_name=spk ");
  ASSERT_FALSE(speaker.empty());
  runCommand("pactl unload-module " + speaker);
  runCommand("pactl load-module module-null-sink sink_name=spk2 channels=1 channel_map=mono");
  runCommand("pactl set-default-sink spk2");
  recorder = startRecording("spk2.monitor", dir / "after.wav");
  const Clock::time_point recording = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(3));

  // The microphone goes; it comes back as another remap of the same feed.
  const Clock::time_point micGone = Clock::now();
  const std::string microphone = moduleOf("source_name=mic ");
  ASSERT_FALSE(microphone.empty());
  runCommand("pactl unload-module " + microphone);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  runCommand(
      "pactl load-module module-remap-source master=feed.monitor source_name=mic2 "
      "channels=1 channel_map=mono");
  runCommand("pactl set-default-source mic2");
  std::this_thread::sleep_for(std::chrono::seconds(4));

  ASSERT_TRUE(app.click(Power, 0));
  const auto pressed = Clock::now();
  const int code = app.waitForExit(15);
  const double exitSeconds = std::chrono::duration<double>(Clock::now() - pressed).count();
  EXPECT_EQ(code, 0) << "exit code (-1: did not end); see " << dir / "zephyrix.log";
  EXPECT_LT(exitSeconds, 2.5);
  stopChild(recorder, SIGINT);

  const std::vector<std::int16_t> after = readWav(dir / "after.wav");
  ASSERT_GT(after.size(), static_cast<std::size_t>(5 * kRate));
  // Through the new speaker within about a second of its arrival (the stream
  // is a quarter of a second behind the microphone by design).
  const long first = firstSoundAfter(after, 0);
  EXPECT_GE(first, 0) << "no sound reached the new speaker";
  EXPECT_LT(first, 3 * kRate / 2) << "samples before the sound reached the new speaker";
  // And again from the new microphone, within about a second and a half.
  const auto at = [&](Clock::time_point t) {
    return static_cast<std::size_t>(std::chrono::duration<double>(t - recording).count() * kRate);
  };
  const long back = firstSoundAfter(after, at(micGone) + 3 * kRate / 2);
  EXPECT_GE(back, 0) << "no sound from the new microphone";
  EXPECT_LT(back, static_cast<long>(at(pressed))) << "no sound from the new microphone";
}

// A server that stops answering (stalled, or hung with its connections open):
// SDL's threads wait on it without a timeout, and Power must still end the unit.
TEST_P(LiveDevices, PowerEndsTheUnitWhenTheServerStopsAnswering) {
  app.launch(program, dir, x, backendEnvironment(GetParam()));
  ASSERT_TRUE(app.findWindow(20)) << "no window appeared; see " << dir / "zephyrix.log";
  ASSERT_TRUE(SoundServer::waitForStreams(20)) << "no sound streams of the program";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  server.signalDaemons(SIGSTOP);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const bool clicked = app.click(Power, 0);
  const auto pressed = Clock::now();
  const int code = clicked ? app.waitForExit(15) : -1;
  const double seconds = std::chrono::duration<double>(Clock::now() - pressed).count();
  server.signalDaemons(SIGCONT);
  ASSERT_TRUE(clicked);
  EXPECT_EQ(code, 0) << "exit code (-1: did not end); see " << dir / "zephyrix.log";
  EXPECT_LT(seconds, 2.5) << "from the Power click to the end of the program";
}

// A server that is stopped when the unit starts (a suspended session) is not
// waited for without limit: one line, and the unit ends with status 1.
TEST_P(LiveDevices, AServerStoppedAtTheStartIsNotWaitedFor) {
  std::string environment;
  for (const auto& [name, value] : backendEnvironment(GetParam()))
    environment += name + "=" + value + " ";
  server.signalDaemons(SIGSTOP);
  const std::string said = runCommand("env " + environment + "timeout 30 '" + program +
                                      "' --list-devices 2>&1; echo \"exit $?\"");
  server.signalDaemons(SIGCONT);
  EXPECT_EQ(said.rfind("zephyrix: ", 0), 0u) << said;
  EXPECT_NE(said.find("answer"), std::string::npos) << said;
  EXPECT_EQ(said.find('\n'), said.find("exit 1\n") - 1) << "one line, then exit 1: " << said;
}

INSTANTIATE_TEST_SUITE_P(Backends, LiveDevices,
                         ::testing::Values("pulseaudio", "pipewire", "native"),
                         [](const auto& info) { return std::string(info.param); });

// Devices chosen by name on the command line, and the unit as the microphone
// of a call the way a PulseAudio desktop allows (the README's recipe): it plays
// into a sink of its own, whose monitor is remapped into a real source that a
// call program records from.
TEST_F(LiveStream, DevicesGoByNameAndTheUnitServesAsAMicrophone) {
  const std::string mono = " channels=1 channel_map=mono ";
  for (const char* sink : {"zephyrix_out", "headset_a", "headset_b"})
    runCommand(std::string("pactl load-module module-null-sink sink_name=") + sink + mono +
               "sink_properties=device.description=" +
               (std::string(sink) == "zephyrix_out"
                    ? "Zephyrix-output"
                    : std::string("Headset-") + sink[std::strlen(sink) - 1]));
  runCommand(
      "pactl load-module module-remap-source master=zephyrix_out.monitor "
      "source_name=zephyrix_mic" +
      mono + "source_properties=device.description=Zephyrix-microphone");
  const auto run = [&](const std::string& options) {
    return runCommand("'" + program + "' " + options + " 2>&1; echo \"exit $?\"");
  };
  const std::string listed = run("--list-devices");
  for (const char* line :
       {"input: Microphone\n", "input: Zephyrix-microphone\n", "output: Zephyrix-output\n",
        "output: Headset-a\n", "output: Speaker\n", "exit 0"})
    EXPECT_NE(listed.find(line), std::string::npos) << line << " in:\n" << listed;
  struct Refused {
    const char* options;
    const char* says;
  } refused[] = {{"--output Headset", "'Headset' matches more than one device"},
                 {"--output Nowhere", "'Nowhere' matches no device"},
                 {"--input Speaker", "'Speaker' matches no device"}};
  for (const Refused& r : refused) {
    const std::string said = run(r.options);
    EXPECT_NE(said.find(r.says), std::string::npos) << said;
    EXPECT_NE(said.find("exit 2"), std::string::npos) << said;
  }

  writeWav(dir / "tone.wav", marker_signal::make(kRate, 4));
  recorder = startRecording("zephyrix_mic", dir / "call.wav");
  app.launch(program, dir, x, {}, {"--input", "Micro", "--output", "Zephyrix-out"});
  ASSERT_TRUE(app.findWindow(20)) << "no window appeared; see " << dir / "zephyrix.log";
  ASSERT_TRUE(SoundServer::waitForStreams(20)) << "no sound streams of the program";
  ASSERT_TRUE(app.click(Bypass));
  play(dir / "tone.wav");
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  ASSERT_TRUE(app.click(Power, 0));
  EXPECT_EQ(app.waitForExit(15), 0);
  stopChild(recorder, SIGINT);
  const auto sounds = marker_signal::analyse(readWav(dir / "call.wav"), kRate);
  ASSERT_EQ(sounds.size(), 1u) << "the call hears the unit" << describe(sounds);
  EXPECT_GE(sounds[0].markers.size(), 3u) << describe(sounds);
}

// Waits up to `seconds` until the server lists the source `node` (or, with
// `listed` false, no longer does); how long that took in seconds, or -1.
double waitForSource(const std::string& node, bool listed, double seconds) {
  const auto start = Clock::now();
  for (;;) {
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    const bool there =
        runCommand("pactl list short sources").find("\t" + node + "\t") != std::string::npos;
    if (there == listed) return waited;
    if (waited > seconds) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// The part of `pactl list sources` about the source named `node`.
std::string sourceEntry(const std::string& node) {
  const std::string all = runCommand("pactl list sources");
  const std::size_t at = all.find("Name: " + node + "\n");
  if (at == std::string::npos) return "";
  return all.substr(at, all.find("\nSource #", at) - at);
}

// The unit as a microphone of its own (--as-microphone): a source node that
// programs list as a microphone and record from, for exactly as long as the
// unit runs. The speaker plays nothing, or (--listen) the same sound; the
// user's default microphone stays as it was. The parameter: --listen.
class LiveMicrophone : public LiveStream, public ::testing::WithParamInterface<bool> {
 protected:
  void TearDown() override {
    stopChild(speaker, SIGINT);
    LiveStream::TearDown();
  }
  pid_t speaker = 0;  // the speaker's recorder
};

TEST_P(LiveMicrophone, ProgramsRecordTheUnitFromANodeOfItsOwnWhileItRuns) {
  const bool listen = GetParam();
  const int seconds = 4;
  writeWav(dir / "tone.wav", marker_signal::make(kRate, seconds));
  const std::string defaultSource = runCommand("pactl get-default-source");
  std::vector<std::string> options{"--as-microphone"};
  if (listen) options.emplace_back("--listen");
  app.launch(program, dir, x, {}, options);
  ASSERT_TRUE(app.findWindow(20)) << "no window appeared; see " << dir / "zephyrix.log";
  ASSERT_GE(waitForSource("zephyrix_microphone", true, 20), 0) << "no node of the unit";

  const std::string entry = sourceEntry("zephyrix_microphone");
  EXPECT_NE(entry.find("Description: Zephyrix\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("Monitor of Sink: n/a"), std::string::npos) << "a source, no monitor";
  EXPECT_NE(runCommand("'" + program + "' --list-devices").find("input: Zephyrix\n"),
            std::string::npos)
      << "another unit lists it among the microphones";
  EXPECT_EQ(runCommand("pactl get-default-source"), defaultSource);

  recorder = startRecording("zephyrix_microphone", dir / "recorded.wav");
  speaker = startRecording("spk.monitor", dir / "speaker.wav");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(app.click(Bypass));
  play(dir / "tone.wav");
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  ASSERT_TRUE(app.click(Power, 0));
  const double gone = waitForSource("zephyrix_microphone", false, 10);
  EXPECT_EQ(app.waitForExit(15), 0);
  stopChild(recorder, SIGINT);
  stopChild(speaker, SIGINT);
  EXPECT_GE(gone, 0) << "the node outlived the unit";
  EXPECT_LT(gone, 1.0) << "seconds from Power until the node was gone";
  EXPECT_EQ(runCommand("pactl get-default-source"), defaultSource);

  // Every marker once, in order, a second apart. The recorder reads the node
  // at its own rate, so the spacing is exact; a busy machine may still make
  // the server skip a cycle (as for the speaker), which keeps the timeline.
  const auto sounds = marker_signal::analyse(readWav(dir / "recorded.wav"), kRate);
  ASSERT_EQ(sounds.size(), 1u) << "the unit's sound, once" << describe(sounds);
  ASSERT_EQ(sounds[0].markers.size(), static_cast<std::size_t>(seconds)) << describe(sounds);
  for (std::size_t k = 1; k < sounds[0].markers.size(); ++k)
    EXPECT_NEAR(static_cast<double>(sounds[0].markers[k] - sounds[0].markers[k - 1]), kRate,
                static_cast<double>(kTolerance))
        << "marker " << k << describe(sounds);
  for (std::size_t q : sounds[0].silences)
    EXPECT_TRUE(false) << "a dropout at " << q << describe(sounds);

  const auto heard = marker_signal::analyse(readWav(dir / "speaker.wav"), kRate);
  if (listen) {
    ASSERT_EQ(heard.size(), 1u) << "the speaker plays it too" << describe(heard);
    EXPECT_EQ(heard[0].markers.size(), static_cast<std::size_t>(seconds)) << describe(heard);
  } else {
    EXPECT_TRUE(heard.empty()) << "the speaker stays silent" << describe(heard);
  }
}

INSTANTIATE_TEST_SUITE_P(Listen, LiveMicrophone, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "AndSpeaker" : "Alone"; });

// Two units, each a microphone of its own under its own name; killed, their
// nodes go with them (the server drops a dead client's nodes).
TEST_F(LiveStream, TwoMicrophonesGetNamesOfTheirOwnAndGoWhenKilled) {
  PanelProgram second;
  app.launch(program, dir, x, {}, {"--as-microphone"});
  ASSERT_GE(waitForSource("zephyrix_microphone", true, 20), 0) << "no node of the first unit";
  fs::create_directory(dir / "second");
  second.launch(program, dir / "second", x, {}, {"--as-microphone"});
  ASSERT_GE(waitForSource("zephyrix_microphone_2", true, 20), 0) << "no node of the second unit";
  EXPECT_NE(sourceEntry("zephyrix_microphone_2").find("Description: Zephyrix 2\n"),
            std::string::npos);
  for (PanelProgram* unit : {&app, &second}) {
    kill(unit->pid, SIGKILL);
    unit->waitForExit(5);
  }
  EXPECT_GE(waitForSource("zephyrix_microphone", false, 1.0), 0) << "a node outlived its unit";
  EXPECT_GE(waitForSource("zephyrix_microphone_2", false, 1.0), 0) << "a node outlived its unit";
}

}  // namespace
