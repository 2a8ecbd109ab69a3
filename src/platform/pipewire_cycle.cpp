// The data thread's cycle: playback takes each period out of its descriptors,
// capture puts each into its own, and the two keep in step by the frames they
// have exchanged (see wave_audio_pipewire.cpp).
#include <algorithm>
#include <atomic>

#include "platform/pipewire_data_thread.h"
#include "platform/pipewire_device.h"
#include "platform/pipewire_microphone.h"
#include "platform/pipewire_stream.h"
#include "platform/wave_audio_pipewire_testing.h"

namespace {

using namespace pipewire_devices;

std::atomic<std::uint64_t> reportsOutOfStep{0};
std::atomic<std::uint64_t> realignments{0};

// The graph's clock at this cycle: its start (`now`) is the same for every
// stream one driver runs.
pw_time cycleOf(PwDevice& d) {
  pw_time t{};
  pw_stream_get_time_n(d.stream, &t, sizeof t);
  return t;
}

void enterCycle(PwDevice& d, const pw_time& t, std::uint32_t frames) {
  const PwState s = stateOf(d);
  d.cycle.previousNow = ranCycle(s) ? d.cycle.now : t.now;
  d.cycle.now = t.now;
  d.cycle.frames = frames;
  if (s == PwState::Ready) enter(d, PwState::Waiting);
  if (s == PwState::Started) enter(d, PwState::Running);
}

// Reports the finished playback descriptors that are due, oldest first: capture
// has moved as much audio, or capture is not live (stalled, gone, never
// opened), or it has been waited for too long.
void reportPlayback(bool captureLive) {
  auto& finished = playback.pump.finished;
  while (const auto* e = oldestFinished(finished)) {
    const bool caughtUp = captureLive && capture.pump.frames >= e->endFrame;
    const std::uint64_t block = e->buffer->bufferLength / playback.frameBytes;
    if (!reportDue(captureLive, caughtUp, playback.pump.frames,
                   e->endFrame + reportPatience(block)))
      return;
    // In step: the capture block of this period is the last one capture
    // completed (capture level with it, not a whole block ahead), so the
    // handler processes the period's own block, whichever cycle capture
    // completed it in.
    const bool inStep = caughtUp && capture.pump.frames < e->endFrame + block;
    if (!inStep) reportsOutOfStep.fetch_add(1, std::memory_order_relaxed);
    notifyClient(playback.client, kPlaybackDoneMessage,
                 popFinished(finished));  // may queue descriptors again
  }
}

void processPlayback(void*) {
  ProcessScope scope;
  PwDevice& d = playback;
  pw_buffer* b = pw_stream_dequeue_buffer(d.stream);
  if (b == nullptr) return;
  spa_data& data = b->buffer->datas[0];
  if (!processed(stateOf(d)) || data.data == nullptr) {
    data.chunk->size = 0;  // nothing: the server plays silence
    pw_stream_queue_buffer(d.stream, b);
    return;
  }
  const std::uint32_t bytes = requestedBytes(*b, d.frameBytes);
  const pw_time t = cycleOf(d);
  enterCycle(d, t, bytes / d.frameBytes);
  const WaveBuffer* playing = frontWaveBuffer(d.pump.queue);
  const std::uint64_t block = playing != nullptr ? playing->bufferLength / d.frameBytes : 0;
  const bool captureLive = stateOf(capture) == PwState::Running &&
                           captureLiveIn(d.cycle, capture.cycle, d.format.samplesPerSecond, block);
  // Playback starts with its first descriptor: no silence of the server's
  // before it, and the frames count from here.
  if (!started(stateOf(d)) && d.pump.queue.count > 0) {
    start(d);
    d.pump.frames = 0;
  }
  d.cycle.startFrames = d.pump.frames;
  auto* out = static_cast<std::uint8_t*>(data.data);
  playPeriod(d.pump, out, bytes, d.format, [](const WaveBuffer*) { return NoStamp{}; });
  fillChunk(data, bytes, d.frameBytes);
  b->size = bytes / d.frameBytes;
  keepForListening(out, bytes);
  pw_stream_queue_buffer(d.stream, b);
  reportPlayback(captureLive);
}

// Puts capture level with playback at the start of this cycle: a cycle the
// server did not deliver becomes silent in the descriptor being filled, which
// otherwise starts over at playback's place in its own, silent before it.
void realignCapture(std::uint64_t frames) {
  PwDevice& d = capture;
  if (WaveBuffer* head = frontWaveBuffer(d.pump.queue)) {
    const auto by = static_cast<std::int64_t>(frames - d.pump.frames);
    const CaptureMove move =
        moveCapture(by, frames, d.pump.headOffset, head->bufferLength, d.frameBytes);
    d.pump.headOffset = move.headOffset;
    writeSilence(head->data + move.silentFrom, move.headOffset - move.silentFrom, d.format);
  }
  d.pump.frames = frames;
  realignments.fetch_add(1, std::memory_order_relaxed);
}

void alignWithPlayback() {
  const PwDevice& p = playback;
  if (stateOf(p) != PwState::Running) return;
  const CaptureTarget target = captureTarget(p.cycle, p.pump.frames, capture.cycle);
  if (captureOffTarget(capture.pump.frames, target)) realignCapture(target.frames);
}

void processCapture(void*) {
  ProcessScope scope;
  PwDevice& d = capture;
  const pw_time t = cycleOf(d);
  FilledDescriptors filled{};
  bool aligned = false;
  // Every buffer the server has handed over: a cycle this thread came late for
  // leaves two, and one left queued would keep capture a cycle behind for good.
  while (pw_buffer* b = pw_stream_dequeue_buffer(d.stream)) {
    const spa_data& data = b->buffer->datas[0];
    if (started(stateOf(d)) && data.data != nullptr && data.chunk != nullptr) {
      const std::uint32_t offset = std::min(data.chunk->offset, data.maxsize);
      const std::uint32_t bytes = std::min(data.chunk->size, data.maxsize - offset);
      if (!aligned) {
        enterCycle(d, t, bytes / d.frameBytes);
        alignWithPlayback();
      }
      aligned = true;
      recordPeriod(d.pump, static_cast<const std::uint8_t*>(data.data) + offset, bytes, d.format,
                   filled);
    }
    pw_stream_queue_buffer(d.stream, b);
  }
  for (int i = 0; i < filled.count; ++i)
    notifyClient(d.client, kCaptureDataMessage, filled.items[i]);
  if (aligned && started(stateOf(playback))) reportPlayback(true);
}

}  // namespace

const pw_stream_events kPlaybackEvents = streamEvents(processPlayback);
const pw_stream_events kCaptureEvents = streamEvents(processCapture);

std::uint64_t pipewireReportsOutOfStep() {
  return reportsOutOfStep.load(std::memory_order_relaxed);
}

std::uint64_t pipewireCaptureRealignments() {
  return realignments.load(std::memory_order_relaxed);
}
