// zephyrix-render: the unit's own effects chain over a sound file.
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/exit_status.h"
#include "platform/version.h"
#include "render/block_renderer.h"
#include "render/interrupts.h"
#include "render/progress_bar.h"
#include "render/render_options.h"
#include "render/render_pipeline.h"
#include "render/render_settings.h"
#include "render/sound_input.h"
#include "render/wave_output.h"
#include "state/audio_profile.h"

namespace {

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "zephyrix-render: %s\n", message.c_str());
  return code;
}

int usageError(const std::string& message) {
  return fail(kRenderExitUsage, message + " (see zephyrix-render --help)");
}

// Renders everything from the open input into the open output. 0, or 1 with
// the reason in `error`.
int render(SoundInput& input, WaveOutput& output, const RenderOptions& o, std::string& error) {
  const int rate = audioProfile.sampleRate;
  const std::int64_t tail = std::llround(o.tailSeconds * rate);
  const std::int64_t expected = expectedSamples(input);
  ProgressBar bar{};
  if (expected >= 0) startProgress(bar, expected + tail, rate);
  const RenderResult result = renderRecording(input, output, tail, bar, error);
  endProgress(bar);
  switch (result) {
    case kRenderDone:
      return kRenderExitDone;
    case kRenderReadFailed:
      error = "cannot read '" + o.input + "': " + error;
      break;
    case kRenderWriteFailed:
      error = "cannot write '" + o.output + "': " + error;
      break;
    case kRenderNoThread:
      error = "cannot start a thread: " + error;
      break;
  }
  return kRenderExitFiles;
}

// Opens the temporary output so that an interrupt never leaves it behind.
int openOutput(WaveOutput& output, const std::string& path, std::string& error) {
  holdInterrupts();
  const int opened = openWaveOutput(output, path.c_str(), audioProfile.sampleRate, error);
  if (opened == 0) removeOnInterrupt(output.temporary.c_str());
  releaseInterrupts();
  return opened;
}

}  // namespace

int main(int argc, char** argv) {
  RenderOptions options;
  std::string error;
  switch (parseRenderOptions(argc, argv, options, error)) {
    case kParseHelp:
      std::fputs(renderUsage(), stdout);
      return kRenderExitDone;
    case kParseVersion:
      std::printf("zephyrix-render %s\n", kZephyrixVersion);
      return kRenderExitDone;
    case kParseError:
      return usageError(error);
    case kParseRun:
      break;
  }

  installInterruptHandlers();
  if (applyRenderSettings(options, error) != 0)
    return fail(kRenderExitFiles, "cannot use preset file '" + options.presetsPath + "': " + error);

  SoundInput input{};
  if (openSoundInput(input, options.input.c_str(), audioProfile.sampleRate, error) != 0)
    return fail(kRenderExitFiles, "cannot read '" + options.input + "': " + error);
  WaveOutput output{};
  if (openOutput(output, options.output, error) != 0) {
    closeSoundInput(input);
    return fail(kRenderExitFiles, "cannot write '" + options.output + "': " + error);
  }
  if (openBlockRenderer() != 0) {
    closeBlockRenderer();
    closeSoundInput(input);
    abandonWaveOutput(output);
    return fail(kRenderExitFiles, "out of memory");
  }

  int code = render(input, output, options, error);
  closeBlockRenderer();
  closeSoundInput(input);
  if (code == kRenderExitDone && commitWaveOutput(output, error) != 0) {
    code = kRenderExitFiles;
    error = "cannot write '" + options.output + "': " + error;
  }
  if (code != kRenderExitDone) {
    abandonWaveOutput(output);
    return fail(code, error);
  }
  removeOnInterrupt(nullptr);
  return kRenderExitDone;
}
