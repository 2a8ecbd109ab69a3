// What the command line adds around the unit: its options, choosing devices by
// name, and recording what is played, on the virtual devices.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/desktop_start.h"
#include "app/preset_folder.h"
#include "app/recorder.h"
#include "panel/panel_keys.h"
#include "platform/exit_status.h"
#include "presets/preset_file.h"
#include "remote/status_json.h"
#include "remote/unit_status.h"
#include "support/app_fixture.h"

namespace {

// What a parsed command line holds, its set fields only.
std::string described(const CommandLine& l) {
  std::string text;
  const auto add = [&](bool set, const std::string& what) {
    if (set) text += (text.empty() ? "" : " ") + what;
  };
  add(l.help, "help");
  add(l.version, "version");
  add(l.listDevices, "list-devices");
  add(!l.input.empty(), "input=" + l.input);
  add(!l.output.empty(), "output=" + l.output);
  add(!l.record.empty(), "record=" + l.record);
  add(l.asMicrophone, "as-microphone");
  add(l.listen, "listen");
  add(l.send, "send");
  add(l.status, "status");
  add(l.watch, "watch");
  add(l.json, "json");
  for (int i = 0; i < l.keys.keyCount; ++i) add(true, std::string("key=") + l.keys.keys[i]->name);
  return text;
}

TEST(CommandLine, OptionsAndTheirErrors) {
  struct Case {
    std::vector<const char*> args;
    const char* error;  // "" for a command line that is taken
    const char* holds;
  } cases[] = {
      {{}, "", ""},
      {{"--input", "USB", "--output", "Head", "--record", "take.wav"},
       "",
       "input=USB output=Head record=take.wav"},
      {{"--list-devices", "--help", "--version"}, "", "help version list-devices"},
      {{"-h"}, "", "help"},
      {{"-V"}, "", "version"},
      {{"--record=take.wav", "--in=USB"}, "", "input=USB record=take.wav"},
      {{"--as-microphone", "--listen"}, "", "as-microphone listen"},
      {{"--send", "e", "Shift+Left"}, "", "send key=e key=shift+left"},
      {{"--status"}, "", "status"},
      {{"--json", "--status"}, "", "status json"},
      {{"--watch", "--json"}, "", "watch json"},
      {{"--json"}, "--json goes with --status or --watch", ""},
      {{"--send", "e", "--json"}, "--json goes with --status or --watch", ""},
      {{"--status", "--watch"}, "--send, --status and --watch go one at a time", ""},
      {{"--input"}, "--input needs a NAME", ""},
      {{"--record", ""}, "--record needs a FILE", ""},
      {{"--record="}, "--record needs a FILE", ""},
      {{"--gain", "2"}, "unknown option '--gain'", ""},
      {{"-x"}, "unknown option '-x'", ""},
      {{"--list-devices=yes"}, "--list-devices takes no value", ""},
      {{"take.wav"}, "unexpected argument 'take.wav'", ""},
      {{"--listen"}, "--listen goes with --as-microphone", ""},
      {{"--send"}, "--send needs the names of keys", ""},
      {{"--send", "e", "loud"}, "'loud' is no key of the panel", ""},
      {{"--send", "e", "--status"}, "--send, --status and --watch go one at a time", ""},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv{const_cast<char*>("zephyrix")};
    for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
    CommandLine line;
    std::string error;
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(parseCommandLine(static_cast<int>(argv.size()), argv.data(), line, error),
              *c.error == '\0');
    EXPECT_EQ(error, c.error);
    if (*c.error == '\0') {
      EXPECT_EQ(described(line), c.holds);
    }
  }
}

TEST(CommandLine, DeviceNamesMatchExactlyOrByAPartOfOneName) {
  const std::vector<std::string> names = {"Built-in Audio Analog Stereo", "USB Headset",
                                          "USB Headset Mono", "Monitor"};
  struct Case {
    const char* wanted;
    int result;
    const char* chosen;
  } cases[] = {
      {"USB Headset", kDeviceFound, "USB Headset"},  // exact, though a part of another
      {"Analog", kDeviceFound, "Built-in Audio Analog Stereo"},
      {"Mono", kDeviceFound, "USB Headset Mono"},
      {"USB", kDeviceAmbiguous, ""},
      {"usb", kDeviceUnknown, ""},
      {"Speaker", kDeviceUnknown, ""},
  };
  for (const Case& c : cases) {
    std::string chosen;
    EXPECT_EQ(matchDevice(names, c.wanted, chosen), c.result) << c.wanted;
    if (c.result == kDeviceFound) {
      EXPECT_EQ(chosen, c.chosen) << c.wanted;
    }
  }
  std::string chosen;
  EXPECT_EQ(matchDevice({}, "USB", chosen), kDeviceUnknown);
}

TEST(CommandLine, HelpListsEveryOptionAndKey) {
  const std::string help = commandLineHelp();
  for (const char* word : {"--list-devices", "--input NAME", "--output NAME", "--record FILE",
                           "--as-microphone", "--listen", "--send", "--status", "--watch", "--json",
                           "-h, --help", "-V, --version", "ZEPHYRIX_AUDIO"})
    EXPECT_THAT(help, testing::HasSubstr(word));
  for (const PanelKey& key : panelKeys())
    EXPECT_THAT(help, testing::HasSubstr(std::string(" ") + key.name + " "));
}

// The closing paragraphs are filled from the tables, word by word: every exit
// status, the status line's whole form and the JSON object's.
TEST(CommandLine, HelpFillsTheExitStatusesAndTheStatusLinesForm) {
  std::string flowing = commandLineHelp();
  std::replace(flowing.begin(), flowing.end(), '\n', ' ');
  for (const std::string& said :
       {"Exit status: " + exitStatusList(kUnitExits) + ".",
        "With --send, --status and --watch: " + exitStatusList(kRemoteExits) + ".",
        "--status prints: " + unitStatusForm() + ", " + unitStatusLegend(),
        "--json prints the same as one JSON object a line: " + statusJsonLegend()})
    EXPECT_THAT(flowing, testing::HasSubstr(said));
}

using Recording = AppTest;

std::vector<std::int16_t> readWave(const std::string& path, int& rate) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames));
  samples.resize(static_cast<std::size_t>(sf_read_short(f, samples.data(), info.frames)));
  rate = info.samplerate;
  sf_close(f);
  return samples;
}

