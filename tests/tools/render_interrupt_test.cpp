// Interrupting zephyrix-render: it ends at once wherever it is waiting, with
// 128 + the signal's number, no temporary file left and OUTPUT as it was.
#include <poll.h>
#include <sys/stat.h>

#include <csignal>

#include "support/child_process.h"
#include "support/wait_for.h"
#include "tools/render_tool_support.h"

namespace render_test {
namespace {

// Size of the temporary output beside out.wav, or -1 while there is none.
std::intmax_t temporarySize(const std::filesystem::path& dir) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().starts_with(".out.wav."))
      return static_cast<std::intmax_t>(e.file_size(ec));
  return -1;
}

// Writes `bytes` into the FIFO once the renderer opens it, and keeps it open.
// Non-blocking, so a renderer that stops reading fails the test instead of
// hanging it.
int feedFifo(const std::string& fifo, const std::string& bytes) {
  int fd = -1;
  if (!waitFor([&] { return (fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; })) return -1;
  std::size_t at = 0;
  const bool fed = waitFor([&] {
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 100) == 1 && (p.revents & POLLOUT) != 0) {
      const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
      if (n > 0) at += static_cast<std::size_t>(n);
    }
    return at == bytes.size();
  });
  EXPECT_TRUE(fed) << "the renderer stopped reading after " << at << " bytes";
  return fd;
}

struct Phase {
  const char* name;
  int signal;
  int inputRate;      // of what is fed to the FIFO; 0 feeds nothing
  double fedSeconds;  // fed before the writer stalls
};

constexpr Phase kPhases[] = {
    {"opening an input nobody writes to", SIGINT, 0, 0.0},
    {"reading an input that stalls", SIGTERM, 32000, 6.0},
    {"converting an input that stalls", SIGINT, 44100, 6.0},
};

class RenderInterruptTest : public RenderToolTest {
 protected:
  void SetUp() override {
    RenderToolTest::SetUp();
    // A writer that has gone away must not end the test process.
    previousPipeHandler = std::signal(SIGPIPE, SIG_IGN);
  }
  void TearDown() override {
    std::signal(SIGPIPE, previousPipeHandler);
    RenderToolTest::TearDown();
  }
  void (*previousPipeHandler)(int) = SIG_DFL;
};

TEST_F(RenderInterruptTest, AnInterruptEndsTheRenderAtOnceAndLeavesNothingBehind) {
  writeSound(path("out.wav"), 32000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, {1, 2, 3});
  const std::string outBefore = slurp(path("out.wav"));
  ASSERT_EQ(mkfifo(path("in.fifo").c_str(), 0600), 0);
  const std::set<std::string> before = listing(dir);

  for (const Phase& phase : kPhases) {
    SCOPED_TRACE(phase.name);
    const StartedRender render = startRender({path("in.fifo"), path("out.wav")}, dir);
    int writer = -1;
    if (phase.inputRate == 0) {
      ASSERT_TRUE(waitFor([&] { return processState(render.pid) == 'S'; }));
    } else {
      const auto fed = static_cast<std::size_t>(phase.fedSeconds * phase.inputRate);
      const std::vector<std::int16_t> samples = syntheticSpeech(phase.inputRate, phase.fedSeconds);
      writer = feedFifo(path("in.fifo"), waveBytes(phase.inputRate, samples, 10 * fed));
      ASSERT_GE(writer, 0) << "the renderer never opened its input";
      // Rendered samples have gone to the temporary file, and it waits for more.
      ASSERT_TRUE(
          waitFor([&] { return temporarySize(dir) > 44 && processState(render.pid) == 'S'; }));
    }
    // Its input never comes, so only the signal can end it: ending is ending at once.
    ASSERT_EQ(kill(render.pid, phase.signal), 0);
    const ToolRun r = finishRender(render, kGenerousDeadline);
    if (writer >= 0) close(writer);

    EXPECT_EQ(r.code, 128 + phase.signal);
    EXPECT_EQ(r.err, "zephyrix-render: interrupted\n");
    EXPECT_EQ(listing(dir), before) << "no temporary file is left";
    EXPECT_EQ(slurp(path("out.wav")), outBefore) << "the existing output is untouched";
  }
}

}  // namespace
}  // namespace render_test
