// The descriptor bookkeeping both wave-audio backends share: flags and a small
// fixed ring of queued descriptors, so queuing never allocates. Callers hold
// their backend's lock around every call.
#pragma once

#include "platform/wave_audio.h"

constexpr int kWaveQueueCapacity = 16;

struct WaveQueue {
  WaveBuffer* items[kWaveQueueCapacity];
  int head;   // index of the oldest queued descriptor
  int count;  // descriptors queued
};

inline int prepareWaveBuffer(WaveBuffer* buffer) {
  if (buffer == nullptr || buffer->data == nullptr) return kWaveError;
  buffer->flags |= kWaveBufferPrepared;
  return kWaveOk;
}

inline int releaseWaveBuffer(WaveBuffer* buffer) {
  if (buffer == nullptr) return kWaveError;
  if (buffer->flags & kWaveBufferInQueue) return kWaveStillPlaying;
  buffer->flags &= ~kWaveBufferPrepared;
  return kWaveOk;
}

inline int enqueueWaveBuffer(WaveQueue& queue, WaveBuffer* buffer) {
  if (buffer == nullptr) return kWaveError;
  if (!(buffer->flags & kWaveBufferPrepared)) return kWaveUnprepared;
  if (buffer->flags & kWaveBufferInQueue) return kWaveStillPlaying;
  if (queue.count == kWaveQueueCapacity) return kWaveError;
  buffer->flags = (buffer->flags & ~kWaveBufferDone) | kWaveBufferInQueue;
  buffer->bytesRecorded = 0;
  queue.items[(queue.head + queue.count) % kWaveQueueCapacity] = buffer;
  ++queue.count;
  return kWaveOk;
}

inline WaveBuffer* frontWaveBuffer(const WaveQueue& queue) {
  return queue.count > 0 ? queue.items[queue.head] : nullptr;
}

// Takes the oldest descriptor off the queue and marks it finished.
inline WaveBuffer* finishFrontWaveBuffer(WaveQueue& queue) {
  WaveBuffer* buffer = frontWaveBuffer(queue);
  if (buffer == nullptr) return nullptr;
  queue.head = (queue.head + 1) % kWaveQueueCapacity;
  --queue.count;
  buffer->flags = (buffer->flags & ~kWaveBufferInQueue) | kWaveBufferDone;
  return buffer;
}

// Drops every queued descriptor, finished but not reported (closing a device).
inline void cancelWaveBuffers(WaveQueue& queue) {
  while (finishFrontWaveBuffer(queue) != nullptr) {
  }
  queue.head = 0;
}
