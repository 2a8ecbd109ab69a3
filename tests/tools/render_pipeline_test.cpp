// The renderer's two threads, in-process: what they make equals rendering chunk
// after chunk on one thread, and a failed read or write stops both.
#include "render/render_pipeline.h"

#include <functional>

#include "render/block_renderer.h"
#include "render/render_settings.h"
#include "state/audio_profile.h"
#include "tools/render_tool_support.h"

namespace render_test {
namespace {

// The descriptor this process has open on `path`, or -1.
int descriptorOn(const std::filesystem::path& path) {
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(e.path(), ec) == path) return std::stoi(e.path().filename());
  }
  return -1;
}

// Every later use of descriptor `fd` reaches `path` instead.
void redirect(int fd, const char* path, int flags) {
  const int other = open(path, flags);
  ASSERT_GE(other, 0);
  ASSERT_EQ(dup2(other, fd), fd);
  close(other);
}

struct Files {
  std::filesystem::path input;      // as the system names it
  std::filesystem::path temporary;  // the output being written
};

// Everything on, or bypassed: a light chain, which moves the reading to the
// chain's thread.
constexpr bool kBypassed[] = {false, true};

class RenderPipelineThreadedTest : public RenderToolTest {
 protected:
  void use(bool bypass) {
    RenderOptions o;
    o.words[kWordEchoBlocks] = 4;
    o.words[kWordFlangerOn] = o.words[kWordReverseOn] = 1;
    o.slicerPattern = std::array<std::uint8_t, kSlicerSteps>{1, 0, 1, 1, 0, 0, 1};
    o.words[kWordDownsampleFactor] = 2;
    o.gain = 2.0f;
    o.words[kWordBypassOn] = bypass ? 1 : 0;
    std::string error;
    ASSERT_EQ(applyRenderSettings(o, error), 0) << error;
  }

  // Renders in.wav, then `tail` samples of silence, into out.wav;
  // `breakFiles` runs once both files are open.
  RenderResult render(std::int64_t tail, std::string& error,
                      const std::function<void(const Files&)>& breakFiles = nullptr) {
    SoundInput in{};
    WaveOutput out{};
    const int rate = audioProfile.sampleRate;
    if (openSoundInput(in, path("in.wav").c_str(), rate, error) != 0 ||
        openWaveOutput(out, path("out.wav").c_str(), rate, error) != 0 || openBlockRenderer()) {
      ADD_FAILURE() << error;
      return kRenderNoThread;
    }
    if (breakFiles) breakFiles({std::filesystem::canonical(path("in.wav")), out.temporary});
    ProgressBar bar{};
    const RenderResult result = renderRecording(in, out, tail, bar, error);
    closeBlockRenderer();
    closeSoundInput(in);
    if (result != kRenderDone || commitWaveOutput(out, error) != 0) abandonWaveOutput(out);
    return result;
  }

  // The same, a chunk at a time on this thread.
  static std::vector<std::int16_t> renderOnOneThread(std::vector<std::int16_t> all,
                                                     std::size_t tail) {
    all.resize(all.size() + tail, 0);
    const std::size_t chunk = chunkSamples();
    std::vector<std::int16_t> out(all.size() + chunk);
    EXPECT_EQ(openBlockRenderer(), 0);
    for (std::size_t at = 0; at < all.size(); at += chunk)
      renderChunk(all.data() + at, std::min(chunk, all.size() - at), out.data() + at);
    closeBlockRenderer();
    out.resize(all.size());
    return out;
  }
};

TEST_F(RenderPipelineThreadedTest, RendersWhatOneThreadRendersChunkAfterChunk) {
  // Many batches, ending inside a chunk that the tail's silence completes.
  const std::vector<std::int16_t> speech = syntheticSpeech(32000, 10.4);
  constexpr std::size_t kTail = 50000;
  writeSound(path("in.wav"), 32000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, speech);
  for (const bool bypass : kBypassed) {
    SCOPED_TRACE(bypass ? "bypass" : "everything on");
    use(bypass);
    std::string error;
    ASSERT_EQ(render(kTail, error), kRenderDone) << error;
    const std::vector<std::int16_t> rendered = readSound(path("out.wav")).samples;
    use(bypass);
    EXPECT_TRUE(rendered == renderOnOneThread(speech, kTail));
  }
}

TEST_F(RenderPipelineThreadedTest, AFailedWriteOrReadStopsBothThreads) {
  struct Failure {
    const char* name;
    void (*breakFiles)(const Files&);
    RenderResult result;
  };
  const Failure failures[] = {
      {"a full disk",
       [](const Files& f) { redirect(descriptorOn(f.temporary), "/dev/full", O_WRONLY); },
       kRenderWriteFailed},
      {"an input that cannot be read",
       [](const Files& f) { redirect(descriptorOn(f.input), "/", O_RDONLY | O_DIRECTORY); },
       kRenderReadFailed},
  };
  writeSound(path("in.wav"), 32000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
             syntheticSpeech(32000, 20.0));
  for (const bool bypass : kBypassed)
    for (const Failure& failure : failures) {
      SCOPED_TRACE(std::string(bypass ? "bypass, " : "") + failure.name);
      use(bypass);
      std::string error;
      EXPECT_EQ(render(0, error, failure.breakFiles), failure.result);
      EXPECT_NE(error, "");
      EXPECT_EQ(listing(dir), std::set<std::string>{"in.wav"});
    }
}

}  // namespace
}  // namespace render_test
