// Real devices through SDL. SDL pulls playback data and pushes captured data on
// threads of its own; its callbacks move bytes between SDL and the head of the
// queued descriptors, and every notification is made after our lock is dropped.
#include "platform/wave_audio_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "platform/sdl_audio.h"
#include "platform/wave_alignment.h"
#include "platform/wave_audio.h"
#include "platform/wave_audio_sdl_testing.h"
#include "platform/wave_pump.h"

namespace {

using Clock = std::chrono::steady_clock;

struct SdlDevice {
  DeviceState state;
  SDL_AudioDeviceID id;  // 0 while a lost device waits to be opened again
  WaveClient client;
  WaveFormat format;
  // Playback's finished descriptors wait with the time they may go out
  // regardless of capture; playback's frames are those taken from descriptors.
  WavePump<Clock::time_point> pump;
  // Capture: frames of descriptors already reported, on playback's timeline:
  // alignCaptureWithPlayback puts it level with playback's position.
  std::uint64_t reportedFrames;
  // What it was opened as, to open it again if the system takes it away.
  std::string name;  // empty: the system's default device
  int isCapture;
  SDL_AudioCallback callback;
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

const char* nameOrDefault(const std::string& name) {
  return name.empty() ? nullptr : name.c_str();
}
std::atomic<bool> playbackFollowsCapture{true};
// Guarded by stateLock, for sdlPlaybackReportsOnDeadline and sdlDeviceReopens.
std::uint64_t reportsOnDeadline = 0;
std::uint64_t reopens = 0;

// Open and not closing. Caller holds stateLock.
bool takesCalls(const SdlDevice& d) {
  return d.state == DeviceState::Opened || d.state == DeviceState::Started;
}

// A negative count means SDL cannot list them; the default device may still be there.
int sdlDeviceCount(int isCapture) {
  if (!sdlAudioReady()) return 0;
  const int n = SDL_GetNumAudioDevices(isCapture ? 1 : 0);
  return n < 0 ? 1 : n;
}

const char* sdlDeviceName(int isCapture, int index) {
  if (!sdlAudioReady() || index < 0) return nullptr;
  return SDL_GetAudioDeviceName(index, isCapture ? 1 : 0);
}

// The patience rule in time: the next descriptor is playing meanwhile, so the
// handler still requeues in time, and a capture device that delivers late (a
// sound server's buffering on both sides) is still waited for: going out
// before it would process the previous capture block a second time.
Clock::time_point reportDeadline(const WaveFormat& f, const WaveBuffer* b) {
  const std::uint64_t us = reportPatience(std::uint64_t{b->bufferLength} * 1000000) /
                           std::max(1u, f.averageBytesPerSecond);
  return Clock::now() + std::chrono::microseconds(us);
}

// Whether the oldest unreported playback descriptor may be reported now,
// counting it if it goes only because its deadline has passed. Caller holds
// stateLock.
bool playbackReportDue(const FinishedEntry<Clock::time_point>& oldest) {
  const bool captureLive = playbackFollowsCapture.load(std::memory_order_relaxed) &&
                           capture.state == DeviceState::Started;
  // Compare stream times: reportedFrames / captureRate >= endFrame / playbackRate.
  const bool caughtUp = capture.reportedFrames * std::uint64_t{playback.format.samplesPerSecond} >=
                        oldest.endFrame * std::uint64_t{capture.format.samplesPerSecond};
  const bool due = reportDue(captureLive, caughtUp, Clock::now(), oldest.stamp);
  if (due && captureLive && !caughtUp) ++reportsOnDeadline;
  return due;
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
    WaveClient client{};
    {
      std::lock_guard lock(stateLock);
      const auto* oldest = oldestFinished(playback.pump.finished);
      if (!takesCalls(playback) || oldest == nullptr || !playbackReportDue(*oldest)) return;
      done = popFinished(playback.pump.finished);
      client = playback.client;
    }
    notifyClient(client, kPlaybackDoneMessage, done);
  }
}

void SDLCALL pullPlayback(void*, Uint8* stream, int len) {
  {
    std::lock_guard lock(stateLock);
    SdlDevice& d = playback;
    const auto bytes = static_cast<std::uint32_t>(len);
    // A closing device is silent: its descriptors are about to be cancelled.
    if (d.state == DeviceState::Closing)
      writeSilence(stream, bytes, d.format);
    else
      playPeriod(d.pump, stream, bytes, d.format,
                 [&](const WaveBuffer* b) { return reportDeadline(d.format, b); });
  }
  reportPlayback();
}

void SDLCALL pushCapture(void*, Uint8* stream, int len) {
  FilledDescriptors filled{};
  WaveClient client{};
  {
    std::lock_guard lock(stateLock);
    SdlDevice& d = capture;
    // A closing device takes nothing: its descriptors are about to be cancelled.
    if (d.state != DeviceState::Closing)
      recordPeriod(d.pump, stream, static_cast<std::uint32_t>(len), d.format, filled);
    client = d.client;
  }
  for (int i = 0; i < filled.count; ++i) {
    notifyClient(client, kCaptureDataMessage, filled.items[i]);
    std::lock_guard lock(stateLock);
    capture.reportedFrames += filled.items[i]->bufferLength / frameBytesOf(capture.format);
  }
  if (filled.count > 0) reportPlayback();
}

int sdlQueryPlayback(const WaveFormat* format) {
  if (!isPlayableFormat(format)) return kWaveBadFormat;
  if (sdlDeviceCount(0) <= 0) return kWaveBadDevice;
  SDL_AudioSpec wanted = sdlFormatFor(format, nullptr);
  SDL_AudioSpec obtained{};
  const SDL_AudioDeviceID id =
      SDL_OpenAudioDevice(nameOrDefault(chosenWaveDevices().playback), 0, &wanted, &obtained, 0);
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
  if (capture.state != DeviceState::Started || playback.state != DeviceState::Started) return;
  WaveBuffer* head = frontWaveBuffer(capture.pump.queue);
  const CaptureLevel level =
      captureLevelWithPlayback(playback.pump.frames, playback.pump.headOffset, playback.format,
                               capture.format, head != nullptr ? head->bufferLength : 0);
  if (head != nullptr) writeSilence(head->data, level.headOffset, capture.format);
  capture.pump.headOffset = level.headOffset;
  capture.reportedFrames = level.frames;
}

// --- Devices the system takes away -----------------------------------------
//
// When a device goes (unplugged, its server module unloaded) SDL stops calling
// it and marks it stopped. A watchdog looks ten times a second and opens the
// device again by the same name (for the default device, whatever the default
// is now) with the same format; the descriptors stay queued, capture is put
// level with playback again, and the stream goes on, never knowing.

void reviveIfLost(SdlDevice& d) {
  std::lock_guard reviving(deviceLock);
  SDL_AudioDeviceID id = 0;
  WaveFormat format{};
  std::string name;
  {
    std::lock_guard lock(stateLock);
    if (d.state != DeviceState::Started) return;
    id = d.id;
    format = d.format;
    name = d.name;
  }
  if (id != 0 && SDL_GetAudioDeviceStatus(id) != SDL_AUDIO_STOPPED) return;
  markWaveSoundLost(true);
  if (id != 0) {
    closeSdlDevice(id);
    std::lock_guard lock(stateLock);
    d.id = 0;
  }
  SDL_AudioSpec wanted = sdlFormatFor(&format, d.callback);
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
  std::lock_guard lock(stateLock);
  const auto waiting = [](const SdlDevice& e) {
    return e.state == DeviceState::Started && e.id == 0;
  };
  if (!waiting(playback) && !waiting(capture)) markWaveSoundLost(false);
}

void reviveLostDevices() {
  reviveIfLost(playback);
  reviveIfLost(capture);
}

int openDevice(SdlDevice& d, const char* name, int isCapture, WaveDevice* handle,
               const WaveFormat* format, WaveCallback callback, std::uintptr_t user,
               SDL_AudioCallback pump) {
  if (handle == nullptr) return kWaveError;
  if (!isPlayableFormat(format)) return kWaveBadFormat;
  std::lock_guard opening(deviceLock);
  {
    std::lock_guard lock(stateLock);
    if (d.state != DeviceState::Closed) return kWaveAllocated;
  }
  SDL_AudioSpec wanted = sdlFormatFor(format, pump);
  SDL_AudioSpec obtained{};
  const SDL_AudioDeviceID id = SDL_OpenAudioDevice(name, isCapture, &wanted, &obtained, 0);
  if (id == 0) return kWaveError;
  WaveClient client{};
  {
    std::lock_guard lock(stateLock);
    d = SdlDevice{};
    d.state = DeviceState::Opened;
    d.id = id;
    d.client = {waveHandleOf(d), callback, user};
    d.format = *format;
    d.name = name ? name : "";
    d.isCapture = isCapture;
    d.callback = pump;
    *handle = waveHandleOf(d);
    client = d.client;
  }
  startSdlWatchdog(reviveLostDevices);
  notifyClient(client, isCapture ? kCaptureOpenMessage : kPlaybackOpenMessage);
  return kWaveOk;
}

int sdlOpenPlayback(WaveDevice* handle, const WaveFormat* format, WaveCallback callback,
                    std::uintptr_t user) {
  if (sdlDeviceCount(0) <= 0) return kWaveBadDevice;
  return openDevice(playback, nameOrDefault(chosenWaveDevices().playback), 0, handle, format,
                    callback, user, pullPlayback);
}

int sdlOpenCapture(WaveDevice* handle, int number, const WaveFormat* format, WaveCallback callback,
                   std::uintptr_t user) {
  const int count = sdlDeviceCount(1);
  if (number < 0 || number >= count) return kWaveBadDevice;
  // Device 0 is the chosen or the system's default capture device; the others
  // go by SDL's list.
  const char* name =
      number == 0 ? nameOrDefault(chosenWaveDevices().capture) : SDL_GetAudioDeviceName(number, 1);
  return openDevice(capture, name, 1, handle, format, callback, user, pushCapture);
}

// An open device's calls run under stateLock.
template <typename Op>
int withDevice(WaveDevice handle, SdlDevice& expected, Op op) {
  std::lock_guard lock(stateLock);
  return withOpenDevice(handle, expected, takesCalls(expected), op);
}
int closeDevice(WaveDevice handle, SdlDevice& device, std::uint32_t closeMessage);

// Playback starts with the first descriptor queued, so the listener hears the
// caller's first block first and no silence of SDL's own before it.
int sdlQueuePlayback(WaveDevice h, WaveBuffer* b) {
  SDL_AudioDeviceID start = 0;
  const int r = withDevice(h, playback, [&](SdlDevice& d) {
    const int queued = enqueueWaveBuffer(d.pump.queue, b);
    if (queued == kWaveOk && d.state != DeviceState::Started) {
      d.state = DeviceState::Started;
      start = d.id;
      alignCaptureWithPlayback();
    }
    return queued;
  });
  if (start != 0) SDL_PauseAudioDevice(start, 0);
  return r;
}

int sdlStartCapture(WaveDevice h) {
  SDL_AudioDeviceID id = 0;
  const int r = withDevice(h, capture, [&](SdlDevice& d) {
    d.state = DeviceState::Started;
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
    if (handle != waveHandleOf(d) || !takesCalls(d)) return kWaveBadDevice;
    d.state = DeviceState::Closing;
    id = d.id;
  }
  // A playback report may be running on the capture thread; wait it out. Later
  // ones see the device closing and stop.
  { std::lock_guard barrier(playbackReportLock); }
  // Once this returns no callback touches a descriptor (see closeSdlDevice).
  if (id != 0) closeSdlDevice(id);
  WaveClient client{};
  bool anyOpen = false;
  {
    std::lock_guard lock(stateLock);
    cancelPump(d.pump);
    client = d.client;
    d.state = DeviceState::Closed;
    anyOpen = playback.state != DeviceState::Closed || capture.state != DeviceState::Closed;
  }
  closing.unlock();
  if (!anyOpen) stopSdlWatchdog();
  if (!anyOpen) markWaveSoundLost(false);
  notifyClient(client, closeMessage);
  return kWaveOk;
}

bool sdlAnyOpen() {
  std::lock_guard lock(stateLock);
  return playback.state != DeviceState::Closed || capture.state != DeviceState::Closed;
}

}  // namespace

const WaveBackend sdlWaveBackend = {
    "sdl",
    sdlDeviceCount,
    sdlDeviceName,
    sdlQueryPlayback,
    sdlOpenPlayback,
    prepareOn<playback>,
    sdlQueuePlayback,
    releaseOn<playback>,
    closeOn<playback, kPlaybackCloseMessage>,
    sdlOpenCapture,
    prepareOn<capture>,
    queueOn<capture>,
    sdlStartCapture,
    releaseOn<capture>,
    closeOn<capture, kCaptureCloseMessage>,
    sdlAnyOpen,
};

void setSdlPlaybackFollowsCapture(bool follows) {
  playbackFollowsCapture = follows;
}

std::uint64_t sdlPlaybackReportsOnDeadline() {
  std::lock_guard lock(stateLock);
  return reportsOnDeadline;
}

std::uint64_t sdlDeviceReopens() {
  std::lock_guard lock(stateLock);
  return reopens;
}
