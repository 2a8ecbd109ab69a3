// The zephyrix program on a private sound server (scripts/sound_server.sh) and a
// private X server: a tone with a marker every second is played into the
// microphone's feed, what the speaker plays is recorded from its monitor, and
// the panel is worked with xdotool. Every block must come through once, in
// order, with nothing lost, repeated or shifted; a fault while the server
// itself missed cycles does not count (support/sound_server.h). How long
// things take is bench/live/measure.sh's business.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/marker_signal.h"
#include "live/live_sound.h"
#include "panel/button_table.h"
#include "support/child_process.h"
#include "support/panel_program.h"
#include "support/sound_server.h"
#include "support/wait_for.h"
#include "support/x_server.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBypassSeconds = 8;
constexpr int kEchoSeconds = 4;
constexpr std::size_t kTolerance = 4;          // samples of marker spacing
constexpr std::size_t kEchoDelay = kRate / 2;  // the echo switch's 4 blocks of 125 ms

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

  // Starts the unit with `options` and the extra `environment`, and waits until
  // it plays and takes clicks.
  void start(const std::map<std::string, std::string>& environment = {},
             const std::vector<std::string>& options = {}) {
    app.launch(program, dir, x, environment, options);
    ASSERT_TRUE(app.findWindow(60)) << "no window appeared; see " << dir / "zephyrix.log";
    ASSERT_TRUE(SoundServer::waitForStreams()) << "no sound streams of the program";
  }

  // Clicks a control and waits until the unit's status line shows `shown`.
  void click(std::int32_t id, const std::string& shown) {
    ASSERT_TRUE(app.click(id));
    std::string last;
    ASSERT_TRUE(app.waitForStatus(shown, &last)) << "expected " << shown << " in: " << last;
  }

  // Plays tone.wav (`seconds` of the marker signal) into the microphone while
  // the server's missed cycles are watched, then Power; every marker of
  // `recording` once, in order, a second apart (`exact`: no dropout either).
  void playAndJudge(const fs::path& recording, int seconds, bool exact, const char* silent) {
    ASSERT_TRUE(missed.start(dir / "xruns.log"));
    play(dir / "tone.wav");
    ASSERT_TRUE(waitForSoundOver(recording)) << silent;
    const std::map<std::string, int> late = missed.stop();
    ASSERT_NO_FATAL_FAILURE(power());
    stopChild(recorder, SIGINT);
    const auto sounds = marker_signal::analyse(readWav(recording), kRate);
    judgeFaults(markerFaults(sounds, 1, seconds, kTolerance, exact), late, describe(sounds));
  }

  // Power, and the unit ends with 0.
  void power() {
    ASSERT_TRUE(app.click(Power));
    EXPECT_EQ(app.waitForExit(kGenerousDeadline.count()), 0)
        << "exit code (-1: did not end); see " << dir / "zephyrix.log";
  }

  std::string program;
  fs::path dir;
  SoundServer server;
  XServer x;
  PanelProgram app;
  MissedCycles missed;
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
  ASSERT_NO_FATAL_FAILURE(start(backendEnvironment(GetParam())));
  EXPECT_EQ(nativeStreams(), std::string(GetParam()) != "sdl")
      << "where a PipeWire server answers the unit talks to it directly, unless told otherwise";
  // On the server's 48000 Hz graph as anywhere: the first of the profiles'
  // rates, which the server converts, so every backend makes the same sound.
  EXPECT_NE(runCommand("pactl list short sink-inputs").find("1ch 32000Hz"), std::string::npos)
      << runCommand("pactl list short sink-inputs");
  ASSERT_NO_FATAL_FAILURE(click(Bypass, "mute=OFF bypass=ON"));  // ends the mute it starts with
  ASSERT_TRUE(missed.start(dir / "xruns.log"));
  play(dir / "bypass.wav");
  // Over at the speaker before Echo, so the two sounds stay apart.
  ASSERT_TRUE(waitForSoundOver(dir / "played.wav")) << "the bypassed sound did not end";
  ASSERT_NO_FATAL_FAILURE(click(Echo, "echo=1S"));
  play(dir / "echo.wav");
  // The sound and a second of its echoes.
  ASSERT_TRUE(waitForRecorded(dir / "played.wav", [](const Recorded& r) {
    return r.begins.size() >= 2 && r.samples - r.begins[1] >= (kEchoSeconds + 1) * kRate;
  })) << "no echoed sound";
  const std::map<std::string, int> late = missed.stop();
  ASSERT_NO_FATAL_FAILURE(power());
  stopChild(recorder, SIGINT);

  const std::vector<std::int16_t> played = readWav(dir / "played.wav");
  ASSERT_GT(played.size(), static_cast<std::size_t>(kBypassSeconds * kRate));
  const auto sounds = marker_signal::analyse(played, kRate);
  // Bypassed: the input itself, every sample once and in order, whole.
  std::vector<std::string> faults = markerFaults(sounds, 2, kBypassSeconds, kTolerance, true);
  if (sounds.size() == 2) {
    const marker_signal::Sound &bypass = sounds[0], &echo = sounds[1];
    const auto off = [](std::size_t a, std::size_t b) {
      return a > b + 2 * kTolerance || b > a + 2 * kTolerance;
    };
    if (off(bypass.length(), kBypassSeconds * kRate))
      faults.push_back("samples lost or added: " + std::to_string(bypass.length()));
    if (!bypass.markers.empty() && off(bypass.markers[0] - bypass.begin, kRate / 2))
      faults.push_back("the start of the sound was cut or delayed");
    // Echo: each marker comes back half a second later, and so on, every half second.
    std::size_t echoes = 0;
    for (std::size_t k = 1; k < echo.markers.size(); ++k) {
      const std::size_t d = echo.markers[k] - echo.markers[k - 1];
      if (d + kTolerance >= kEchoDelay && d <= kEchoDelay + kTolerance) ++echoes;
    }
    if (echoes < 2 * kEchoSeconds - 1)
      faults.push_back(std::to_string(echoes) + " markers half a second apart in the echo");
  }
  judgeFaults(faults, late, describe(sounds));
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
  ASSERT_NO_FATAL_FAILURE(start(backendEnvironment(GetParam())));
  ASSERT_NO_FATAL_FAILURE(click(Bypass, "bypass=ON"));
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
  const Clock::time_point powered = Clock::now();
  ASSERT_NO_FATAL_FAILURE(power());
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
  EXPECT_LT(back, static_cast<long>(at(powered))) << "no sound from the new microphone";
}

