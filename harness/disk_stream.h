// Runs the whole stream through SDL's real backend, on its disk audio driver
// (capture reads raw 16-bit samples from one file, playback writes them to
// another, both paced in real time) or on a sound server. Used by the SDL
// stream tests and by the latency benchmark.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_buffers.h"
#include "audio/audio_stream.h"
#include "audio/effects_chain.h"
#include "platform/wave_audio.h"
#include "platform/wave_audio_sdl.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

struct SdlStreamResults {
  int probeResult = -1, inputResult = -1, outputResult = -1;
  double captureLeadMs = 0;  // how long capture ran before playback opened
};

// Opens the stream through `backend` as start-up does, bypassed and unmuted,
// calls `whileOpen` once both devices are open, then closes it as shut-down
// does.
template <typename WhileOpen>
SdlStreamResults runWaveStream(const WaveBackend* backend, WhileOpen whileOpen) {
  SdlStreamResults run;
  useWaveBackend(backend);
  resetAudioStream();
  resetEffectSettings();
  resetEffectsChain();
  selectAudioProfile(0);
  drainPauseMilliseconds = 0;
  effectSettings.muteOn = 0;
  effectSettings.bypassOn = 1;
  run.probeResult = probeOutputFormat(1, 32000, 16);
  if (run.probeResult == 0) {
    const AudioProfile& p = audioProfile;
    run.inputResult = openInput(p.channels, p.sampleRate, p.bitsPerSample);
    const auto captureStarted = std::chrono::steady_clock::now();
    run.outputResult = openOutput(p.channels, p.sampleRate, p.bitsPerSample);
    run.captureLeadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - captureStarted)
            .count();
    whileOpen();
  }
  quitRequested = 1;
  closeOutput();
  closeInput();
  resetAudioStream();
  resetEffectSettings();
  return run;
}

// The same through SDL's backend (whichever driver SDL_AUDIODRIVER names). Must
// run before anything else in the process touches SDL's audio.
template <typename WhileOpen>
SdlStreamResults runSdlStream(bool playbackFollowsCapture, WhileOpen whileOpen) {
  setSdlPlaybackFollowsCapture(playbackFollowsCapture);
  return runWaveStream(&sdlWaveBackend, whileOpen);
}

struct DiskStreamRun : SdlStreamResults {
  std::vector<std::int16_t> played;  // the playback file
};

// Plays `input` through the stream with bypass on for `seconds`, or, when
// `wantSamples` is given, until the playback file holds that many samples (the
// disk driver falls behind real time on a busy machine; it gives up after ten
// times `seconds`).
inline DiskStreamRun runDiskStream(const std::filesystem::path& dir,
                                   const std::vector<std::int16_t>& input, double seconds,
                                   bool playbackFollowsCapture, std::uintmax_t wantSamples = 0) {
  const auto in = dir / "capture.raw", out = dir / "playback.raw";
  {
    std::ofstream f(in, std::ios::binary);
    f.write(reinterpret_cast<const char*>(input.data()),
            static_cast<std::streamsize>(input.size() * sizeof(std::int16_t)));
  }
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILEIN", in.c_str(), 1);
  setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);

  DiskStreamRun run;
  const auto started = std::chrono::steady_clock::now();
  static_cast<SdlStreamResults&>(run) = runSdlStream(playbackFollowsCapture, [&] {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const auto giveUp = started + std::chrono::duration<double>(10 * seconds);
    std::error_code missing;
    while (wantSamples > 0 && std::filesystem::file_size(out, missing) / 2 < wantSamples &&
           std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });

  std::ifstream f(out, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  run.played.resize(bytes.size() / 2);
  std::memcpy(run.played.data(), bytes.data(), run.played.size() * 2);
  return run;
}
