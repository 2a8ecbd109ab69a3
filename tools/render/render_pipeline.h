// Renders a recording on two threads: the calling thread runs the chain, and a
// file thread writes the rendered samples behind it. Reading goes to whichever
// thread is free: the file thread reads ahead when it has nothing to write, and
// the chain's thread reads for itself when nothing has been read ahead. So with
// a busy chain the file thread does all the reading and writing, and with a
// light one (bypass) the reading moves to the chain's thread, and both threads
// stay busy either way. The samples come out exactly as one thread would make
// them, through a fixed set of buffers however long the recording.
#pragma once

#include <cstdint>
#include <string>

#include "render/progress_bar.h"
#include "render/sound_input.h"
#include "render/wave_output.h"

enum RenderResult {
  kRenderDone,
  kRenderReadFailed,   // `error` says why
  kRenderWriteFailed,  // `error` says why
  kRenderNoThread,     // the file thread could not be started; `error` says why
};

// Renders the open input, then `tailSamples` of silence, into the open output,
// with the block renderer open. The bar follows the samples rendered.
RenderResult renderRecording(SoundInput& input, WaveOutput& output, std::int64_t tailSamples,
                             ProgressBar& bar, std::string& error);
