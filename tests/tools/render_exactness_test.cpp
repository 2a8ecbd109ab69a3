// The render of a recording equals, sample for sample, what the live stream
// plays two blocks later when the same samples come in through the capture
// device, for every profile and a range of settings.
#include <functional>

#include "audio/audio_buffers.h"
#include "audio/audio_stream.h"
#include "audio/effects_chain.h"
#include "platform/wave_audio_virtual.h"
#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"
#include "tools/render_tool_support.h"

namespace render_test {
namespace {

// What the virtual devices play while `input` is captured, minus the two
// blocks of priming silence, with the settings made by `settings`.
std::vector<std::int16_t> playLive(int profile, const std::vector<std::int16_t>& input,
                                   std::size_t wanted, const std::function<void()>& settings) {
  resetVirtualAudio();
  useWaveBackend(&virtualWaveBackend);
  resetAudioStream();
  resetEffectsChain();
  resetEffectSettings();
  resetPresetBank();
  selectAudioProfile(profile);
  settings();
  effectSettings.muteOn = 0;
  delayLengthSamples = audioProfile.blockSamples * effectSettings.echoBlocks;

  std::size_t next = 0;
  setVirtualCaptureSource([&](std::int16_t* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, ++next)
      samples[i] = next < input.size() ? input[next] : std::int16_t{0};
  });
  const std::int32_t rate = audioProfile.sampleRate;
  std::vector<std::int16_t> played;
  if (openInput(1, rate, 16) == kStreamOk && openOutput(1, rate, 16) == kStreamOk) {
    const std::size_t chunk = static_cast<std::size_t>(exchangedBlockBytes()) / 2;
    const std::size_t blocks = (wanted + chunk - 1) / chunk;
    for (std::size_t b = 0; b < blocks + 2; ++b) tickVirtualAudio();
    played = takeVirtualPlayback();
    EXPECT_EQ(played.size(), (blocks + 2) * chunk);
    EXPECT_EQ(std::count(played.begin(), played.begin() + 2 * chunk, 0),
              static_cast<std::ptrdiff_t>(2 * chunk))
        << "the primed blocks play silence";
    played.erase(played.begin(), played.begin() + 2 * chunk);
    played.resize(std::min(played.size(), wanted));
  } else {
    ADD_FAILURE() << "the virtual devices did not open";
  }
  quitRequested = 1;
  drainPauseMilliseconds = 0;
  closeOutput();
  closeInput();
  resetAudioStream();
  resetVirtualAudio();
  resetEffectSettings();
  selectAudioProfile(0);
  return played;
}

// A preset file whose fourth preset (button 4) has echo 1S, reverse, downsampler
// x2, a gain of 1.5 and mute on; the current preset is the first.
void writePresetFile(const std::string& path) {
  resetPresetBank();
  std::int32_t* words = presetBank.presetParams[3];
  words[kWordEchoBlocks] = 4;
  words[kWordReverseOn] = 1;
  words[kWordDownsampleFactor] = 2;
  words[kWordMuteOn] = 1;
  presetBank.presetGains[3].gain = 1.5f;
  ASSERT_EQ(savePresetFileTo(path.c_str()), kPresetFileOk);
  resetPresetBank();
}

struct Case {
  const char* name;
  std::vector<std::string> args;
  std::function<void()> settings;  // the same settings, made directly
};

std::vector<Case> cases() {
  EffectSettings& s = effectSettings;
  return {
      {"everything off", {}, [] {}},
      {"echo, flanger and gain",
       {"--echo", "1/2S", "--flanger", "--gain", "2"},
       [&s] {
         s.echoBlocks = 2;
         s.flangerOn = 1;
         s.gain = 2.0f;
       }},
      {"reverse, slicer and downsampler",
       {"--reverse", "--slicer", "x.x.xx..x.x.xx..", "--downsample", "4"},
       [&s] {
         s.reverseOn = 1;
         s.slicerOn = 1;
         for (int i : {0, 2, 4, 5, 8, 10, 12, 13}) s.slicerPattern[i] = 1;
         s.downsampleFactor = 4;
       }},
      {"everything on",
       {"--echo", "2S", "--flanger", "--reverse", "--slicer", "1100110011110000", "--downsample",
        "8", "--gain", "0.7"},
       [&s] {
         s.echoBlocks = 8;
         s.flangerOn = 1;
         s.reverseOn = 1;
         s.slicerOn = 1;
         for (int i : {0, 1, 4, 5, 8, 9, 10, 11}) s.slicerPattern[i] = 1;
         s.downsampleFactor = 8;
         s.gain = 0.7f;
       }},
      {"bypass over effects",
       {"--bypass", "--echo", "1S", "--downsample", "2", "--gain", "3"},
       [&s] {
         s.bypassOn = 1;
         s.echoBlocks = 4;
         s.downsampleFactor = 2;
         s.gain = 3.0f;
       }},
      {"preset with overrides, mute ignored",
       {"--presets", "presets.kdx", "--preset", "4", "--downsample", "OFF", "--flanger"},
       [&s] {
         s.echoBlocks = 4;
         s.reverseOn = 1;
         s.gain = 1.5f;
         s.flangerOn = 1;
       }},
  };
}

class RenderExactnessTest : public RenderToolTest, public ::testing::WithParamInterface<int> {};

TEST_P(RenderExactnessTest, RenderEqualsWhatTheLiveStreamPlaysTwoBlocksLater) {
  const int profile = GetParam();
  const int rate = audioProfiles[profile].sampleRate;
  const std::vector<std::int16_t> speech = makeSpeech("speech.wav", rate);
  ASSERT_GT(speech.size(), static_cast<std::size_t>(rate) * 2);
  writePresetFile(path("presets.kdx"));
  constexpr double kTailSeconds = 2.5;
  const std::size_t total = speech.size() + static_cast<std::size_t>(kTailSeconds * rate);

  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"--rate", std::to_string(rate), "--tail", "2.5"};
    for (const std::string& a : c.args) args.push_back(a == "presets.kdx" ? path(a) : a);
    args.push_back(path("speech.wav"));
    args.push_back(path("rendered.wav"));
    const ToolRun r = run(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no progress bar when standard error is not a terminal";

    const Sound rendered = readSound(path("rendered.wav"));
    EXPECT_EQ(rendered.rate, rate);
    EXPECT_EQ(rendered.channels, 1);
    EXPECT_EQ(rendered.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(rendered.samples.size(), total);
    const std::vector<std::int16_t> live = playLive(profile, speech, total, c.settings);
    ASSERT_EQ(live.size(), total);
    std::size_t firstDifference = 0;
    while (firstDifference < total && live[firstDifference] == rendered.samples[firstDifference])
      ++firstDifference;
    EXPECT_EQ(firstDifference, total) << "first differing sample";
    EXPECT_GT(std::count_if(live.begin(), live.end(), [](std::int16_t v) { return v != 0; }),
              static_cast<std::ptrdiff_t>(total / 10))
        << "the comparison is not between two silences";
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, RenderExactnessTest, ::testing::Values(0, 1, 2),
                         [](const auto& info) {
                           return std::to_string(audioProfiles[info.param].sampleRate);
                         });

}  // namespace
}  // namespace render_test
