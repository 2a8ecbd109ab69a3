// The whole application in this process, on the display DISPLAY names (or
// headless without one) and SDL's disk audio driver, which plays in real time
// like a device: time from start to the first drawn panel, then a stretch of
// streaming with the processor time and resident memory it takes, then the time
// from a Power press to the end of shut-down. bench/app/measure.sh runs it on a
// private X server together with the same figures for the zephyrix program.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/application.h"
#include "app/engine_reset.h"
#include "audio/audio_stream.h"
#include "panel/button_table.h"
#include "platform/window.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

namespace {

using Clock = std::chrono::steady_clock;

double processorSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double residentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

// The disk driver reads the capture samples from one file and writes the played
// ones to another, in a directory of its own that is also the working directory.
void prepareRun() {
  static bool ready = false;
  if (!ready) {
    const auto dir = std::filesystem::temp_directory_path() / "zephyrix-app-bench";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    std::ofstream in("capture.raw", std::ios::binary);
    for (int i = 0; i < 32000 * 120; ++i) {
      const auto v = static_cast<std::int16_t>((i * 37) % 12000 - 6000);
      in.write(reinterpret_cast<const char*>(&v), 2);
    }
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", (dir / "capture.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILE", (dir / "playback.raw").c_str(), 1);
    if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "dummy", 1);
    ready = true;
  }
  closeWindowSystem();
  resetEngine();
}

void postPowerPress(WindowHandle window) {
  const ButtonRect& r = buttonTable[Power - 1];
  const std::uint32_t at = packPenPosition(r.x + r.w / 2, r.y + r.h / 2);
  postMessage(window, kMsgPenDown, 1, at);
  postMessage(window, kMsgPenUp, 0, at);
}

// Start-up up to and including the full panel drawn after the devices opened.
void BM_StartToFirstPanel(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    prepareRun();
    state.ResumeTiming();
    const char* fatal = nullptr;
    WindowHandle window = startZephyrix(&fatal);
    state.PauseTiming();
    if (fatal) state.SkipWithError(fatal);
    quitRequested = 1;
    drainPauseMilliseconds = 0;
    shutDownZephyrix(window);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartToFirstPanel)->Unit(benchmark::kMillisecond)->Iterations(10);

// Streams for `seconds` with echo, flanger and slicer on (the most work per
// block), then presses Power with the real drain pauses.
void BM_StreamThenPowerToExit(benchmark::State& state) {
  const double seconds = static_cast<double>(state.range(0));
  double cpuPercent = 0, rss = 0, exitMs = 0;
  for (auto _ : state) {
    prepareRun();
    const char* fatal = nullptr;
    WindowHandle window = startZephyrix(&fatal);
    if (fatal) {
      state.SkipWithError(fatal);
      break;
    }
    effectSettings.muteOn = 0;
    setEchoBlocks(4);
    effectSettings.flangerOn = 1;
    effectSettings.slicerOn = 1;
    Clock::time_point pressed;
    std::thread hand([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past start-up
      const double cpu0 = processorSeconds();
      const auto t0 = Clock::now();
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
      cpuPercent = 100.0 * (processorSeconds() - cpu0) / wall;
      rss = residentMegabytes();
      pressed = Clock::now();
      postPowerPress(window);
    });
    runMessageLoop();
    hand.join();
    shutDownZephyrix(window);
    exitMs = std::chrono::duration<double, std::milli>(Clock::now() - pressed).count();
  }
  state.counters["cpu_percent_of_one_core"] = cpuPercent;
  state.counters["resident_MB"] = rss;
  state.counters["power_to_exit_ms"] = exitMs;
}
BENCHMARK(BM_StreamThenPowerToExit)->Arg(10)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
