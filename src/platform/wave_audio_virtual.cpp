#include "platform/wave_audio_virtual.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/wave_pump.h"

namespace {

// A tick moves a whole descriptor, so a device needs only its queue of the pump.
struct VirtualDevice {
  DeviceState state;  // never Closing: closing happens under stateLock
  WaveClient client;
  WaveQueue queue;
};

// `stateLock` guards everything below it. `tickLock` is held for a whole tick, so
// closing a device can wait for a notification that is running.
std::mutex stateLock;
std::mutex tickLock;

VirtualDevice playbackDevice{};
VirtualDevice captureDevice{};
int playbackDeviceCount = 1;
int captureDeviceCount = 1;
std::vector<std::uint32_t> acceptedRates;
bool playbackOpenFails = false;
bool captureOpenFails = false;
VirtualCaptureSource captureSource;
VirtualPlaybackSink playbackSink;
std::vector<std::int16_t> collected;
std::deque<std::uint32_t> shortCaptures;
VirtualAudioStats stats;

std::thread ticker;
std::atomic<bool> tickerRunning{false};

bool isOpen(const VirtualDevice& d) {
  return d.state != DeviceState::Closed;
}

bool acceptsRate(std::uint32_t rate) {
  return acceptedRates.empty() ||
         std::find(acceptedRates.begin(), acceptedRates.end(), rate) != acceptedRates.end();
}

bool carriesFormat(const WaveFormat* f) {
  return isPlayableFormat(f) && f->bitsPerSample == 16;
}

// Caller holds stateLock; the caller tells the client, without it.
WaveClient openDevice(VirtualDevice& d, WaveDevice* handle, WaveCallback callback,
                      std::uintptr_t user) {
  d = VirtualDevice{};
  d.state = DeviceState::Opened;
  d.client = {waveHandleOf(d), callback, user};
  *handle = waveHandleOf(d);
  return d.client;
}

template <typename Op>
int withDevice(WaveDevice handle, VirtualDevice& expected, Op op) {
  std::lock_guard lock(stateLock);
  return withOpenDevice(handle, expected, isOpen(expected), op);
}

int closeDevice(WaveDevice handle, VirtualDevice& expected, int VirtualAudioStats::*closes,
                std::uint32_t closeMessage) {
  WaveClient client{};
  const int r = withDevice(handle, expected, [&](VirtualDevice& d) {
    cancelWaveBuffers(d.queue);
    d.state = DeviceState::Closed;
    ++(stats.*closes);
    client = d.client;
    return kWaveOk;
  });
  if (r != kWaveOk) return r;
  // Waits out a tick that may be notifying this device right now.
  { std::lock_guard barrier(tickLock); }
  notifyClient(client, closeMessage);
  return kWaveOk;
}

// Listed as "Virtual microphone 1", "Virtual speaker 1", ...; choosing by name
// changes nothing, there being one device a direction to open.
int vDeviceCount(int isCapture) {
  std::lock_guard lock(stateLock);
  return isCapture ? captureDeviceCount : playbackDeviceCount;
}

const char* vDeviceName(int isCapture, int index) {
  static thread_local std::string name;
  if (index < 0 || index >= vDeviceCount(isCapture)) return nullptr;
  name = std::string(isCapture ? "Virtual microphone " : "Virtual speaker ") +
         std::to_string(index + 1);
  return name.c_str();
}

int vQueryPlayback(const WaveFormat* format) {
  std::lock_guard lock(stateLock);
  if (format == nullptr) return kWaveError;
  stats.queriedRates.push_back(format->samplesPerSecond);
  if (playbackDeviceCount <= 0) return kWaveBadDevice;
  return carriesFormat(format) && acceptsRate(format->samplesPerSecond) ? kWaveOk : kWaveBadFormat;
}

int vOpenPlayback(WaveDevice* handle, const WaveFormat* format, WaveCallback callback,
                  std::uintptr_t user) {
  if (handle == nullptr || format == nullptr) return kWaveError;
  WaveClient client{};
  {
    std::lock_guard lock(stateLock);
    if (playbackDeviceCount <= 0) return kWaveBadDevice;
    if (isOpen(playbackDevice)) return kWaveAllocated;
    if (!carriesFormat(format) || !acceptsRate(format->samplesPerSecond)) return kWaveBadFormat;
    if (playbackOpenFails) return kWaveError;
    ++stats.playbackOpens;
    stats.playbackFormat = *format;
    client = openDevice(playbackDevice, handle, callback, user);
  }
  notifyClient(client, kPlaybackOpenMessage);
  return kWaveOk;
}

int vOpenCapture(WaveDevice* handle, int number, const WaveFormat* format, WaveCallback callback,
                 std::uintptr_t user) {
  if (handle == nullptr || format == nullptr) return kWaveError;
  WaveClient client{};
  {
    std::lock_guard lock(stateLock);
    if (number < 0 || number >= captureDeviceCount) return kWaveBadDevice;
    if (isOpen(captureDevice)) return kWaveAllocated;
    if (!carriesFormat(format)) return kWaveBadFormat;
    if (captureOpenFails) return kWaveError;
    ++stats.captureOpens;
    stats.captureFormat = *format;
    client = openDevice(captureDevice, handle, callback, user);
  }
  notifyClient(client, kCaptureOpenMessage);
  return kWaveOk;
}

int prepare(WaveDevice handle, VirtualDevice& expected, WaveBuffer* buffer) {
  return withDevice(handle, expected, [&](VirtualDevice&) {
    const int r = prepareWaveBuffer(buffer);
    if (r == kWaveOk) ++stats.prepares;
    return r;
  });
}

int release(WaveDevice handle, VirtualDevice& expected, WaveBuffer* buffer) {
  return withDevice(handle, expected, [&](VirtualDevice&) {
    const int r = releaseWaveBuffer(buffer);
    if (r == kWaveOk) ++stats.releases;
    return r;
  });
}

int vPreparePlayback(WaveDevice h, WaveBuffer* b) {
  return prepare(h, playbackDevice, b);
}
int vReleasePlayback(WaveDevice h, WaveBuffer* b) {
  return release(h, playbackDevice, b);
}
int vPrepareCapture(WaveDevice h, WaveBuffer* b) {
  return prepare(h, captureDevice, b);
}
int vReleaseCapture(WaveDevice h, WaveBuffer* b) {
  return release(h, captureDevice, b);
}

int vQueuePlayback(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, playbackDevice, [&](VirtualDevice& d) {
    const int r = enqueueWaveBuffer(d.queue, b);
    if (r != kWaveOk) return r;
    d.state = DeviceState::Started;
    stats.playbackQueued.push_back(b);
    return r;
  });
}