// Starts the unit on the virtual devices, bypassed, with a ramp at its input.
WindowHandle startBypassed() {
  setVirtualCaptureSource([](std::int16_t* s, std::size_t n) {
    static std::int16_t next = 1;
    for (std::size_t i = 0; i < n; ++i) s[i] = next++;
  });
  const char* fatal = "unset";
  WindowHandle window = startZephyrix(&fatal);
  EXPECT_EQ(fatal, nullptr);
  effectSettings.muteOn = 0;
  effectSettings.bypassOn = 1;
  return window;
}

// The recording holds every block as it was queued: what was played, then the
// two blocks still queued when the unit stopped. Muted blocks are silence.
TEST_F(Recording, HoldsEveryPlayedBlockSampleForSample) {
  ASSERT_EQ(openRecording("take.wav"), 0);
  startRecording();
  WindowHandle window = startBypassed();
  for (int i = 0; i < 12; ++i) tickVirtualAudio();
  effectSettings.muteOn = 1;
  for (int i = 0; i < 3; ++i) tickVirtualAudio();
  const std::vector<std::int16_t> played = takeVirtualPlayback();
  shutDownZephyrix(window);
  stopRecording();

  int rate = 0;
  const std::vector<std::int16_t> recorded = readWave("take.wav", rate);
  EXPECT_EQ(rate, 32000);
  const std::size_t chunk = audioProfile.blockSamples * audioProfile.blockByteFactor / 2;
  ASSERT_EQ(recorded.size(), played.size() + 2 * chunk);
  EXPECT_TRUE(std::equal(played.begin(), played.end(), recorded.begin()));
  EXPECT_NE(std::count(played.begin(), played.end(), 0), static_cast<long>(played.size()));
  EXPECT_EQ(recordedSamples(), recorded.size());
  EXPECT_EQ(droppedSamples(), 0u);
}

TEST_F(Recording, AFileThatCannotBeMadeStopsTheStartBeforeAnyDevice) {
  std::filesystem::create_directory("taken");
  std::vector<char*> argv{const_cast<char*>("zephyrix"), const_cast<char*>("--record"),
                          const_cast<char*>("taken")};
  testing::internal::CaptureStderr();
  EXPECT_EQ(runFromCommandLine(3, argv.data()), 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "zephyrix: cannot record to 'taken': Is a directory\n");
  const VirtualAudioStats st = virtualAudioStats();
  EXPECT_EQ(st.playbackOpens + st.captureOpens, 0);
  EXPECT_TRUE(st.queriedRates.empty());
}

