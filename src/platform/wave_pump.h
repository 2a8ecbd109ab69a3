// The descriptor pump every wave-audio backend runs: the queue of descriptors
// and its head offset, moving a period of audio out of or into the head
// descriptor, completing descriptors in queue order, the ring of finished
// playback descriptors waiting for their report, the silence byte, the
// patience rule, the devices chosen by name, and a device's handle and
// notifications. A backend adds its own clock and its server's calls, and holds
// its own guard (a lock, or its data thread) around every call here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/wave_audio.h"

constexpr int kWaveQueueCapacity = 16;

// A small fixed ring of queued descriptors, so queuing never allocates.
struct WaveQueue {
  WaveBuffer* items[kWaveQueueCapacity];
  int head;   // index of the oldest queued descriptor
  int count;  // descriptors queued
};

int prepareWaveBuffer(WaveBuffer* buffer);
int releaseWaveBuffer(WaveBuffer* buffer);
int enqueueWaveBuffer(WaveQueue& queue, WaveBuffer* buffer);
WaveBuffer* frontWaveBuffer(const WaveQueue& queue);
// Takes the oldest descriptor off the queue and marks it finished.
WaveBuffer* finishFrontWaveBuffer(WaveQueue& queue);
// Drops every queued descriptor, finished but not reported (closing a device).
void cancelWaveBuffers(WaveQueue& queue);

// What silence is in a format: 0x80 for 8-bit (unsigned) samples, 0 for 16-bit
// (signed) ones.
std::uint8_t silenceByte(const WaveFormat& format);
void writeSilence(void* to, std::size_t bytes, const WaveFormat& format);

// Bytes per frame, never 0.
std::uint32_t frameBytesOf(const WaveFormat& format);

// The patience rule: a finished playback descriptor is reported once capture
// has moved as much audio, so the handler processes the capture block of the
// same period; but it waits at most three quarters of its own length (in
// frames, bytes or time), so a stalled capture device cannot stall playback,
// and the next descriptor, playing meanwhile, leaves the handler time to queue
// again. Capture that is not live is not waited for.
constexpr std::uint64_t reportPatience(std::uint64_t length) {
  return length * 3 / 4;
}
template <typename Point>
bool reportDue(bool captureLive, bool caughtUp, Point now, Point deadline) {
  return !captureLive || caughtUp || !(now < deadline);
}

// Finished playback descriptors waiting for their report, oldest first, each
// with the frame it ended at and what the backend keeps beside it.
template <typename Stamp>
struct FinishedEntry {
  WaveBuffer* buffer;
  std::uint64_t endFrame;
  Stamp stamp;
};
template <typename Stamp>
struct FinishedRing {
  FinishedEntry<Stamp> entries[kWaveQueueCapacity];
  int head;
  int count;
};

template <typename Stamp>
const FinishedEntry<Stamp>* oldestFinished(const FinishedRing<Stamp>& ring) {
  return ring.count > 0 ? &ring.entries[ring.head] : nullptr;
}

template <typename Stamp>
void pushFinished(FinishedRing<Stamp>& ring, const FinishedEntry<Stamp>& entry) {
  ring.entries[(ring.head + ring.count) % kWaveQueueCapacity] = entry;
  ++ring.count;
}

// Takes the oldest off the ring; null when it is empty.
template <typename Stamp>
WaveBuffer* popFinished(FinishedRing<Stamp>& ring) {
  if (ring.count == 0) return nullptr;
  WaveBuffer* buffer = ring.entries[ring.head].buffer;
  ring.head = (ring.head + 1) % kWaveQueueCapacity;
  --ring.count;
  return buffer;
}

// Descriptors one period of capture filled, to notify once the guard is dropped.
struct FilledDescriptors {
  WaveBuffer* items[kWaveQueueCapacity];
  int count;
};

// One device's descriptors and how far its head descriptor has been moved.
template <typename Stamp>
struct WavePump {
  WaveQueue queue;
  std::uint32_t headOffset;      // bytes of the head descriptor already moved
  std::uint64_t frames;          // taken by playPeriod, or offered to recordPeriod, since reset
  FinishedRing<Stamp> finished;  // playback
};

