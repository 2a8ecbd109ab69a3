// zephyrix-render: the unit's own effects chain over a sound file.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "render/block_renderer.h"
#include "render/progress_bar.h"
#include "render/render_options.h"
#include "render/render_settings.h"
#include "render/sound_input.h"
#include "render/wave_output.h"
#include "state/audio_profile.h"

namespace {

constexpr int kExitFiles = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int) {
  interrupted = 1;
}

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "zephyrix-render: %s\n", message.c_str());
  return code;
}

int usageError(const std::string& message) {
  return fail(kExitUsage, message + " (see zephyrix-render --help)");
}

constexpr std::size_t kChunksPerWrite = 16;

bool flush(WaveOutput& output, std::vector<std::int16_t>& rendered, const RenderOptions& o,
           std::string& error) {
  if (writeWaveOutput(output, rendered.data(), rendered.size(), error) != 0) {
    error = "cannot write '" + o.output + "': " + error;
    return false;
  }
  rendered.clear();
  return true;
}

// Renders everything from the open input into the open output.
int render(SoundInput& input, WaveOutput& output, const RenderOptions& o, std::string& error) {
  const int rate = audioProfile.sampleRate;
  const std::size_t chunk = chunkSamples();
  std::int64_t tailLeft = std::llround(o.tailSeconds * rate);
  const std::int64_t expected = expectedSamples(input);

  ProgressBar bar{};
  if (expected >= 0) startProgress(bar, expected + tailLeft, rate);

  std::vector<std::int16_t> pending;  // input samples not rendered yet, from `head` on
  std::size_t head = 0;
  // Rendered samples are written in batches of several chunks: one system call
  // per block would cost more than the chain itself.
  std::vector<std::int16_t> rendered;
  rendered.reserve(kChunksPerWrite * chunk);
  std::int64_t done = 0;
  bool inputEnded = false;
  for (;;) {
    while (pending.size() - head < chunk && !(inputEnded && tailLeft == 0)) {
      if (!inputEnded) {
        const int got = readSoundInput(input, pending, error);
        if (got < 0) {
          endProgress(bar);
          error = "cannot read '" + o.input + "': " + error;
          return kExitFiles;
        }
        inputEnded = got == 0;
      } else {
        const auto silence = std::min<std::int64_t>(tailLeft, static_cast<std::int64_t>(chunk));
        pending.insert(pending.end(), static_cast<std::size_t>(silence), std::int16_t{0});
        tailLeft -= silence;
      }
    }
    const std::size_t count = std::min(pending.size() - head, chunk);
    if (count == 0) break;
    if (interrupted != 0) {
      endProgress(bar);
      error = "interrupted";
      return kExitInterrupted;
    }
    const std::size_t at = rendered.size();
    rendered.resize(at + chunk);
    renderChunk(pending.data() + head, count, rendered.data() + at);
    rendered.resize(at + count);
    if (rendered.size() + chunk > rendered.capacity() && !flush(output, rendered, o, error)) {
      endProgress(bar);
      return kExitFiles;
    }
    head += count;
    done += static_cast<std::int64_t>(count);
    updateProgress(bar, done);
    if (head >= 8 * chunk) {
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(head));
      head = 0;
    }
  }
  endProgress(bar);
  return flush(output, rendered, o, error) ? 0 : kExitFiles;
}

}  // namespace

int main(int argc, char** argv) {
  RenderOptions options;
  std::string error;
  switch (parseRenderOptions(argc, argv, options, error)) {
    case kParseHelp:
      std::fputs(renderUsage(), stdout);
      return 0;
    case kParseVersion:
      std::printf("zephyrix-render %s\n", ZEPHYRIX_VERSION);
      return 0;
    case kParseError:
      return usageError(error);
    case kParseRun:
      break;
  }

  if (applyRenderSettings(options, error) != 0)
    return fail(kExitFiles, "cannot use preset file '" + options.presetsPath + "': " + error);

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGHUP, onSignal);

  SoundInput input{};
  if (openSoundInput(input, options.input.c_str(), audioProfile.sampleRate, error) != 0)
    return fail(kExitFiles, "cannot read '" + options.input + "': " + error);
  WaveOutput output{};
  if (openWaveOutput(output, options.output.c_str(), audioProfile.sampleRate, error) != 0) {
    closeSoundInput(input);
    return fail(kExitFiles, "cannot write '" + options.output + "': " + error);
  }
  if (openBlockRenderer() != 0) {
    closeBlockRenderer();
    closeSoundInput(input);
    abandonWaveOutput(output);
    return fail(kExitFiles, "out of memory");
  }

  int code = render(input, output, options, error);
  closeBlockRenderer();
  closeSoundInput(input);
  if (code == 0 && commitWaveOutput(output, error) != 0) {
    code = kExitFiles;
    error = "cannot write '" + options.output + "': " + error;
  }
  if (code != 0) {
    abandonWaveOutput(output);
    return fail(code, error);
  }
  return 0;
}
