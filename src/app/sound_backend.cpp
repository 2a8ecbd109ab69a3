#include "app/sound_backend.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/wave_audio.h"
#include "platform/wave_audio_pipewire.h"

namespace {

bool named(const char* variable, const char* value) {
  const char* v = std::getenv(variable);
  return v != nullptr && std::strcmp(v, value) == 0;
}

bool set(const char* variable) {
  const char* v = std::getenv(variable);
  return v != nullptr && *v != '\0';
}

// How long the sound system may take to answer at start: a server that is
// stopped (a suspended session, a debugger) accepts the connection and then
// never answers, and SDL's drivers wait for it without a limit.
constexpr auto kStartPatience = std::chrono::seconds(4);

// Whether the backend's devices can be counted within kStartPatience. The
// count runs on a thread of its own; one that never returns is left behind,
// as the unit then exits.
bool answersInTime() {
  struct Probe {
    std::mutex lock;
    std::condition_variable done;
    bool answered = false;
  };
  auto probe = std::make_shared<Probe>();
  std::thread([probe] {
    countPlaybackDevices();
    std::lock_guard lock(probe->lock);
    probe->answered = true;
    probe->done.notify_one();
  }).detach();
  std::unique_lock lock(probe->lock);
  return probe->done.wait_for(lock, kStartPatience, [&] { return probe->answered; });
}

}  // namespace

int chooseSoundBackend(bool asMicrophone, bool listen) {
  if (set("ZEPHYRIX_AUDIO") && !named("ZEPHYRIX_AUDIO", "native") &&
      !named("ZEPHYRIX_AUDIO", "sdl")) {
    std::fprintf(stderr, "zephyrix: ZEPHYRIX_AUDIO is '%s'; it may be native or sdl\n",
                 std::getenv("ZEPHYRIX_AUDIO"));
    return kBackendUnknown;
  }
  const bool wantNative = asMicrophone || named("ZEPHYRIX_AUDIO", "native");
  const bool wantSdl = !wantNative && (named("ZEPHYRIX_AUDIO", "sdl") || set("SDL_AUDIODRIVER"));
  if (!wantSdl && pipewireAnswers()) {
    if (asMicrophone) usePipewireMicrophone(listen);
    useWaveBackend(&pipewireWaveBackend);
    return kBackendChosen;
  }
  if (wantNative) {
    std::fprintf(stderr,
                 "zephyrix: %s needs a PipeWire server, and none answers (see \"The unit as a "
                 "microphone\" in the README)\n",
                 asMicrophone ? "--as-microphone" : "ZEPHYRIX_AUDIO=native");
    return kBackendMissing;
  }
  useWaveBackend(&sdlWaveBackend);
  if (!answersInTime()) {
    std::fprintf(stderr, "zephyrix: the sound system does not answer (is its server stopped?)\n");
    return kBackendMissing;
  }
  return kBackendChosen;
}
