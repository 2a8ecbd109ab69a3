// Real devices through SDL. SDL pulls playback data and pushes captured data on
// threads of its own; its callbacks move bytes between SDL and the head of the
// queued descriptors, and every notification is made after our lock is dropped.
#include "platform/wave_audio_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/wave_audio.h"
#include "platform/wave_audio_sdl_testing.h"
#include "platform/wave_queue.h"

namespace {

using Clock = std::chrono::steady_clock;

struct SdlDevice {
  bool open;
  bool closing;          // no notification starts any more
  bool started;          // running: capture since startCapture, playback since its first queue
  SDL_AudioDeviceID id;  // 0 while a lost device waits to be opened again
  WaveCallback callback;
  std::uintptr_t user;
  WaveFormat format;
  WaveQueue queue;
  std::uint32_t headOffset;  // bytes of the head descriptor already moved
  // Playback: finished descriptors not yet reported, with the stream position
  // (frames) where each ended and when it may go out regardless of capture.
  WaveQueue finished;
  std::uint64_t endFrame[kWaveQueueCapacity];
  Clock::time_point deadline[kWaveQueueCapacity];
  std::uint64_t frames;  // playback: frames taken from descriptors
  // Capture: frames of descriptors already reported, on playback's timeline:
  // alignCaptureWithPlayback puts it level with playback's position.
  std::uint64_t reportedFrames;
  // What it was opened as, to open it again if the system takes it away.
  std::string name;  // empty: the system's default device
  int isCapture;
  SDL_AudioCallback pump;
};

// Guards both devices. Never held while a notification runs.
std::mutex stateLock;
// Playback reports come from the playback thread or, when held for capture, from
// the capture thread; this keeps them one at a time and in order.
std::mutex playbackReportLock;
// Held around opening and closing SDL's devices, by the caller's thread and by
// the watchdog that reopens a lost device; never by SDL's audio threads.
std::mutex deviceLock;

SdlDevice playback{};
SdlDevice capture{};
// Devices chosen by name; empty for the system's default. Set before opening.
std::string chosenCapture;
std::string chosenPlayback;

const char* nameOrDefault(const std::string& name) {
  return name.empty() ? nullptr : name.c_str();
}
std::atomic<bool> playbackFollowsCapture{true};
// Guarded by stateLock, for sdlPlaybackReportsOnDeadline and sdlDeviceReopens.
std::uint64_t reportsOnDeadline = 0;
std::uint64_t reopens = 0;

struct Notice {
  WaveDevice device;
  WaveCallback callback;
  std::uintptr_t user;
};

WaveDevice handleOf(SdlDevice& d) {
  return reinterpret_cast<WaveDevice>(&d);
}

Notice noticeFor(SdlDevice& d) {
  return {handleOf(d), d.callback, d.user};
}

void notify(const Notice& n, std::uint32_t message, WaveBuffer* buffer) {
  if (n.callback != nullptr)
    n.callback(n.device, message, n.user, reinterpret_cast<std::uintptr_t>(buffer), 0);
}

SdlDevice* deviceOf(WaveDevice handle, SdlDevice& expected) {
  return handle == handleOf(expected) && expected.open && !expected.closing ? &expected : nullptr;
}

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

bool audioReady() {
  static const bool ready = startAudio();
  return ready;
}

int countDevices(int isCapture) {
  if (!audioReady()) return 0;
  const int n = SDL_GetNumAudioDevices(isCapture);
  // A negative count means SDL cannot list them; the default device may still be there.
  return n < 0 ? 1 : n;
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

// How long a finished playback report may wait for capture: three quarters of
// the descriptor's duration. The next descriptor is playing meanwhile, so the
// handler still requeues in time, and a capture device that delivers late (a
// sound server's buffering on both sides) is still waited for: going out
// before it would process the previous capture block a second time.
Clock::duration reportPatience(const WaveFormat& f, const WaveBuffer* b) {
  const auto us = std::uint64_t{b->bufferLength} * 750000 / std::max(1u, f.averageBytesPerSecond);
  return std::chrono::microseconds(us);
}

// Whether the oldest unreported playback descriptor may be reported now,
// counting it if it goes only because its deadline has passed. Caller holds
// stateLock.
bool playbackReportDue() {
  const int slot = playback.finished.head;
  if (!playbackFollowsCapture.load(std::memory_order_relaxed)) return true;
  if (!capture.open || capture.closing || !capture.started) return true;
  // Compare stream times: reportedFrames / captureRate >= endFrame / playbackRate.
  const std::uint64_t captured =
      capture.reportedFrames * std::uint64_t{playback.format.samplesPerSecond};
  const std::uint64_t played =
      playback.endFrame[slot] * std::uint64_t{capture.format.samplesPerSecond};
  if (captured >= played) return true;
  if (Clock::now() < playback.deadline[slot]) return false;
  ++reportsOnDeadline;
  return true;
}

// Reports every finished playback descriptor that is due, in order.
// Either audio thread may report; a thread that finds the other one reporting
// waits for it, which costs at most one run of the chain (a few microseconds
// a block, against the 32 ms of audio SDL asks for at a time at 32000 Hz; see
// sdlBufferFrames).
void reportPlayback() {
  std::lock_guard reporting(playbackReportLock);
  for (;;) {
    WaveBuffer* done = nullptr;
    Notice notice;
    {
      std::lock_guard lock(stateLock);
      if (!playback.open || playback.closing || playback.finished.count == 0) return;
      if (!playbackReportDue()) return;
      done = frontWaveBuffer(playback.finished);
      playback.finished.head = (playback.finished.head + 1) % kWaveQueueCapacity;
      --playback.finished.count;
      notice = noticeFor(playback);
    }
    notify(notice, kPlaybackDoneMessage, done);
  }
}

void SDLCALL pullPlayback(void*, Uint8* stream, int len) {
  {
    std::lock_guard lock(stateLock);
    SdlDevice& d = playback;
    const std::uint32_t frameBytes = std::max<std::uint32_t>(1, d.format.blockAlign);
    int written = 0;
    // A closing device is silent: its descriptors are about to be cancelled.
    while (!d.closing && written < len && d.queue.count > 0 &&
           d.finished.count < kWaveQueueCapacity) {
      WaveBuffer* b = frontWaveBuffer(d.queue);
      const auto n = std::min<std::uint32_t>(b->bufferLength - d.headOffset,
                                             static_cast<std::uint32_t>(len - written));
      std::memcpy(stream + written, b->data + d.headOffset, n);
      written += static_cast<int>(n);
      d.headOffset += n;
      d.frames += n / frameBytes;
      if (d.headOffset >= b->bufferLength) {
        d.headOffset = 0;
        finishFrontWaveBuffer(d.queue);
        const int slot = (d.finished.head + d.finished.count) % kWaveQueueCapacity;
        d.finished.items[slot] = b;
        d.endFrame[slot] = d.frames;
        d.deadline[slot] = Clock::now() + reportPatience(d.format, b);
        ++d.finished.count;
      }
    }
    // An underrun is heard as silence.
    std::memset(stream + written, d.format.bitsPerSample == 8 ? 0x80 : 0, len - written);
  }
  reportPlayback();
}

void SDLCALL pushCapture(void*, Uint8* stream, int len) {
  WaveBuffer* filled[kWaveQueueCapacity];
  int filledCount = 0;
  Notice notice;
  {
    std::lock_guard lock(stateLock);
    SdlDevice& d = capture;
    int taken = 0;
    // A closing device takes nothing: its descriptors are about to be cancelled.
    while (!d.closing && taken < len && d.queue.count > 0 && filledCount < kWaveQueueCapacity) {
      WaveBuffer* b = frontWaveBuffer(d.queue);
      const auto n = std::min<std::uint32_t>(b->bufferLength - d.headOffset,
                                             static_cast<std::uint32_t>(len - taken));
      std::memcpy(b->data + d.headOffset, stream + taken, n);
      taken += static_cast<int>(n);
      d.headOffset += n;
      if (d.headOffset >= b->bufferLength) {
        d.headOffset = 0;
        finishFrontWaveBuffer(d.queue);
        b->bytesRecorded = b->bufferLength;
        filled[filledCount++] = b;
      }
    }
    // Audio arriving while no descriptor is queued is lost, as on any device.
    notice = noticeFor(d);
  }
  for (int i = 0; i < filledCount; ++i) {
    notify(notice, kCaptureDataMessage, filled[i]);
    std::lock_guard lock(stateLock);
    capture.reportedFrames +=
        filled[i]->bufferLength / std::max<std::uint32_t>(1, capture.format.blockAlign);
  }
  if (filledCount > 0) reportPlayback();
}

int sdlCountPlayback() {
  return countDevices(0);
}

int sdlCountCapture() {
  return countDevices(1);
}

int sdlQueryPlayback(const WaveFormat* format) {
  if (!isPlayableFormat(format)) return kWaveBadFormat;
  if (countDevices(0) <= 0) return kWaveBadDevice;
  SDL_AudioSpec wanted = sdlFormatFor(format, nullptr);
  SDL_AudioSpec obtained{};
  const SDL_AudioDeviceID id =
      SDL_OpenAudioDevice(nameOrDefault(chosenPlayback), 0, &wanted, &obtained, 0);
  if (id == 0) return kWaveBadFormat;
  SDL_CloseAudioDevice(id);
  return kWaveOk;
}

// Capture usually starts a little before playback (the playback device takes
// a while to open). Its blocks then end that much earlier than playback's, and
// which captured block is the newest when a playback block ends would depend
// on scheduling jitter: blocks would be skipped or repeated, and the unit would
// be late by the head start. So when playback starts, capture's descriptor
// being filled starts over, and both count their audio from that moment.
//
// The same whenever either device is opened again, or capture's count would
// stay behind by the time its device was away (every playback report waiting
// to its deadline) or ahead by the time playback's was (none waiting at all).
// Playback is then part-way through a descriptor; capture's is put as far
// through, the part it missed silent, so that the two still end together.
// Started over from nothing it would end up to a block after playback's, and
// the reports could still wait to their deadline. Caller holds stateLock.
void alignCaptureWithPlayback() {
  if (!capture.open || capture.closing || !capture.started || !playback.started) return;
  // Playback's frames as capture's (the stream opens both at one rate).
  const auto asCaptured = [](std::uint64_t frames) {
    return frames * capture.format.samplesPerSecond /
           std::max(1u, playback.format.samplesPerSecond);
  };
  const std::uint32_t frameBytes = std::max<std::uint32_t>(1, capture.format.blockAlign);
  const std::uint64_t intoHead =
      asCaptured(playback.headOffset / std::max<std::uint32_t>(1, playback.format.blockAlign));
  WaveBuffer* head = frontWaveBuffer(capture.queue);
  std::uint32_t skipped = 0;  // bytes
  if (head != nullptr && intoHead * frameBytes < head->bufferLength) {
    skipped = static_cast<std::uint32_t>(intoHead * frameBytes);
    std::memset(head->data, capture.format.bitsPerSample == 8 ? 0x80 : 0, skipped);
  }
  capture.headOffset = skipped;
  capture.reportedFrames = asCaptured(playback.frames) - skipped / frameBytes;
}

// --- Devices the system takes away -----------------------------------------
//
// When a device goes (unplugged, its server module unloaded) SDL stops calling
// it and marks it stopped. A watchdog looks ten times a second and opens the
// device again by the same name (for the default device, whatever the default
// is now) with the same format; the descriptors stay queued, capture is put
// level with playback again, and the stream goes on, never knowing.

constexpr auto kWatchdogPeriod = std::chrono::milliseconds(100);

// Never destroyed: a process that exits while the thread runs (its window
// system gone, say) must not be aborted by std::thread's destructor.
std::thread& watchdog = *new std::thread();
std::mutex watchLock;
std::condition_variable watchSignal;
bool watchStop = false;

// SDL joins a device's thread when it closes the device, and its PulseAudio
// backend's threads wait for the server without a timeout: a server that has
// stopped answering, or a microphone that has stopped delivering, would hold
// the close, and with it the exit, for ever. So the device is paused first
// (SDL holds the lock that pausing takes for the whole of each callback, so a
// callback in progress has returned, and a later one finds the device closing
// and touches nothing), then closed on a thread of its own that is waited for
// a bounded time; a close still waiting after that is left to finish alone.
constexpr auto kCloseWait = std::chrono::milliseconds(150);

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

void reviveIfLost(SdlDevice& d) {
  std::lock_guard reviving(deviceLock);
  SDL_AudioDeviceID id = 0;
  WaveFormat format{};
  std::string name;
  {
    std::lock_guard lock(stateLock);
    if (!d.open || d.closing || !d.started) return;
    id = d.id;
    format = d.format;
    name = d.name;
  }
  if (id != 0 && SDL_GetAudioDeviceStatus(id) != SDL_AUDIO_STOPPED) return;
  if (id != 0) {
    closeSdlDevice(id);
    std::lock_guard lock(stateLock);
    d.id = 0;
  }
  SDL_AudioSpec wanted = sdlFormatFor(&format, d.pump);
  SDL_AudioSpec obtained{};
  const SDL_AudioDeviceID fresh =
      SDL_OpenAudioDevice(nameOrDefault(name), d.isCapture, &wanted, &obtained, 0);
  if (fresh == 0) return;  // no device yet: the next look tries again
  {
    std::lock_guard lock(stateLock);
    d.id = fresh;
    ++reopens;
    alignCaptureWithPlayback();
  }
  SDL_PauseAudioDevice(fresh, 0);
}

void runWatchdog() {
  std::unique_lock lock(watchLock);
  while (!watchStop) {
    watchSignal.wait_for(lock, kWatchdogPeriod);
    if (watchStop) break;
    lock.unlock();
    reviveIfLost(playback);
    reviveIfLost(capture);
    lock.lock();
  }
}

void startWatchdog() {
  std::lock_guard lock(watchLock);
  if (watchdog.joinable()) return;
  watchStop = false;
  watchdog = std::thread(runWatchdog);
}

void stopWatchdog() {
  {
    std::lock_guard lock(watchLock);
    if (!watchdog.joinable()) return;
    watchStop = true;
  }
  watchSignal.notify_one();
  watchdog.join();
}

int openDevice(SdlDevice& d, const char* name, int isCapture, WaveDevice* handle,
               const WaveFormat* format, WaveCallback callback, std::uintptr_t user,
               SDL_AudioCallback pump) {
  if (handle == nullptr) return kWaveError;
  if (!isPlayableFormat(format)) return kWaveBadFormat;
  std::lock_guard opening(deviceLock);
  {
    std::lock_guard lock(stateLock);
    if (d.open) return kWaveAllocated;
  }
  SDL_AudioSpec wanted = sdlFormatFor(format, pump);
  SDL_AudioSpec obtained{};
  const SDL_AudioDeviceID id = SDL_OpenAudioDevice(name, isCapture, &wanted, &obtained, 0);
  if (id == 0) return kWaveError;
  Notice notice;
  {
    std::lock_guard lock(stateLock);
    d = SdlDevice{};
    d.open = true;
    d.id = id;
    d.callback = callback;
    d.user = user;
    d.format = *format;
    d.name = name ? name : "";
    d.isCapture = isCapture;
    d.pump = pump;
    *handle = handleOf(d);
    notice = noticeFor(d);
  }
  startWatchdog();
  notify(notice, isCapture ? kCaptureOpenMessage : kPlaybackOpenMessage, nullptr);
  return kWaveOk;
}

int sdlOpenPlayback(WaveDevice* handle, const WaveFormat* format, WaveCallback callback,
                    std::uintptr_t user) {
  if (countDevices(0) <= 0) return kWaveBadDevice;
  return openDevice(playback, nameOrDefault(chosenPlayback), 0, handle, format, callback, user,
                    pullPlayback);
}

int sdlOpenCapture(WaveDevice* handle, int number, const WaveFormat* format, WaveCallback callback,
                   std::uintptr_t user) {
  const int count = countDevices(1);
  if (number < 0 || number >= count) return kWaveBadDevice;
  // Device 0 is the chosen or the system's default capture device; the others
  // go by SDL's list.
  const char* name = number == 0 ? nameOrDefault(chosenCapture) : SDL_GetAudioDeviceName(number, 1);
  return openDevice(capture, name, 1, handle, format, callback, user, pushCapture);
}

template <typename Op>
int withDevice(WaveDevice handle, SdlDevice& expected, Op op) {
  std::lock_guard lock(stateLock);
  SdlDevice* d = deviceOf(handle, expected);
  return d == nullptr ? kWaveBadDevice : op(*d);
}

int sdlPreparePlayback(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, playback, [&](SdlDevice&) { return prepareWaveBuffer(b); });
}
// Playback starts with the first descriptor queued, so the listener hears the
// caller's first block first and no silence of SDL's own before it.
int sdlQueuePlayback(WaveDevice h, WaveBuffer* b) {
  SDL_AudioDeviceID start = 0;
  const int r = withDevice(h, playback, [&](SdlDevice& d) {
    const int queued = enqueueWaveBuffer(d.queue, b);
    if (queued == kWaveOk && !d.started) {
      d.started = true;
      start = d.id;
      alignCaptureWithPlayback();
    }
    return queued;
  });
  if (start != 0) SDL_PauseAudioDevice(start, 0);
  return r;
}
int sdlReleasePlayback(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, playback, [&](SdlDevice&) { return releaseWaveBuffer(b); });
}
int sdlPrepareCapture(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, capture, [&](SdlDevice&) { return prepareWaveBuffer(b); });
}
int sdlQueueCapture(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, capture, [&](SdlDevice& d) { return enqueueWaveBuffer(d.queue, b); });
}
int sdlReleaseCapture(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, capture, [&](SdlDevice&) { return releaseWaveBuffer(b); });
}