int vQueueCapture(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, captureDevice, [&](VirtualDevice& d) {
    const int r = enqueueWaveBuffer(d.queue, b);
    if (r == kWaveOk) stats.captureQueued.push_back(b);
    return r;
  });
}

int vStartCapture(WaveDevice h) {
  return withDevice(h, captureDevice, [&](VirtualDevice& d) {
    d.state = DeviceState::Started;
    ++stats.captureStarts;
    return kWaveOk;
  });
}

int vClosePlayback(WaveDevice h) {
  return closeDevice(h, playbackDevice, &VirtualAudioStats::playbackCloses, kPlaybackCloseMessage);
}

int vCloseCapture(WaveDevice h) {
  return closeDevice(h, captureDevice, &VirtualAudioStats::captureCloses, kCaptureCloseMessage);
}

// Completes the capture head. Caller holds tickLock, not stateLock.
bool completeCapture() {
  WaveBuffer* done = nullptr;
  WaveClient client{};
  {
    std::lock_guard lock(stateLock);
    VirtualDevice& d = captureDevice;
    WaveBuffer* b = d.state == DeviceState::Started ? frontWaveBuffer(d.queue) : nullptr;
    if (b == nullptr) return false;
    std::uint32_t bytes = b->bufferLength;
    if (!shortCaptures.empty()) {
      bytes = std::min(bytes, shortCaptures.front());
      shortCaptures.pop_front();
    }
    const std::size_t count = bytes / 2;
    auto* samples = reinterpret_cast<std::int16_t*>(b->data);
    if (captureSource)
      captureSource(samples, count);
    else
      std::fill(samples, samples + count, std::int16_t{0});
    done = finishFrontWaveBuffer(d.queue);
    done->bytesRecorded = bytes;
    ++stats.captureNotifications;
    client = d.client;
  }
  notifyClient(client, kCaptureDataMessage, done);
  return true;
}

