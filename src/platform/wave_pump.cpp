#include "platform/wave_pump.h"

int prepareWaveBuffer(WaveBuffer* buffer) {
  if (buffer == nullptr || buffer->data == nullptr) return kWaveError;
  buffer->flags |= kWaveBufferPrepared;
  return kWaveOk;
}

int releaseWaveBuffer(WaveBuffer* buffer) {
  if (buffer == nullptr) return kWaveError;
  if (buffer->flags & kWaveBufferInQueue) return kWaveStillPlaying;
  buffer->flags &= ~kWaveBufferPrepared;
  return kWaveOk;
}

int enqueueWaveBuffer(WaveQueue& queue, WaveBuffer* buffer) {
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

WaveBuffer* frontWaveBuffer(const WaveQueue& queue) {
  return queue.count > 0 ? queue.items[queue.head] : nullptr;
}

WaveBuffer* finishFrontWaveBuffer(WaveQueue& queue) {
  WaveBuffer* buffer = frontWaveBuffer(queue);
  if (buffer == nullptr) return nullptr;
  queue.head = (queue.head + 1) % kWaveQueueCapacity;
  --queue.count;
  buffer->flags = (buffer->flags & ~kWaveBufferInQueue) | kWaveBufferDone;
  return buffer;
}

void cancelWaveBuffers(WaveQueue& queue) {
  while (finishFrontWaveBuffer(queue) != nullptr) {
  }
  queue.head = 0;
}

std::uint8_t silenceByte(const WaveFormat& format) {
  return format.bitsPerSample == 8 ? 0x80 : 0;
}

void writeSilence(void* to, std::size_t bytes, const WaveFormat& format) {
  std::memset(to, silenceByte(format), bytes);
}

std::uint32_t frameBytesOf(const WaveFormat& format) {
  return std::max<std::uint32_t>(1, format.blockAlign);
}

ChosenWaveDevices& chosenWaveDevices() {
  static ChosenWaveDevices chosen;
  return chosen;
}