int sdlStartCapture(WaveDevice h) {
  SDL_AudioDeviceID id = 0;
  const int r = withDevice(h, capture, [&](SdlDevice& d) {
    d.started = true;
    id = d.id;
    return kWaveOk;
  });
  if (r == kWaveOk) SDL_PauseAudioDevice(id, 0);
  return r;
}

int closeDevice(WaveDevice handle, SdlDevice& d, std::uint32_t closeMessage) {
  std::unique_lock closing(deviceLock);
  SDL_AudioDeviceID id = 0;
  {
    std::lock_guard lock(stateLock);
    if (deviceOf(handle, d) == nullptr) return kWaveBadDevice;
    d.closing = true;
    id = d.id;
  }
  // A playback report may be running on the capture thread; wait it out. Later
  // ones see `closing` and stop.
  { std::lock_guard barrier(playbackReportLock); }
  // Once this returns no callback touches a descriptor (see closeSdlDevice).
  if (id != 0) closeSdlDevice(id);
  Notice notice;
  bool anyOpen = false;
  {
    std::lock_guard lock(stateLock);
    cancelWaveBuffers(d.queue);
    cancelWaveBuffers(d.finished);
    notice = noticeFor(d);
    d.open = false;
    d.closing = false;
    d.started = false;
    anyOpen = playback.open || capture.open;
  }
  closing.unlock();
  if (!anyOpen) stopWatchdog();
  notify(notice, closeMessage, nullptr);
  return kWaveOk;
}

