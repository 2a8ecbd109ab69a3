// zephyrix-render from the outside: its command line, its errors and what it
// does to the files it is given.
#include <cstring>

#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "tools/render_tool_support.h"

namespace render_test {
namespace {

using ::testing::HasSubstr;

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

std::size_t lineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class RenderCommandLineTest : public RenderToolTest {
 protected:
  void SetUp() override {
    RenderToolTest::SetUp();
    input = syntheticSpeech(32000, 1.0);
    writeSound(path("in.wav"), 32000, 1, kWav16, input);
  }
  std::vector<std::int16_t> input;
};

TEST_F(RenderCommandLineTest, EachBadCommandLineIsOneLineExitTwoAndWritesNothing) {
  struct BadLine {
    std::vector<std::string> args;
    const char* names;  // what the message must name
  };
  const std::vector<BadLine> lines = {
      {{"--loud"}, "unknown option '--loud'"},
      {{"-x"}, "unknown option '-x'"},
      {{"--pres", "p.kdx"}, "ambiguous option '--pres' (--presets, --preset)"},
      {{"--flanger=1"}, "--flanger takes no value"},
      {{"--echo", "3"}, "bad value '3' for --echo"},
      {{"--echo", "3S"}, "bad value '3S' for --echo"},
      {{"--downsample", "3"}, "bad value '3' for --downsample"},
      {{"--downsample", "16"}, "bad value '16' for --downsample"},
      {{"--slicer", "101"}, "bad value '101' for --slicer"},
      {{"--slicer", "10101010101010102"}, "for --slicer"},
      {{"--slicer", "1010101010101o10"}, "for --slicer"},
      {{"--gain", "4.5"}, "bad value '4.5' for --gain"},
      {{"--gain", "-0.1"}, "for --gain"},
      {{"--gain", "nan"}, "for --gain"},
      {{"--gain", "2x"}, "for --gain"},
      {{"--gain="}, "bad value '' for --gain"},
      {{"--tail", "-1"}, "for --tail"},
      {{"--tail", "inf"}, "for --tail"},
      {{"--rate", "22050"}, "bad value '22050' for --rate"},
      {{"--preset", "11", "--presets", "p.kdx"}, "bad value '11' for --preset"},
      {{"--preset", "first", "--presets", "p.kdx"}, "for --preset"},
      {{"--preset", "2"}, "--preset needs a preset file"},
  };
  for (const BadLine& line : lines) {
    std::vector<std::string> args = line.args;
    args.push_back(path("in.wav"));
    args.push_back(path("out.wav"));
    SCOPED_TRACE(args.front());
    const ToolRun r = run(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_THAT(r.err, HasSubstr(line.names));
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_EQ(listing(dir), std::set<std::string>{"in.wav"});
  }

  // Missing values and file names.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {path("in.wav"), path("out.wav"), "--gain"},
           {path("in.wav")},
           {},
           {path("in.wav"), path("out.wav"), path("third.wav")},
       }) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_EQ(listing(dir), std::set<std::string>{"in.wav"});
  }
}

