#include "app/sound_backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  return kBackendChosen;
}