int sdlClosePlayback(WaveDevice h) {
  return closeDevice(h, playback, kPlaybackCloseMessage);
}

int sdlCloseCapture(WaveDevice h) {
  return closeDevice(h, capture, kCaptureCloseMessage);
}

}  // namespace

const WaveBackend sdlWaveBackend = {
    "sdl",
    sdlCountPlayback,
    sdlCountCapture,
    sdlQueryPlayback,
    sdlOpenPlayback,
    sdlPreparePlayback,
    sdlQueuePlayback,
    sdlReleasePlayback,
    sdlClosePlayback,
    sdlOpenCapture,
    sdlPrepareCapture,
    sdlQueueCapture,
    sdlStartCapture,
    sdlReleaseCapture,
    sdlCloseCapture,
    sdlDeviceCount,
    sdlDeviceName,
    chooseSdlDevices,
};

int sdlBufferFrames(std::uint32_t rate) {
  int frames = 64;
  while (static_cast<std::uint32_t>(frames) * 2 * 25 <= rate) frames *= 2;
  return frames;
}

void setSdlPlaybackFollowsCapture(bool follows) {
  playbackFollowsCapture = follows;
}

int sdlDeviceCount(int isCapture) {
  if (!audioReady()) return 0;
  const int n = SDL_GetNumAudioDevices(isCapture ? 1 : 0);
  return n < 0 ? 0 : n;
}

const char* sdlDeviceName(int isCapture, int index) {
  if (!audioReady() || index < 0) return nullptr;
  return SDL_GetAudioDeviceName(index, isCapture ? 1 : 0);
}

void chooseSdlDevices(const char* captureName, const char* playbackName) {
  chosenCapture = captureName ? captureName : "";
  chosenPlayback = playbackName ? playbackName : "";
}

std::uint64_t sdlPlaybackReportsOnDeadline() {
  std::lock_guard lock(stateLock);
  return reportsOnDeadline;
}

std::uint64_t sdlDeviceReopens() {
  std::lock_guard lock(stateLock);
  return reopens;
}
