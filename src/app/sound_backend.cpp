#include "app/sound_backend.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/exit_status.h"
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

// Counts the backend's devices, the first call that reaches the sound system.
// Should it not return within kStartPatience, a guard thread says so and ends
// the process with the status of a unit that cannot start: the caller is the
// one stuck in the server's library, and nothing of the unit runs yet.
void countOrGiveUp() {
  struct Guard {
    std::mutex lock;
    std::condition_variable done;
    bool counted = false;
  } guard;
  std::thread watch([&guard] {
    std::unique_lock lock(guard.lock);
    if (guard.done.wait_for(lock, kStartPatience, [&] { return guard.counted; })) return;
    std::fputs("zephyrix: the sound system does not answer (is its server stopped?)\n", stderr);
    std::_Exit(kExitCannotStart);
  });
  countPlaybackDevices();
  {
    std::lock_guard lock(guard.lock);
    guard.counted = true;
  }
  guard.done.notify_one();
  watch.join();
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
  countOrGiveUp();
  return kBackendChosen;
}