TEST_F(RenderCommandLineTest, HelpAndVersion) {
  const ToolRun help = run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(run({"-h"}).out, help.out);
  EXPECT_EQ(help.err, "");
  for (const char* word :
       {"Usage: zephyrix-render [options] INPUT OUTPUT", "--rate", "--echo", "--flanger",
        "--reverse", "--slicer", "--downsample", "--gain", "--bypass", "--presets", "--preset",
        "--tail", "--version", "Example:", "mute is ignored", "exit code"})
    EXPECT_THAT(help.out, HasSubstr(word));

  const ToolRun version = run({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(run({"-V"}).out, version.out);
  EXPECT_THAT(version.out, ::testing::StartsWith("zephyrix-render "));
  EXPECT_EQ(lineCount(version.out), 1u);
}

TEST_F(RenderCommandLineTest, OptionSpellingsThatMeanTheSameRenderTheSame) {
  const std::vector<std::vector<std::string>> spellings = {
      {"--echo", "1/2S", "--downsample", "4", "--slicer", "1100000000000011"},
      {"--echo=2", "--downsample=X4", "--slicer=xx............xx"},
      {"--echo", "1/2s", "--downsample", "x4", "--slicer", "11............11", "--rate", "32000"},
      {"--ech", "2", "--down", "X4", "--sli", "11............11"},  // names shortened
  };
  std::vector<std::int16_t> first;
  for (const auto& spelling : spellings) {
    std::vector<std::string> args = spelling;
    args.push_back(path("in.wav"));
    args.push_back(path("out.wav"));
    const ToolRun r = run(args);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::int16_t> out = readSound(path("out.wav")).samples;
    if (first.empty())
      first = out;
    else
      EXPECT_EQ(out, first);
  }
  EXPECT_NE(first, input) << "the settings changed the sound";
}

TEST_F(RenderCommandLineTest, FileErrorsAreOneLineExitOneAndLeaveNothingBehind) {
  std::filesystem::create_directory(path("sub"));
  std::ofstream(path("notes.txt")) << "not a sound\n";
  std::ofstream(path("short.kdx")) << "too short for a preset file";
  writeSound(path("old.wav"), 32000, 1, kWav16, {1, 2, 3});
  const std::set<std::string> before = listing(dir);

  struct BadFile {
    std::vector<std::string> args;
    const char* names;
  };
  const std::vector<BadFile> files = {
      {{path("missing.wav"), path("old.wav")}, "cannot read"},
      {{path("sub"), path("old.wav")}, "cannot read"},
      {{path("notes.txt"), path("old.wav")}, "cannot read"},
      {{path("in.wav"), path("nowhere/out.wav")}, "cannot write"},
      {{path("in.wav"), path("sub")}, "cannot write"},
      {{path("in.wav"), path("notes.txt/out.wav")}, "cannot write"},
      {{"--presets", path("missing.kdx"), path("in.wav"), path("old.wav")}, "preset file"},
      {{"--presets", path("short.kdx"), path("in.wav"), path("old.wav")}, "not a preset file"},
      {{"--presets", path("sub"), path("in.wav"), path("old.wav")}, "not a preset file"},
  };
  for (const BadFile& f : files) {
    SCOPED_TRACE(f.args.front() + " " + f.args[1]);
    const ToolRun r = run(f.args);
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr(f.names));
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_EQ(listing(dir), before);
    EXPECT_TRUE(std::filesystem::is_empty(path("sub")));
    EXPECT_EQ(readSound(path("old.wav")).samples, (std::vector<std::int16_t>{1, 2, 3}))
        << "an existing output is kept when the render fails";
  }
}

TEST_F(RenderCommandLineTest, ARenderReplacesTheOutputAndLeavesNoTemporary) {
  writeSound(path("out.wav"), 8000, 2, kWav16, {5, 5, 5, 5});
  const ToolRun r = run({"--tail", "0.25", path("in.wav"), path("out.wav")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(listing(dir), (std::set<std::string>{"in.wav", "out.wav"}));
  const Sound out = readSound(path("out.wav"));
  EXPECT_EQ(out.rate, 32000);
  EXPECT_EQ(out.channels, 1);
  ASSERT_EQ(out.samples.size(), input.size() + 8000);
  EXPECT_TRUE(std::equal(input.begin(), input.end(), out.samples.begin()))
      << "with every effect off the render is the input";
  EXPECT_TRUE(std::all_of(out.samples.begin() + static_cast<std::ptrdiff_t>(input.size()),
                          out.samples.end(), [](std::int16_t v) { return v == 0; }));

  // Rendering a file onto itself works too: it is read whole before the rename.
  const ToolRun self = run({"--gain", "0.5", path("out.wav"), path("out.wav")});
  ASSERT_EQ(self.code, 0) << self.err;
  EXPECT_EQ(readSound(path("out.wav")).samples.size(), input.size() + 8000);
}

// --- Input conversion --------------------------------------------------------

TEST_F(RenderCommandLineTest, ChannelsAreAveragedAndOtherEncodingsTakenExactly) {
  // Stereo at the profile's rate: left x + y, right x - y averages to x.
  std::vector<std::int16_t> stereo;
  for (std::size_t i = 0; i < input.size(); ++i) {
    const auto x = static_cast<std::int16_t>(input[i] / 2);
    const auto y = static_cast<std::int16_t>((i % 7) * 100 - 300);
    stereo.push_back(static_cast<std::int16_t>(x + y));
    stereo.push_back(static_cast<std::int16_t>(x - y));
  }
  writeSound(path("stereo.wav"), 32000, 2, kWav16, stereo);
  ASSERT_EQ(run({path("stereo.wav"), path("out.wav")}).code, 0);
  std::vector<std::int16_t> half(input.size());
  for (std::size_t i = 0; i < input.size(); ++i) half[i] = static_cast<std::int16_t>(input[i] / 2);
  EXPECT_EQ(readSound(path("out.wav")).samples, half);

  // FLAC and 24-bit WAV carrying 16-bit values come out sample for sample.
  for (const int format : {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_24}) {
    writeSound(path("other"), 32000, 1, format, input);
    const ToolRun r = run({path("other"), path("out.wav")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readSound(path("out.wav")).samples, input) << std::hex << format;
  }
}

TEST_F(RenderCommandLineTest, OtherRatesAreConvertedToTheProfilesRate) {
  // One second of a 1 kHz sine at 44100 Hz in float, stereo, to 48000 Hz.
  std::vector<float> stereo;
  for (int i = 0; i < 44100; ++i) {
    const float v =
        0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 1000.0 * i / 44100));
    stereo.push_back(v);
    stereo.push_back(v);
  }
  writeFloatSound(path("sine.wav"), 44100, 2, stereo);
  const ToolRun r = run({"--rate", "48000", path("sine.wav"), path("out.wav")});
  ASSERT_EQ(r.code, 0) << r.err;
  const Sound out = readSound(path("out.wav"));
  EXPECT_EQ(out.rate, 48000);
  ASSERT_EQ(out.samples.size(), 48000u);
  for (std::size_t k = 200; k < 47800; ++k) {
    const double ideal = 16384.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * k / 48000);
    ASSERT_NEAR(out.samples[k], ideal, 40.0) << k;
  }
}

TEST_F(RenderCommandLineTest, InputRatesOutsideTheTakenRangeAreRefusedAtOnce) {
  // 4000 samples claiming a rate that would mean hours of output, or minutes of
  // filtering, or simply a damaged header.
  writeSound(path("out.wav"), 32000, 1, kWav16, {1, 2, 3});
  const std::vector<std::int16_t> samples(4000, 1000);
  for (const std::uint32_t rate : {1u, 8u, 999u, 768001u, 1000000000u, 2147483647u}) {
    SCOPED_TRACE(rate);
    std::ofstream(path("odd.wav"), std::ios::binary) << waveBytes(rate, samples, 4000);
    const ToolRun r = finishRender(startRender({path("odd.wav"), path("out.wav")}, dir),
                                   std::chrono::seconds(10));
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot read"));
    EXPECT_THAT(r.err, HasSubstr(std::to_string(rate) + " Hz is outside 1000 to 768000 Hz"));
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_EQ(listing(dir), (std::set<std::string>{"in.wav", "odd.wav", "out.wav"}));
    EXPECT_EQ(readSound(path("out.wav")).samples, (std::vector<std::int16_t>{1, 2, 3}));
  }

  // The ends of the range are taken, and the constant comes through.
  for (const std::uint32_t rate : {1000u, 768000u}) {
    SCOPED_TRACE(rate);
    std::ofstream(path("odd.wav"), std::ios::binary) << waveBytes(rate, samples, 4000);
    const ToolRun r = run({path("odd.wav"), path("out.wav")});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::int16_t> out = readSound(path("out.wav")).samples;
    ASSERT_EQ(out.size(), (4000 * 32000 + rate - 1) / rate);
    EXPECT_EQ(out[out.size() / 2], 1000);
  }
}

// --- Preset files --------------------------------------------------------------

TEST_F(RenderCommandLineTest, BadValuesInAPresetFileAreReplacedByBuiltInOnes) {
  // Current preset 42 (no such preset: the first), whose echo of 3 blocks, downsampler
  // factor -4 and unusable gain cannot be used; its flanger and slicer can.
  std::uint8_t image[kPresetFileBytes];
  resetPresetBank();
  presetBank.presetParams[0][kWordFlangerOn] = 1;
  presetBank.presetParams[0][kWordSlicerOn] = 1;
  presetBank.presetPatterns[0][1] = 1;
  encodePresetBank(image);
  const auto put = [&](int offset, std::uint32_t word) { std::memcpy(image + offset, &word, 4); };
  put(0, 42);
  put(4 + 4 * kWordEchoBlocks, 3);
  put(4 + 4 * kWordDownsampleFactor, static_cast<std::uint32_t>(-4));
  put(564, 0x7fc00000u);  // NaN
  resetPresetBank();
  {
    std::ofstream f(path("bad.kdx"), std::ios::binary);
    f.write(reinterpret_cast<const char*>(image), kPresetFileBytes);
  }

  const ToolRun fromPreset = run({"--presets", path("bad.kdx"), path("in.wav"), path("p.wav")});
  ASSERT_EQ(fromPreset.code, 0) << fromPreset.err;
  const ToolRun fromFirst =
      run({"--presets", path("bad.kdx"), "--preset", "1", path("in.wav"), path("q.wav")});
  ASSERT_EQ(fromFirst.code, 0) << fromFirst.err;
  const ToolRun fromOptions =
      run({"--flanger", "--slicer", ".x..............", path("in.wav"), path("o.wav")});
  ASSERT_EQ(fromOptions.code, 0) << fromOptions.err;

  const std::vector<std::int16_t> expected = readSound(path("o.wav")).samples;
  EXPECT_NE(expected, input);
  EXPECT_EQ(readSound(path("p.wav")).samples, expected);
  EXPECT_EQ(readSound(path("q.wav")).samples, expected);
}

TEST_F(RenderCommandLineTest, PresetNumbersFollowTheButtonLettering) {
  // Presets 1 to 10 each get a different gain; button 0 is the tenth.
  resetPresetBank();
  for (int p = 0; p < kPresetCount; ++p)
    presetBank.presetGains[p].gain = 0.1f * static_cast<float>(p + 1);
  presetBank.presetIndex = 6;
  ASSERT_EQ(savePresetFileTo(path("gains.kdx").c_str()), kPresetFileOk);
  resetPresetBank();

  const auto peakFor = [&](const std::string& preset) {
    std::vector<std::string> args{"--presets", path("gains.kdx")};
    if (!preset.empty()) args.insert(args.end(), {"--preset", preset});
    args.insert(args.end(), {path("in.wav"), path("out.wav")});
    const ToolRun r = run(args);
    EXPECT_EQ(r.code, 0) << r.err;
    int peak = 0;
    for (std::int16_t v : readSound(path("out.wav")).samples) peak = std::max(peak, std::abs(v));
    return peak;
  };
  int inputPeak = 0;
  for (std::int16_t v : input) inputPeak = std::max(inputPeak, std::abs(v));
  EXPECT_NEAR(peakFor("1"), inputPeak * 0.1, 1.0);
  EXPECT_NEAR(peakFor("4"), inputPeak * 0.4, 1.0);
  EXPECT_NEAR(peakFor("0"), inputPeak * 1.0, 1.0);
  EXPECT_NEAR(peakFor("10"), inputPeak * 1.0, 1.0);
  EXPECT_NEAR(peakFor("current"), inputPeak * 0.7, 1.0);
  EXPECT_NEAR(peakFor(""), inputPeak * 0.7, 1.0);
}

}  // namespace
}  // namespace render_test
