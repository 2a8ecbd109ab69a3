#include "platform/wave_audio.h"

#include <atomic>

#include "platform/wave_pump.h"

namespace {
std::atomic<const WaveBackend*> backendInUse{&sdlWaveBackend};
std::atomic<PlaybackTap> playbackTap{nullptr};
std::atomic<bool> soundLost{false};
std::atomic<void (*)()> soundWatcher{nullptr};

const WaveBackend& b() {
  return *backendInUse.load(std::memory_order_acquire);
}
}  // namespace

void useWaveBackend(const WaveBackend* backend) {
  backendInUse.store(backend != nullptr ? backend : &sdlWaveBackend, std::memory_order_release);
}

const WaveBackend* currentWaveBackend() {
  return &b();
}

bool isPlayableFormat(const WaveFormat* f) {
  if (f == nullptr || f->formatTag != kWaveFormatPcm) return false;
  if (f->channels < 1 || f->channels > 2) return false;
  if (f->bitsPerSample != 8 && f->bitsPerSample != 16) return false;
  if (f->blockAlign != f->channels * f->bitsPerSample / 8) return false;
  return f->samplesPerSecond >= 1000 && f->samplesPerSecond <= 192000;
}

int countPlaybackDevices() {
  return b().deviceCount(0);
}
int countCaptureDevices() {
  return b().deviceCount(1);
}
int queryPlaybackFormat(const WaveFormat* format) {
  return b().queryPlaybackFormat(format);
}
int openPlayback(WaveDevice* device, const WaveFormat* format, WaveCallback callback,
                 std::uintptr_t user) {
  return b().openPlayback(device, format, callback, user);
}
int preparePlaybackBuffer(WaveDevice device, WaveBuffer* buffer) {
  return b().preparePlaybackBuffer(device, buffer);
}
int queuePlaybackBuffer(WaveDevice device, WaveBuffer* buffer) {
  const int result = b().queuePlaybackBuffer(device, buffer);
  const PlaybackTap tap = playbackTap.load(std::memory_order_acquire);
  if (result == kWaveOk && tap != nullptr) tap(buffer->data, buffer->bufferLength);
  return result;
}
void setPlaybackTap(PlaybackTap tap) {
  playbackTap.store(tap, std::memory_order_release);
}
int releasePlaybackBuffer(WaveDevice device, WaveBuffer* buffer) {
  return b().releasePlaybackBuffer(device, buffer);
}
int closePlayback(WaveDevice device) {
  return b().closePlayback(device);
}
int openCapture(WaveDevice* device, int deviceNumber, const WaveFormat* format,
                WaveCallback callback, std::uintptr_t user) {
  return b().openCapture(device, deviceNumber, format, callback, user);
}
int prepareCaptureBuffer(WaveDevice device, WaveBuffer* buffer) {
  return b().prepareCaptureBuffer(device, buffer);
}
int queueCaptureBuffer(WaveDevice device, WaveBuffer* buffer) {
  return b().queueCaptureBuffer(device, buffer);
}
int startCapture(WaveDevice device) {
  return b().startCapture(device);
}
int releaseCaptureBuffer(WaveDevice device, WaveBuffer* buffer) {
  return b().releaseCaptureBuffer(device, buffer);
}
int closeCapture(WaveDevice device) {
  return b().closeCapture(device);
}
int waveDeviceCount(int isCapture) {
  return b().deviceCount(isCapture);
}
const char* waveDeviceName(int isCapture, int index) {
  return b().deviceName(isCapture, index);
}
void chooseWaveDevices(const char* captureName, const char* playbackName) {
  ChosenWaveDevices& chosen = chosenWaveDevices();
  chosen.capture = captureName ? captureName : "";
  chosen.playback = playbackName ? playbackName : "";
}

bool waveHasSound() {
  return b().anyOpen() && !soundLost.load(std::memory_order_relaxed);
}

void markWaveSoundLost(bool lost) {
  if (soundLost.exchange(lost, std::memory_order_relaxed) == lost) return;
  if (void (*changed)() = soundWatcher.load(std::memory_order_relaxed)) changed();
}

void whenWaveSoundChanges(void (*changed)()) {
  soundWatcher.store(changed, std::memory_order_relaxed);
}
