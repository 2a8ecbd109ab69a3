// The latency the SDL wave-audio backend adds to the stream, measured on SDL's
// disk audio driver with bypass on: an impulse goes into the capture file and is
// looked for in the playback file. The design itself holds two blocks (250 ms at
// 32000 Hz); the counters report what comes on top of that:
//   added_ms       in stream time (samples of the two files), target under 20 ms
//   lead_ms        how long capture ran before playback opened (wall clock)
//   buffer_ms      SDL's buffer per direction; on real devices each is heard on
//                  top of added_ms, beside whatever the sound server buffers
// With playback following capture switched off, a playback report can overtake
// the capture report of its period and a whole extra block appears.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <string>

#include "harness/disk_stream.h"

namespace {

void streamLatency(benchmark::State& state, bool playbackFollowsCapture) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("zephyrix-latency-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::size_t rate = 32000, blockSamples = 4000, impulseAt = rate / 2;
  std::vector<std::int16_t> input(2 * rate, 0);
  input[impulseAt] = 20000;
  double addedMs = 0, leadMs = 0;
  for (auto _ : state) {
    const DiskStreamRun run = runDiskStream(dir, input, 1.5, playbackFollowsCapture);
    const auto found = std::find(run.played.begin(), run.played.end(), 20000);
    if (run.outputResult != 0 || found == run.played.end()) {
      state.SkipWithError("the impulse was not heard");
      break;
    }
    const auto offset = static_cast<double>(found - run.played.begin()) - impulseAt;
    addedMs = (offset - 2.0 * blockSamples) * 1000.0 / rate;
    leadMs = run.captureLeadMs;
  }
  std::filesystem::remove_all(dir);
  state.counters["added_ms"] = addedMs;
  state.counters["lead_ms"] = leadMs;
  state.counters["buffer_ms"] = sdlBufferFrames(rate) * 1000.0 / rate;
}

}  // namespace

BENCHMARK_CAPTURE(streamLatency, playback_follows_capture, true)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(streamLatency, playback_unpaced, false)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