// A server that stops answering (stalled, or hung with its connections open):
// SDL's threads wait on it without a timeout, and Power must still end the unit.
TEST_P(LiveDevices, PowerEndsTheUnitWhenTheServerStopsAnswering) {
  ASSERT_NO_FATAL_FAILURE(start(backendEnvironment(GetParam())));
  ASSERT_TRUE(app.waitForStatus("mute=ON")) << "the unit does not answer";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  server.signalDaemons(SIGSTOP);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // nobody has heard from it since
  const bool clicked = app.click(Power);
  // A unit that waits on the stalled server for good never ends: ending at all
  // is ending in spite of it (how soon is bench/live/measure.sh's business).
  const int code = clicked ? app.waitForExit(kGenerousDeadline.count()) : -1;
  server.signalDaemons(SIGCONT);
  ASSERT_TRUE(clicked);
  EXPECT_EQ(code, 0) << "exit code (-1: did not end); see " << dir / "zephyrix.log";
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

  const int seconds = 4;
  writeWav(dir / "tone.wav", marker_signal::make(kRate, seconds));
  recorder = startRecording("zephyrix_mic", dir / "call.wav");
  ASSERT_NO_FATAL_FAILURE(start({}, {"--input", "Micro", "--output", "Zephyrix-out"}));
  ASSERT_NO_FATAL_FAILURE(click(Bypass, "bypass=ON"));
  // The call hears the unit: every marker, a second apart.
  playAndJudge(dir / "call.wav", seconds, false, "the call heard no sound");
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
  ASSERT_TRUE(app.findWindow(60)) << "no window appeared; see " << dir / "zephyrix.log";
  ASSERT_GE(waitForSource("zephyrix_microphone", true, 60), 0) << "no node of the unit";

  const std::string entry = sourceEntry("zephyrix_microphone");
  EXPECT_NE(entry.find("Description: Zephyrix\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("Monitor of Sink: n/a"), std::string::npos) << "a source, no monitor";
  EXPECT_NE(runCommand("'" + program + "' --list-devices").find("input: Zephyrix\n"),
            std::string::npos)
      << "another unit lists it among the microphones";
  EXPECT_EQ(runCommand("pactl get-default-source"), defaultSource);

  recorder = startRecording("zephyrix_microphone", dir / "recorded.wav");
  speaker = startRecording("spk.monitor", dir / "speaker.wav");
  ASSERT_NO_FATAL_FAILURE(click(Bypass, "bypass=ON"));
  ASSERT_TRUE(waitFor([&] {
    return !recordedSoFar(dir / "recorded.wav").empty() &&
           !recordedSoFar(dir / "speaker.wav").empty();
  })) << "the recorders did not start";
  ASSERT_TRUE(missed.start(dir / "xruns.log"));
  play(dir / "tone.wav");
  ASSERT_TRUE(waitForSoundOver(dir / "recorded.wav")) << "the node gave no sound";
  ASSERT_TRUE(!listen || waitForSoundOver(dir / "speaker.wav")) << "the speaker played none";
  const std::map<std::string, int> late = missed.stop();
  ASSERT_TRUE(app.click(Power));
  const double gone = waitForSource("zephyrix_microphone", false, 10);
  EXPECT_EQ(app.waitForExit(kGenerousDeadline.count()), 0);
  stopChild(recorder, SIGINT);
  stopChild(speaker, SIGINT);
  EXPECT_GE(gone, 0) << "the node outlived the unit";
  EXPECT_LT(gone, 1.0) << "seconds from Power until the node was gone";
  EXPECT_EQ(runCommand("pactl get-default-source"), defaultSource);

  // Every marker once, in order, a second apart, with no dropout: the recorder
  // reads the node at its own rate, so the spacing is exact. The speaker plays
  // the same, or nothing.
  const auto sounds = marker_signal::analyse(readWav(dir / "recorded.wav"), kRate);
  const auto heard = marker_signal::analyse(readWav(dir / "speaker.wav"), kRate);
  std::vector<std::string> faults = markerFaults(sounds, 1, seconds, kTolerance, true);
  for (const std::string& f : markerFaults(heard, listen ? 1 : 0, seconds, kRate, false))
    faults.push_back("the speaker: " + f);
  judgeFaults(faults, late, describe(sounds) + "\n the speaker:" + describe(heard));
}

INSTANTIATE_TEST_SUITE_P(Listen, LiveMicrophone, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "AndSpeaker" : "Alone"; });

std::string readText(const fs::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The server restarted under the unit, as a package upgrade does: the unit
// says so, carries on, and its node comes back under the same name and
// description, carrying every marker again; so do its MIDI nodes.
TEST_F(LiveStream, TheMicrophoneNodeComesBackAfterTheServerRestarts) {
  const int seconds = 3;
  writeWav(dir / "tone.wav", marker_signal::make(kRate, seconds));
  app.launch(program, dir, x, {}, {"--as-microphone"});
  ASSERT_TRUE(app.findWindow(60)) << "no window appeared; see " << dir / "zephyrix.log";
  ASSERT_GE(waitForSource("zephyrix_microphone", true, 60), 0) << "no node of the unit";
  ASSERT_NO_FATAL_FAILURE(click(Bypass, "bypass=ON"));
  ASSERT_TRUE(server.restart()) << "the server did not come back";
  const auto said = [&](const char* line) {
    return readText(dir / "zephyrix.log").find(line) != std::string::npos;
  };
  ASSERT_TRUE(waitFor([&] { return said("zephyrix: sound is back\n"); }))
      << readText(dir / "zephyrix.log");
  EXPECT_TRUE(said("zephyrix: the sound server went away; waiting for it\n"));
  ASSERT_GE(waitForSource("zephyrix_microphone", true, 60), 0) << "the node did not come back";
  EXPECT_NE(sourceEntry("zephyrix_microphone").find("Description: Zephyrix\n"), std::string::npos);
  ASSERT_TRUE(app.waitForStatus("bypass=ON gain=1.00 sound=yes")) << "settings or sound lost";
  EXPECT_TRUE(waitFor([] {
    const std::string ports = runCommand("pw-link -i -o");
    return ports.find("zephyrix_control:control") != std::string::npos &&
           ports.find("zephyrix_feedback:feedback") != std::string::npos;
  })) << "the MIDI nodes did not come back";

  recorder = startRecording("zephyrix_microphone", dir / "recorded.wav");
  ASSERT_TRUE(waitFor([&] { return !recordedSoFar(dir / "recorded.wav").empty(); }));
  playAndJudge(dir / "recorded.wav", seconds, true, "the node gave no sound");
}

// Two units, each a microphone (and a MIDI input) of its own under its own
// name; killed, their nodes go with them (the server drops a dead client's
// nodes).
TEST_F(LiveStream, TwoMicrophonesGetNamesOfTheirOwnAndGoWhenKilled) {
  PanelProgram second;
  app.launch(program, dir, x, {}, {"--as-microphone"});
  ASSERT_GE(waitForSource("zephyrix_microphone", true, 60), 0) << "no node of the first unit";
  fs::create_directory(dir / "second");
  second.launch(program, dir / "second", x, {}, {"--as-microphone"});
  ASSERT_GE(waitForSource("zephyrix_microphone_2", true, 60), 0) << "no node of the second unit";
  EXPECT_NE(sourceEntry("zephyrix_microphone_2").find("Description: Zephyrix 2\n"),
            std::string::npos);
  const auto midiInputs = [] { return runCommand("pw-link -i"); };
  EXPECT_TRUE(waitFor([&] {
    return midiInputs().find("zephyrix_control_2:control") != std::string::npos;
  })) << "the second unit's MIDI input is not named apart: "
      << midiInputs();
  for (PanelProgram* unit : {&app, &second}) {
    kill(unit->pid, SIGKILL);
    unit->waitForExit(5);
  }
  EXPECT_GE(waitForSource("zephyrix_microphone", false, 1.0), 0) << "a node outlived its unit";
  EXPECT_GE(waitForSource("zephyrix_microphone_2", false, 1.0), 0) << "a node outlived its unit";
  EXPECT_EQ(midiInputs().find("zephyrix_control"), std::string::npos)
      << "a MIDI node outlived its unit";
}

// A standard MIDI file of `events` (whole channel messages), one every 50 ms.
void writeMidiFile(const fs::path& file, const std::vector<std::vector<std::uint8_t>>& events) {
  std::string track;
  for (const auto& e : events) {
    track.push_back(24);  // ticks, at 96 a quarter note of 500 ms
    track.append(e.begin(), e.end());
  }
  track += std::string("\x18\xff\x2f\x00", 4);  // the track's end
  const auto be32 = [](std::size_t n) {
    return std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
  };
  std::ofstream(file, std::ios::binary) << "MThd" << be32(6) << std::string("\0\0\0\1\0\x60", 6)
                                        << "MTrk" << be32(track.size()) << track;
}

// What pw-mididump printed, each message as "ch1 cc80=127", "ch1 program2",
// "ch2 note-on" or "ch2 note-off".
std::vector<std::string> dumpedLights(const fs::path& dump) {
  std::vector<std::string> lights;
  std::istringstream in(readText(dump));
  for (std::string line; std::getline(in, line);) {
    int ch = 0, number = 0, value = 0;
    const char* at = std::strstr(line.c_str(), "(channel");
    if (at == nullptr || std::sscanf(at, "(channel %d", &ch) != 1) continue;
    const std::string name = "ch" + std::to_string(ch) + " ";
    const char* cc = std::strstr(at, "controller");
    const char* program = std::strstr(at, "program");
    const char* value_at = std::strstr(at, "value");
    if (cc && value_at && std::sscanf(cc, "controller %d", &number) == 1 &&
        std::sscanf(value_at, "value %d", &value) == 1)
      lights.push_back(name + "cc" + std::to_string(number) + "=" + std::to_string(value));
    else if (program && std::sscanf(program, "program %d", &number) == 1)
      lights.push_back(name + "program" + std::to_string(number));
    else if (line.find("Note On") != std::string::npos)
      lights.push_back(name + "note-on");
    else if (line.find("Note Off") != std::string::npos)
      lights.push_back(name + "note-off");
  }
  return lights;
}

struct MidiCase {
  const char* name;
  const char* map;  // the map file; null for the default map
  std::vector<std::vector<std::uint8_t>> events;
  std::vector<const char*> shown;   // parts of the status line after them
  std::size_t firstLights;          // the whole state, sent when the lights are linked
  std::vector<std::string> lights;  // then each change once
};

const MidiCase kMidiCases[] = {
    {"DefaultMap",
     nullptr,
     // Echo pressed and let go; preset 3; Flanger; Bypass held down (sent
     // twice) and let go; on channel 2 (not listened to) Reverse; the knob to
     // the bottom.
     {{0xB0, 80, 127},
      {0xB0, 80, 0},
      {0xC0, 2},
      {0xB0, 81, 100},
      {0xB0, 81, 0},
      {0xB0, 86, 127},
      {0xB0, 86, 127},
      {0xB0, 86, 0},
      {0xB1, 83, 127},
      {0xB0, 7, 0}},
     {"preset=3 ", "reverse=OFF", "flanger=ON", "bypass=ON gain=0.00"},
     8,
     // Echo's press also unmutes; the preset turns it off again.
     {"ch1 cc80=127", "ch1 cc85=0", "ch1 cc80=0", "ch1 program2", "ch1 cc81=127", "ch1 cc86=127"}},
    {"MapFile",
     "# a pad controller on channel 2\nchannel 2\n  note 36 = bypass  # the big pad\n"
     "program 5 = preset 2\ncc 20 = gain\n",
     {{0xC1, 5}, {0x91, 36, 100}, {0x91, 36, 0}, {0xB1, 20, 0}, {0xB0, 86, 127}},
     {"preset=2 ", "bypass=ON gain=0.00"},
     1,
     {"ch2 program5", "ch2 note-on"}},
};

class LiveMidiThreaded : public LiveStream, public ::testing::WithParamInterface<MidiCase> {};

// A controller linked by name with --midi-from presses the controls its map
// binds its messages to, and the lights linked to the unit's MIDI output get
// the whole state once, then each change once. Under ThreadSanitizer too: the
// messages cross from PipeWire's thread to the window thread.
TEST_P(LiveMidiThreaded, AControllerPressesTheControlsAndItsLightsFollow) {
  const MidiCase& c = GetParam();
  for (const char* tool : {"pw-midiplay", "pw-mididump", "pw-link"})
    if (!haveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
  std::map<std::string, std::string> environment{{"XDG_CONFIG_HOME", (dir / "config").string()}};
  if (c.map != nullptr) {
    fs::create_directories(dir / "config" / "zephyrix");
    std::ofstream(dir / "config" / "zephyrix" / "midi.conf") << c.map;
  }
  writeMidiFile(dir / "events.mid", c.events);
  ASSERT_NO_FATAL_FAILURE(start(environment, {"--midi-from", "zephyrix-test-controller"}));
  ASSERT_TRUE(app.waitForStatus("sound=yes"));

  pid_t dump = spawnProgram({"pw-mididump"}, (dir / "lights.txt").string());
  const auto lights = [&] { return dumpedLights(dir / "lights.txt"); };
  const auto linked = [] {
    return runCommand("pw-link -l").find("|-> midi-dump:input") != std::string::npos;
  };
  ASSERT_TRUE(waitFor([&] {
    runCommand("pw-link zephyrix_feedback:feedback midi-dump:input 2>&1");
    return linked();
  })) << "the lights could not be linked";
  ASSERT_TRUE(waitFor([&] { return lights().size() >= c.firstLights; }))
      << runCommand("pw-link -l") << readText(dir / "zephyrix.log");

  // Unlinked, the player waits for the unit to link it.
  ASSERT_TRUE(missed.start(dir / "xruns.log"));
  player = spawnProgram(
      {"pw-midiplay", "-P", "{ node.autoconnect = false node.name = zephyrix-test-controller }",
       (dir / "events.mid").string()},
      (dir / "player.log").string());
  ASSERT_EQ(waitForChild(player, 60), 0) << "pw-midiplay failed or hung";
  player = 0;
  std::string last;
  for (const char* part : c.shown)
    EXPECT_TRUE(app.waitForStatus(part, &last)) << "expected " << part << " in: " << last;
  waitFor([&] { return lights().size() >= c.firstLights + c.lights.size(); });
  const std::vector<std::string> seen = lights();
  stopChild(dump);
  const std::map<std::string, int> late = missed.stop();
  ASSERT_GE(seen.size(), c.firstLights);
  // A message is lost only with a cycle its reader or the unit was late for.
  const auto joined = [](auto from, auto to) {
    std::string text;
    for (; from != to; ++from) text += " \"" + std::string(*from) + "\"";
    return text;
  };
  if (!std::equal(seen.begin() + c.firstLights, seen.end(), c.lights.begin(), c.lights.end()))
    judgeFaults({"lights" + joined(seen.begin() + c.firstLights, seen.end()) + " where" +
                 joined(c.lights.begin(), c.lights.end()) + " were due"},
                late, "\n  see " + (dir / "lights.txt").string());
  ASSERT_NO_FATAL_FAILURE(power());
}

INSTANTIATE_TEST_SUITE_P(Maps, LiveMidiThreaded, ::testing::ValuesIn(kMidiCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
