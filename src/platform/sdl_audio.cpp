#include "platform/sdl_audio.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/wave_audio_sdl.h"

namespace {

bool haveBothDirections() {
  return SDL_GetNumAudioDevices(0) != 0 && SDL_GetNumAudioDevices(1) != 0;
}

// On a PipeWire desktop SDL goes through the PulseAudio service by default,
// whose streams keep a single SDL buffer on the server: a cycle the server
// runs while SDL's thread is late is played as silence and the late audio
// dropped. SDL's own PipeWire backend takes part in the server's graph and
// misses none, so it goes first where it finds devices both ways; otherwise
// (a PulseAudio desktop, a PipeWire without its sound service) SDL chooses
// as usual. A driver named in the environment always wins.
bool startAudio() {
  // The name the desktop's sound settings show for the unit's streams.
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Zephyrix");
  const char* named = std::getenv("SDL_AUDIODRIVER");
  if (named == nullptr || *named == '\0') {
    SDL_SetHint(SDL_HINT_AUDIODRIVER, "pipewire");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
      if (haveBothDirections()) return true;
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
  }
  return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

// SDL joins a device's thread when it closes the device, and its PulseAudio
// backend's threads wait for the server without a timeout: a server that has
// stopped answering, or a microphone that has stopped delivering, would hold
// the close, and with it the exit, for ever. So the device is paused first
// (SDL holds the lock that pausing takes for the whole of each callback, so a
// callback in progress has returned, and a later one finds the device closing
// and touches nothing), then closed on a thread of its own that is waited for
// a bounded time; a close still waiting after that is left to finish alone.
constexpr auto kCloseWait = std::chrono::milliseconds(150);

constexpr auto kWatchdogPeriod = std::chrono::milliseconds(100);

// Never destroyed: a process that exits while the thread runs (its window
// system gone, say) must not be aborted by std::thread's destructor.
std::thread& watchdog = *new std::thread();
std::mutex watchLock;
std::condition_variable watchSignal;
bool watchStop = false;

void runWatchdog(void (*look)()) {
  std::unique_lock lock(watchLock);
  while (!watchStop) {
    watchSignal.wait_for(lock, kWatchdogPeriod);
    if (watchStop) break;
    lock.unlock();
    look();
    lock.lock();
  }
}

}  // namespace

bool sdlAudioReady() {
  static const bool ready = startAudio();
  return ready;
}

SDL_AudioSpec sdlFormatFor(const WaveFormat* f, SDL_AudioCallback callback) {
  SDL_AudioSpec sdlFormat{};
  sdlFormat.freq = static_cast<int>(f->samplesPerSecond);
  sdlFormat.format = f->bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  sdlFormat.channels = static_cast<Uint8>(f->channels);
  sdlFormat.samples = static_cast<Uint16>(sdlBufferFrames(f->samplesPerSecond));
  sdlFormat.callback = callback;
  return sdlFormat;
}

void closeSdlDevice(SDL_AudioDeviceID id) {
  SDL_PauseAudioDevice(id, 1);
  struct Closing {
    std::mutex lock;
    std::condition_variable done;
    bool closed = false;
  };
  auto closing = std::make_shared<Closing>();
  std::thread([closing, id] {
    SDL_CloseAudioDevice(id);
    std::lock_guard lock(closing->lock);
    closing->closed = true;
    closing->done.notify_one();
  }).detach();
  std::unique_lock lock(closing->lock);
  closing->done.wait_for(lock, kCloseWait, [&] { return closing->closed; });
}

void startSdlWatchdog(void (*look)()) {
  std::lock_guard lock(watchLock);
  if (watchdog.joinable()) return;
  watchStop = false;
  watchdog = std::thread(runWatchdog, look);
}

void stopSdlWatchdog() {
  {
    std::lock_guard lock(watchLock);
    if (!watchdog.joinable()) return;
    watchStop = true;
  }
  watchSignal.notify_one();
  watchdog.join();
}

int sdlBufferFrames(std::uint32_t rate) {
  int frames = 64;
  while (static_cast<std::uint32_t>(frames) * 2 * 25 <= rate) frames *= 2;
  return frames;
}