// Fills `out` from the queued descriptors and the rest with silence; a
// descriptor taken whole is finished and waits in `finished` with its end
// frame and `stampOf(descriptor)`.
template <typename Stamp, typename StampOf>
void playPeriod(WavePump<Stamp>& pump, std::uint8_t* out, std::uint32_t bytes,
                const WaveFormat& format, StampOf stampOf) {
  const std::uint32_t frameBytes = frameBytesOf(format);
  std::uint32_t written = 0;
  while (written < bytes && pump.queue.count > 0 && pump.finished.count < kWaveQueueCapacity) {
    WaveBuffer* b = frontWaveBuffer(pump.queue);
    const std::uint32_t n = std::min(b->bufferLength - pump.headOffset, bytes - written);
    std::memcpy(out + written, b->data + pump.headOffset, n);
    written += n;
    pump.headOffset += n;
    pump.frames += n / frameBytes;
    if (pump.headOffset >= b->bufferLength) {
      pump.headOffset = 0;
      finishFrontWaveBuffer(pump.queue);
      pushFinished(pump.finished, {b, pump.frames, stampOf(b)});
    }
  }
  writeSilence(out + written, bytes - written, format);
}

// Moves recorded audio into the queued descriptors; each one filled is
// finished, its bytesRecorded its length, and added to `filled`. Audio
// arriving while no descriptor is queued is lost, as on any device.
template <typename Stamp>
void recordPeriod(WavePump<Stamp>& pump, const std::uint8_t* in, std::uint32_t bytes,
                  const WaveFormat& format, FilledDescriptors& filled) {
  std::uint32_t taken = 0;
  while (taken < bytes && pump.queue.count > 0 && filled.count < kWaveQueueCapacity) {
    WaveBuffer* b = frontWaveBuffer(pump.queue);
    const std::uint32_t n = std::min(b->bufferLength - pump.headOffset, bytes - taken);
    std::memcpy(b->data + pump.headOffset, in + taken, n);
    taken += n;
    pump.headOffset += n;
    if (pump.headOffset >= b->bufferLength) {
      pump.headOffset = 0;
      finishFrontWaveBuffer(pump.queue);
      b->bytesRecorded = b->bufferLength;
      filled.items[filled.count++] = b;
    }
  }
  pump.frames += bytes / frameBytesOf(format);
}

// Forgets every descriptor (closing the device).
template <typename Stamp>
void cancelPump(WavePump<Stamp>& pump) {
  cancelWaveBuffers(pump.queue);
  pump.finished.head = 0;
  pump.finished.count = 0;
}

// The life of an SDL or a virtual device (a PipeWire one has more to it).
enum class DeviceState : std::uint8_t {
  Closed,
  Opened,   // not started
  Started,  // playback since its first descriptor, capture since startCapture
  Closing,  // being closed: no notification starts any more
};

// Who a device tells, copied under the backend's guard so that the call itself
// runs without it.
struct WaveClient {
  WaveDevice device;
  WaveCallback callback;
  std::uintptr_t user;
};

inline void notifyClient(const WaveClient& client, std::uint32_t message,
                         WaveBuffer* buffer = nullptr) {
  if (client.callback != nullptr)
    client.callback(client.device, message, client.user, reinterpret_cast<std::uintptr_t>(buffer),
                    0);
}

template <typename Device>
WaveDevice waveHandleOf(Device& device) {
  return reinterpret_cast<WaveDevice>(&device);
}

// Runs `op(expected)` if `handle` names `expected` and it is open; else
// kWaveBadDevice.
template <typename Device, typename Op>
int withOpenDevice(WaveDevice handle, Device& expected, bool open, Op op) {
  return handle == waveHandleOf(expected) && open ? op(expected) : kWaveBadDevice;
}

// The calls of one device that need nothing of a backend but its ways to the
// device, which it declares beside the device's type: withDevice(handle,
// device, op) runs op(device) under the backend's guard if the handle names
// the device and it is open (or answers kWaveBadDevice), and
// closeDevice(handle, device, closeMessage) closes it.
template <auto& device>
int prepareOn(WaveDevice handle, WaveBuffer* buffer) {
  return withDevice(handle, device, [&](auto&) { return prepareWaveBuffer(buffer); });
}
template <auto& device>
int queueOn(WaveDevice handle, WaveBuffer* buffer) {
  return withDevice(handle, device,
                    [&](auto& d) { return enqueueWaveBuffer(d.pump.queue, buffer); });
}
template <auto& device>
int releaseOn(WaveDevice handle, WaveBuffer* buffer) {
  return withDevice(handle, device, [&](auto&) { return releaseWaveBuffer(buffer); });
}
template <auto& device, std::uint32_t closeMessage>
int closeOn(WaveDevice handle) {
  return closeDevice(handle, device, closeMessage);
}

// The devices chosen by name (chooseWaveDevices), exactly as listed; empty for
// the system's default. Set before opening.
struct ChosenWaveDevices {
  std::string capture;
  std::string playback;
};
ChosenWaveDevices& chosenWaveDevices();

// A backend says it has lost its server or a device (and waits for it to come
// back), or has it again; waveHasSound() tells the unit.
void markWaveSoundLost(bool lost);