// What needs PipeWire says so in one line, before any window or device, where
// no PipeWire server answers; a backend that does not exist is a bad command
// line.
TEST(SoundBackend, WhatCannotBeHadEndsTheStartWithOneLine) {
  setenv("PIPEWIRE_REMOTE", "zephyrix-test-no-such-server", 1);
  struct Case {
    const char* audio;  // ZEPHYRIX_AUDIO
    const char* option;
    int exitCode;
    const char* says;
  } cases[] = {
      {"", "--as-microphone", 1,
       "zephyrix: --as-microphone needs a PipeWire server, and none answers (see \"The unit as a "
       "microphone\" in the README)\n"},
      {"native", "--record=take.wav", 1, "zephyrix: ZEPHYRIX_AUDIO=native needs a PipeWire server"},
      {"loud", "--record=take.wav", 2,
       "zephyrix: ZEPHYRIX_AUDIO is 'loud'; it may be native or sdl\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    setenv("ZEPHYRIX_AUDIO", c.audio, 1);
    std::vector<char*> argv{const_cast<char*>("zephyrix"), const_cast<char*>(c.option)};
    testing::internal::CaptureStderr();
    EXPECT_EQ(runFromCommandLine(2, argv.data()), c.exitCode);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind(c.says, 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_FALSE(std::filesystem::exists("take.wav")) << "nothing was started";
  }
  unsetenv("ZEPHYRIX_AUDIO");
  unsetenv("PIPEWIRE_REMOTE");
}

// Started in the home folder (as from the desktop's menu) the unit keeps its
// presets in a folder of the user's data directory; anywhere else, right there.
TEST_F(Recording, PresetsGoToTheDataFolderWhenStartedInTheHomeFolder) {
  const std::filesystem::path top = std::filesystem::current_path();
  std::filesystem::create_directories(top / "home" / "elsewhere");
  std::ofstream(top / "file");
  struct Case {
    const char* from;      // below top
    const char* dataHome;  // XDG_DATA_HOME below top, or as it stands; null: not set
    bool homePresets;      // a preset file lies in the home folder
    const char* kept;      // below top
    const char* said;      // on standard error
  } cases[] = {
      {"home", nullptr, false, "home/.local/share/zephyrix", ""},
      {"home", "/data", false, "data/zephyrix", ""},
      {"home", "relative", false, "home/.local/share/zephyrix", ""},  // not absolute: ignored
      {"home", "/file", false, "home/.local/share/zephyrix",
       "/file/zephyrix (XDG_DATA_HOME): Not a directory; using "},
      {"home/elsewhere", nullptr, true, "home/elsewhere", ""},
      {"home", "/data", true, "data/zephyrix", "home/PresetFile.KDX moved to "},
      {"home", "/data", true, "data/zephyrix", ""},  // the data folder's file wins
  };
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", (top / "home").c_str(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " " + (c.dataHome ? c.dataHome : "-"));
    const std::string data = c.dataHome && *c.dataHome == '/' ? (top / (c.dataHome + 1)).string()
                                                              : (c.dataHome ? c.dataHome : "");
    if (c.dataHome)
      setenv("XDG_DATA_HOME", data.c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
    if (c.homePresets) std::ofstream(top / "home" / kPresetFileName) << "mine";
    std::filesystem::current_path(top / c.from);
    testing::internal::CaptureStderr();
    EXPECT_EQ(choosePresetFolder(), (top / c.kept).string());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::filesystem::current_path(), top / c.kept);
    if (*c.said == '\0')
      EXPECT_EQ(said, "");
    else
      EXPECT_NE(said.find(c.said), std::string::npos) << said;
    if (c.homePresets && *c.said != '\0') {
      EXPECT_FALSE(std::filesystem::exists(top / "home" / kPresetFileName));
      EXPECT_EQ(std::filesystem::file_size(top / c.kept / kPresetFileName), 4u);
    }
    std::filesystem::current_path(top);
  }
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", home.c_str(), 1);
}

// A disk that fills stops the recording with one line; the unit plays on and
// what was written stays a readable file.
TEST_F(Recording, AFullDiskStopsTheRecordingButNotTheUnit) {
  ASSERT_EQ(openRecording("take.wav"), 0);
  startRecording();
  WindowHandle window = startBypassed();
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const rlimit small{20000, saved.rlim_max};
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 20; ++i) tickVirtualAudio();
  stopRecording();
  setrlimit(RLIMIT_FSIZE, &saved);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "zephyrix: recording stopped: File too large\n");
  EXPECT_EQ(virtualAudioStats().playbackNotifications, 20) << "the unit played on";
  shutDownZephyrix(window);
  int rate = 0;
  const std::vector<std::int16_t> recorded = readWave("take.wav", rate);
  EXPECT_GT(recorded.size(), 0u);
  EXPECT_LE(recorded.size() * 2, 20000u);
  EXPECT_GT(droppedSamples(), 0u);
}

}  // namespace
