// The default map, map files good and bad, and loading one at start-up.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "midi/midi_map.h"
#include "panel/button_table.h"
#include "support/scratch_directory.h"

namespace {

// The control `event` presses under `map`, or NoButton.
std::int32_t pressed(const MidiMap& map, MidiEvent event) {
  const MidiBinding* binding = midiBindingFor(map, event);
  return binding == nullptr ? NoButton : binding->buttonId;
}

TEST(MidiMapTest, DefaultMap) {
  const MidiMap& map = defaultMidiMap();
  EXPECT_EQ(map.channel, 1);
  EXPECT_EQ(map.count, 22);
  EXPECT_EQ(pressed(map, {MidiKind::Program, 1, 0, 0}), Preset1);
  EXPECT_EQ(pressed(map, {MidiKind::Program, 1, 9, 0}), Preset10);
  EXPECT_EQ(pressed(map, {MidiKind::Program, 1, 10, 0}), NoButton);
  EXPECT_EQ(pressed(map, {MidiKind::Control, 1, 84, 127}), DownsamplerSwitch);
  EXPECT_EQ(pressed(map, {MidiKind::Control, 1, 87, 127}), DelayDown);
  EXPECT_EQ(pressed(map, {MidiKind::Control, 1, 90, 0}), DownsamplerUp);
  EXPECT_EQ(pressed(map, {MidiKind::Control, 1, 7, 64}), GainTrack);
  EXPECT_EQ(pressed(map, {MidiKind::Control, 2, 80, 127}), NoButton);  // another channel
  EXPECT_EQ(pressed(map, {MidiKind::NoteOn, 1, 80, 127}), NoButton);
}

TEST(MidiMapTest, MapFiles) {
  const struct Case {
    const char* text;
    int line;            // of the error, 0 for a good file
    const char* reason;  // a part of the error's reason, or the control `probe` presses
    MidiEvent probe{MidiKind::None, 0, 0, 0};
    std::int32_t control = NoButton;
  } cases[] = {
      {"", 0, "", {MidiKind::Program, 1, 0, 0}, NoButton},
      {"# nothing\n\n   \n", 0, "", {MidiKind::Control, 1, 80, 127}, NoButton},
      {"channel 16\ncc 80 = echo\n", 0, "", {MidiKind::Control, 16, 80, 127}, Echo},
      {"channel 16\ncc 80 = echo\n", 0, "", {MidiKind::Control, 1, 80, 127}, NoButton},
      {"\tNOTE  36=Delay   Up  # comment\r\n", 0, "", {MidiKind::NoteOff, 1, 36, 0}, DelayUp},
      {"program 127 = preset 10", 0, "", {MidiKind::Program, 1, 127, 0}, Preset10},
      {"note 1 = step 16\nnote 2 = step 1", 0, "", {MidiKind::NoteOn, 1, 1, 9}, Step16},
      {"cc 1 = downsampler down\ncc 2 = downsampler",
       0,
       "",
       {MidiKind::Control, 1, 2, 0},
       DownsamplerSwitch},
      {"cc 7 = gain\nnote 7 = save\nprogram 7 = save", 0, "", {MidiKind::NoteOn, 1, 7, 1}, Save},
      {"cc 80 = echoo", 1, "unknown control \"echoo\""},
      {"cc 80 = preset 11", 1, "unknown control \"preset 11\""},
      {"cc 80 = step 0", 1, "unknown control \"step 0\""},
      {"cc 80 = delay", 1, "unknown control \"delay\""},
      {"cc 80 =", 1, "expected a control"},
      {"\n\ncc 200 = echo", 3, "cc number 200 is not 0 ... 127"},
      {"note x = echo", 1, "note number x is not 0 ... 127"},
      {"program -1 = save", 1, "program number -1 is not 0 ... 127"},
      {"cc 80 = echo\ncc 80 = mute", 2, "cc 80 is mapped twice"},
      {"note 5 = gain", 1, "gain needs a cc"},
      {"program 5 = gain", 1, "gain needs a cc"},
      {"cc 80 echo", 1, "expected \"=\""},
      {"cc = echo", 1, "cc needs a number"},
      {"channel 0", 1, "channel number 0 is not 1 ... 16"},
      {"channel 17", 1, "channel number 17 is not 1 ... 16"},
      {"channel 2 3", 1, "unexpected \"3\""},
      {"channel 2\nchannel 3", 2, "channel is set twice"},
      {"cc 1 = echo\nknob 2 = mute", 2, "unknown word \"knob\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MidiMap map = defaultMidiMap();
    MidiMapError error{0, ""};
    const bool good = parseMidiMap(c.text, &map, &error);
    ASSERT_EQ(good, c.line == 0) << error.line << ": " << error.reason;
    if (good) {
      EXPECT_EQ(pressed(map, c.probe), c.control);
      continue;
    }
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
    EXPECT_EQ(map.count, defaultMidiMap().count) << "a bad file leaves the map as it was";
  }
}

class MidiMapFileTest : public ScratchDirectory {
 protected:
  // loadMidiMap's map of `path`, starting from an empty one, and what it printed.
  std::string load(const std::string& path, MidiMap* map) {
    *map = MidiMap{};
    testing::internal::CaptureStderr();
    loadMidiMap(path, map);
    return testing::internal::GetCapturedStderr();
  }
  static void write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
  }
};

TEST_F(MidiMapFileTest, LoadingKeepsTheDefaultUnlessTheFileIsGood) {
  MidiMap map;
  EXPECT_EQ(load("missing.conf", &map), "");
  EXPECT_EQ(map.count, defaultMidiMap().count);

  write("good.conf", "channel 3\nnote 36 = bypass\n");
  EXPECT_EQ(load("good.conf", &map), "");
  EXPECT_EQ(map.count, 1);
  EXPECT_EQ(pressed(map, {MidiKind::NoteOn, 3, 36, 1}), Bypass);

  write("bad.conf", "cc 80 = echo\n# two\ncc 81 = flanger up\n");
  EXPECT_EQ(load("bad.conf", &map),
            "zephyrix: bad.conf:3: unknown control \"flanger up\"; the default MIDI map stays\n");
  EXPECT_EQ(map.count, defaultMidiMap().count);

  write("large.conf", std::string(64 * 1024 + 1, '\n'));
  EXPECT_EQ(load("large.conf", &map),
            "zephyrix: large.conf: larger than 64 KiB; the default MIDI map stays\n");
  EXPECT_EQ(map.count, defaultMidiMap().count);

  ASSERT_EQ(mkfifo("pipe.conf", 0600), 0);
  EXPECT_EQ(load("pipe.conf", &map),  // and did not wait for a writer
            "zephyrix: pipe.conf: not a regular file; the default MIDI map stays\n");
  EXPECT_EQ(map.count, defaultMidiMap().count);
}

TEST(MidiMapTest, PathFollowsTheEnvironment) {
  setenv("XDG_CONFIG_HOME", "/c", 1);
  setenv("HOME", "/h", 1);
  EXPECT_EQ(midiMapPath(), "/c/zephyrix/midi.conf");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(midiMapPath(), "/h/.config/zephyrix/midi.conf");
  unsetenv("HOME");
  EXPECT_EQ(midiMapPath(), "");
}

}  // namespace