bool completePlayback() {
  WaveBuffer* done = nullptr;
  WaveClient client{};
  {
    std::lock_guard lock(stateLock);
    VirtualDevice& d = playbackDevice;
    WaveBuffer* b = isOpen(d) ? frontWaveBuffer(d.queue) : nullptr;
    if (b == nullptr) {
      if (d.state == DeviceState::Started) ++stats.underruns;
      return false;
    }
    const auto* samples = reinterpret_cast<const std::int16_t*>(b->data);
    const std::size_t count = b->bufferLength / 2;
    if (playbackSink)
      playbackSink(samples, count);
    else
      collected.insert(collected.end(), samples, samples + count);
    done = finishFrontWaveBuffer(d.queue);
    ++stats.playbackNotifications;
    client = d.client;
  }
  notifyClient(client, kPlaybackDoneMessage, done);
  return true;
}

}  // namespace

bool vAnyOpen() {
  std::lock_guard lock(stateLock);
  return isOpen(playbackDevice) || isOpen(captureDevice);
}

const WaveBackend virtualWaveBackend = {
    "virtual",      vDeviceCount,     vDeviceName,     vQueryPlayback,
    vOpenPlayback,  vPreparePlayback, vQueuePlayback,  vReleasePlayback,
    vClosePlayback, vOpenCapture,     vPrepareCapture, vQueueCapture,
    vStartCapture,  vReleaseCapture,  vCloseCapture,   vAnyOpen,
};

void resetVirtualAudio() {
  stopVirtualAudioThread();
  std::lock_guard lock(stateLock);
  cancelWaveBuffers(playbackDevice.queue);
  cancelWaveBuffers(captureDevice.queue);
  playbackDevice = VirtualDevice{};
  captureDevice = VirtualDevice{};
  playbackDeviceCount = 1;
  captureDeviceCount = 1;
  acceptedRates.clear();
  playbackOpenFails = false;
  captureOpenFails = false;
  captureSource = nullptr;
  playbackSink = nullptr;
  collected.clear();
  shortCaptures.clear();
  stats = VirtualAudioStats{};
}

void setVirtualDeviceCounts(int playback, int capture) {
  std::lock_guard lock(stateLock);
  playbackDeviceCount = playback;
  captureDeviceCount = capture;
}

void setVirtualPlaybackRates(std::vector<std::uint32_t> rates) {
  std::lock_guard lock(stateLock);
  acceptedRates = std::move(rates);
}

void setVirtualOpenFailures(bool playbackFails, bool captureFails) {
  std::lock_guard lock(stateLock);
  playbackOpenFails = playbackFails;
  captureOpenFails = captureFails;
}

void setVirtualCaptureSource(VirtualCaptureSource source) {
  std::lock_guard lock(stateLock);
  captureSource = std::move(source);
}

void setVirtualPlaybackSink(VirtualPlaybackSink sink) {
  std::lock_guard lock(stateLock);
  playbackSink = std::move(sink);
}

std::vector<std::int16_t> takeVirtualPlayback() {
  std::lock_guard lock(stateLock);
  std::vector<std::int16_t> out;
  out.swap(collected);
  return out;
}

void shortenVirtualCaptures(std::vector<std::uint32_t> bytesRecorded) {
  std::lock_guard lock(stateLock);
  shortCaptures.insert(shortCaptures.end(), bytesRecorded.begin(), bytesRecorded.end());
}

int tickVirtualAudio() {
  std::lock_guard tick(tickLock);
  int happened = 0;
  if (completeCapture()) happened |= kVirtualCaptured;
  if (completePlayback()) happened |= kVirtualPlayed;
  return happened;
}

void startVirtualAudioThread(int periodMicroseconds) {
  stopVirtualAudioThread();
  tickerRunning = true;
  ticker = std::thread([periodMicroseconds] {
    while (tickerRunning.load()) {
      tickVirtualAudio();
      if (periodMicroseconds > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(periodMicroseconds));
      else
        std::this_thread::yield();
    }
  });
}

void stopVirtualAudioThread() {
  tickerRunning = false;
  if (ticker.joinable()) ticker.join();
}

VirtualAudioStats virtualAudioStats() {
  std::lock_guard lock(stateLock);
  VirtualAudioStats s = stats;
  s.playbackHeld = isOpen(playbackDevice) ? playbackDevice.queue.count : 0;
  s.captureHeld = isOpen(captureDevice) ? captureDevice.queue.count : 0;
  return s;
}
