// Real devices through PipeWire's own client library. Capture and playback are
// two streams of one context in one node group, so one graph driver paces both
// and both process callbacks run on the context's one data thread, one after
// the other: neither waits for the other, and nothing there locks, allocates or
// makes a system call of ours. Operations from other threads reach the devices'
// state through a blocking invoke on that thread, between two cycles, so the
// data thread owns the descriptors outright while a device is open.
//
// Playback and capture count the frames they move from the cycle playback
// starts, and every capture cycle checks that it is level with playback at the
// start of the same cycle (the graph's clock names the cycle); if not (at the
// start, after either device stalled or was moved), the capture descriptor
// being filled starts over at playback's place in its own. So a capture
// descriptor completes in the very cycle the playback descriptor of the same
// stretch of time does, and a finished playback descriptor is reported once
// capture has come that far (later in the same cycle, whichever of the two
// the graph runs first): the handler always processes the capture block of the
// same period, and the delay is the same at every start.
#include "platform/wave_audio_pipewire.h"
#include "platform/wave_audio_pipewire_testing.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/pipewire_connection.h"
#include "platform/wave_audio.h"
#include "platform/wave_queue.h"

namespace {

struct PwDevice {
  // Set while the device is closed, by the thread that opens it; then read only.
  pw_stream* stream;
  spa_hook listener;
  WaveCallback callback;
  std::uintptr_t user;
  WaveFormat format;
  std::uint32_t frameBytes;
  int isCapture;
  std::atomic<bool> open;  // as every thread sees it
  bool connected;          // a node in the graph (opening and closing threads only)

  // The data thread's own while open (other threads go through invoke).
  bool active;   // the stream runs our processing
  bool started;  // capture: since startCapture; playback: since its first descriptor
  int prepared;  // descriptors prepared and not released
  WaveQueue queue;
  std::uint32_t headOffset;        // bytes of the head descriptor already moved
  std::uint64_t frames;            // moved to or from descriptors since playback started
  bool ranCycle;                   // has processed a cycle
  std::uint64_t cycleTicks;        // the graph's clock at the last cycle processed
  std::uint64_t previousTicks;     // and at the one before
  std::int64_t cycleNow;           // when the last cycle was processed, monotonic ns
  std::uint64_t cycleFrames;       // frames the last cycle moved
  std::uint64_t cycleStartFrames;  // playback: frames before the last cycle
  std::uint64_t completionTicks;   // capture: the cycle its last descriptor completed in
  // Playback: finished descriptors waiting for capture, with the frame each
  // ended at and the cycle it did.
  WaveQueue finished;
  std::uint64_t endFrame[kWaveQueueCapacity];
  std::uint64_t endTicks[kWaveQueueCapacity];
};

PwDevice playback{};
PwDevice capture{};

// Chosen before opening; names as listed (node descriptions).
std::string chosenCapture, chosenPlayback;
bool asMicrophone = false;
bool listenToo = false;
std::string microphoneNode;

std::atomic<std::uint64_t> reportsOutOfStep{0};
std::atomic<std::uint64_t> realignments{0};

WaveDevice handleOf(PwDevice& d) {
  return reinterpret_cast<WaveDevice>(&d);
}

PwDevice* deviceOf(WaveDevice handle, PwDevice& expected) {
  return handle == handleOf(expected) && expected.open.load(std::memory_order_acquire) ? &expected
                                                                                       : nullptr;
}

void notify(PwDevice& d, std::uint32_t message, WaveBuffer* buffer) {
  if (d.callback != nullptr)
    d.callback(handleOf(d), message, d.user, reinterpret_cast<std::uintptr_t>(buffer), 0);
}

// Whether this thread is the data thread inside one of our process callbacks.
thread_local bool inProcess = false;

struct ProcessScope {
  ProcessScope() { inProcess = true; }
  ~ProcessScope() { inProcess = false; }
};

// Calls handed to the data thread, and how many of them it has finished.
std::mutex handingOver;  // one call at a time, from threads other than the data thread
std::atomic<std::uint64_t> callsFinished{0};

// Runs `op` on the data thread between two cycles, or right away from inside a
// process callback (a handler queuing a descriptor), and returns its result.
// The wait is ours, not the loop's: a signal that interrupts the loop's own
// blocking wait would let it return before the call has run.
template <typename Op>
int onDataThread(Op op) {
  if (inProcess) return op();
  std::lock_guard one(handingOver);
  struct Call {
    Op* op;
    int result;
  } call{&op, kWaveError};
  const std::uint64_t finished = callsFinished.load(std::memory_order_acquire);
  const int queued = pw_loop_invoke(
      pipewireDataLoop(),
      [](spa_loop*, bool, std::uint32_t, const void*, std::size_t, void* data) {
        Call& c = *static_cast<Call*>(data);
        c.result = (*c.op)();
        callsFinished.fetch_add(1, std::memory_order_release);
        callsFinished.notify_all();
        return 0;
      },
      SPA_ID_INVALID, nullptr, 0, false, &call);
  if (queued < 0) return kWaveError;
  for (std::uint64_t now = finished; now == finished;
       now = callsFinished.load(std::memory_order_acquire))
    callsFinished.wait(now, std::memory_order_acquire);
  return call.result;
}

// --- The cycle ---------------------------------------------------------------

// The graph's clock at this cycle, the same for every stream one driver runs,
// and the time it was read.
pw_time cycleOf(PwDevice& d) {
  pw_time t{};
  pw_stream_get_time_n(d.stream, &t, sizeof t);
  return t;
}

void enterCycle(PwDevice& d, const pw_time& t, std::uint32_t frames) {
  d.previousTicks = d.ranCycle ? d.cycleTicks : t.ticks;
  d.cycleTicks = t.ticks;
  d.cycleNow = t.now;
  d.cycleFrames = frames;
  d.ranCycle = true;
}

// The time a cycle of `frames` lasts at the device's rate, in nanoseconds.
std::int64_t cycleNanoseconds(const PwDevice& d, std::uint64_t frames) {
  return static_cast<std::int64_t>(frames * 1000000000 / std::max(1u, d.format.samplesPerSecond));
}

bool captureRunning() {
  return capture.active && capture.started && capture.ranCycle;
}

// How long a finished playback descriptor may wait for capture: three quarters
// of its own length. Capture that runs level never comes near it.
std::uint64_t patienceFrames(const WaveBuffer* b) {
  return std::uint64_t{b->bufferLength} / playback.frameBytes * 3 / 4;
}

// Reports the finished playback descriptors that are due, oldest first: capture
// has moved as much audio, or capture is not live (stalled, gone, never
// opened), or it has been waited for too long.
void reportPlayback(bool captureLive) {
  while (playback.finished.count > 0) {
    const int slot = playback.finished.head;
    WaveBuffer* b = frontWaveBuffer(playback.finished);
    const std::uint64_t end = playback.endFrame[slot];
    const bool caughtUp = captureLive && capture.frames >= end;
    const bool overdue = playback.frames >= end + patienceFrames(b);
    if (captureLive && !caughtUp && !overdue) return;
    // In step: the capture block of this period completed in the very cycle
    // this descriptor did, so the handler processes the period's own block.
    const bool inStep = caughtUp && capture.completionTicks == playback.endTicks[slot];
    if (!inStep) reportsOutOfStep.fetch_add(1, std::memory_order_relaxed);
    playback.finished.head = (slot + 1) % kWaveQueueCapacity;
    --playback.finished.count;
    notify(playback, kPlaybackDoneMessage, b);  // may queue descriptors again
  }
}

// Takes up to `bytes` from the queued descriptors into `out`; a descriptor
// taken whole is finished and waits in `finished` for its report.
std::uint32_t takePlayback(std::uint8_t* out, std::uint32_t bytes) {
  PwDevice& d = playback;
  std::uint32_t written = 0;
  while (written < bytes && d.queue.count > 0 && d.finished.count < kWaveQueueCapacity) {
    WaveBuffer* b = frontWaveBuffer(d.queue);
    const std::uint32_t n = std::min(b->bufferLength - d.headOffset, bytes - written);
    std::memcpy(out + written, b->data + d.headOffset, n);
    written += n;
    d.headOffset += n;
    d.frames += n / d.frameBytes;
    if (d.headOffset >= b->bufferLength) {
      d.headOffset = 0;
      finishFrontWaveBuffer(d.queue);
      const int slot = (d.finished.head + d.finished.count) % kWaveQueueCapacity;
      d.finished.items[slot] = b;
      d.endFrame[slot] = d.frames;
      d.endTicks[slot] = d.cycleTicks;
      ++d.finished.count;
    }
  }
  return written;
}

// What the speaker gets as well, when the playback device is a microphone node
// and the user listens: what the node played, a cycle or so later.
constexpr std::size_t kListenRingBytes = std::size_t{1} << 17;
std::uint8_t listenRing[kListenRingBytes];
std::uint64_t listenWritten = 0, listenRead = 0;  // data thread only
pw_stream* listenStream = nullptr;
spa_hook listenListener{};

void keepForListening(const std::uint8_t* bytes, std::uint32_t n) {
  if (listenStream == nullptr) return;
  for (std::uint32_t i = 0; i < n; ++i)
    listenRing[(listenWritten + i) % kListenRingBytes] = bytes[i];
  listenWritten += n;
  if (listenWritten - listenRead > kListenRingBytes) listenRead = listenWritten - kListenRingBytes;
}

void processListen(void*) {
  ProcessScope scope;
  pw_buffer* b = pw_stream_dequeue_buffer(listenStream);
  if (b == nullptr) return;
  spa_data& data = b->buffer->datas[0];
  const std::uint32_t frameBytes = std::max<std::uint32_t>(1, playback.frameBytes);
  std::uint32_t bytes =
      b->requested ? static_cast<std::uint32_t>(b->requested) * frameBytes : data.maxsize;
  bytes = std::min(bytes, data.maxsize) / frameBytes * frameBytes;
  auto* out = static_cast<std::uint8_t*>(data.data);
  std::uint32_t n = 0;
  for (; n < bytes && listenRead < listenWritten; ++n, ++listenRead)
    out[n] = listenRing[listenRead % kListenRingBytes];
  std::memset(out + n, 0, bytes - n);
  data.chunk->offset = 0;
  data.chunk->stride = static_cast<std::int32_t>(frameBytes);
  data.chunk->size = bytes;
  pw_stream_queue_buffer(listenStream, b);
}

void processPlayback(void*) {
  ProcessScope scope;
  PwDevice& d = playback;
  pw_buffer* b = pw_stream_dequeue_buffer(d.stream);
  if (b == nullptr) return;
  spa_data& data = b->buffer->datas[0];
  if (!d.active || data.data == nullptr) {
    data.chunk->size = 0;  // nothing: the server plays silence
    pw_stream_queue_buffer(d.stream, b);
    return;
  }
  std::uint32_t bytes =
      b->requested ? static_cast<std::uint32_t>(b->requested) * d.frameBytes : data.maxsize;
  bytes = std::min(bytes, data.maxsize) / d.frameBytes * d.frameBytes;
  const pw_time t = cycleOf(d);
  enterCycle(d, t, bytes / d.frameBytes);
  const std::uint64_t ticks = t.ticks;
  // Capture is live if it ran in this cycle (before us) or the one before (it
  // runs after us). The server normally runs both streams with one driver, as
  // they are one group; should it run them with two, capture is live if it ran
  // within the last two cycles of either. Otherwise the reports do not wait.
  const std::int64_t twoCycles =
      2 * cycleNanoseconds(d, std::max(d.cycleFrames, capture.cycleFrames));
  const bool captureLive =
      captureRunning() && (capture.cycleTicks == ticks || capture.cycleTicks == d.previousTicks ||
                           t.now - capture.cycleNow <= twoCycles);
  // Playback starts with its first descriptor: no silence of the server's
  // before it, and the frames count from here.
  if (!d.started && d.queue.count > 0) {
    d.started = true;
    d.frames = 0;
  }
  d.cycleStartFrames = d.frames;
  auto* out = static_cast<std::uint8_t*>(data.data);
  const std::uint32_t written = takePlayback(out, bytes);
  // An underrun is heard as silence.
  std::memset(out + written, d.format.bitsPerSample == 8 ? 0x80 : 0, bytes - written);
  data.chunk->offset = 0;
  data.chunk->stride = static_cast<std::int32_t>(d.frameBytes);
  data.chunk->size = bytes;
  b->size = bytes / d.frameBytes;
  keepForListening(out, bytes);
  pw_stream_queue_buffer(d.stream, b);
  reportPlayback(captureLive);
}

// Puts capture level with playback at the start of this cycle: the descriptor
// being filled starts over at playback's place in its own descriptor, the part
// before it silent.
void realignCapture(std::uint64_t base) {
  PwDevice& d = capture;
  if (WaveBuffer* head = frontWaveBuffer(d.queue)) {
    const std::uint64_t length = head->bufferLength / d.frameBytes;
    d.headOffset = static_cast<std::uint32_t>(base % length) * d.frameBytes;
    std::memset(head->data, 0, d.headOffset);
  }
  d.frames = base;
  realignments.fetch_add(1, std::memory_order_relaxed);
}

void alignWithPlayback(std::uint64_t ticks, std::uint64_t cycleFrames) {
  const PwDevice& p = playback;
  if (!p.active || !p.started || !p.ranCycle) return;
  // Where playback's count stood at this buffer's time on the graph's clock:
  // the buffer holds audio of that time, whether it arrives in the same cycle
  // or (after the server changed its cycle) one later.
  const std::int64_t offset = static_cast<std::int64_t>(ticks - p.cycleTicks);
  const auto cycle = static_cast<std::int64_t>(std::max(cycleFrames, p.cycleFrames));
  const bool oneClock = offset >= -4 * cycle && offset <= 4 * cycle;
  std::int64_t base = static_cast<std::int64_t>(p.frames);
  std::int64_t tolerance = 2 * cycle + static_cast<std::int64_t>(cycleFrames);
  if (oneClock) {
    base = static_cast<std::int64_t>(p.cycleStartFrames) + offset;
    // A resampled stream's frames may differ from the clock by a frame or two.
    tolerance = std::max<std::int64_t>(16, static_cast<std::int64_t>(cycleFrames) / 4);
  }
  // Otherwise the server runs the two streams with drivers of their own (at
  // the same rate, in cycles of their own lengths): only a real gap counts.
  base = std::max<std::int64_t>(0, base);
  const std::int64_t apart = static_cast<std::int64_t>(capture.frames) - base;
  if (apart > tolerance || apart < -tolerance) realignCapture(static_cast<std::uint64_t>(base));
}

// Moves one buffer of captured audio into the queued descriptors; each it
// fills is added to `filled`. Audio arriving while no descriptor is queued is
// lost, as on any device.
void takeCapture(const std::uint8_t* in, std::uint32_t bytes, std::uint64_t ticks,
                 WaveBuffer** filled, int& filledCount) {
  PwDevice& d = capture;
  std::uint32_t taken = 0;
  while (taken < bytes && d.queue.count > 0 && filledCount < kWaveQueueCapacity) {
    WaveBuffer* w = frontWaveBuffer(d.queue);
    const std::uint32_t n = std::min(w->bufferLength - d.headOffset, bytes - taken);
    std::memcpy(w->data + d.headOffset, in + taken, n);
    taken += n;
    d.headOffset += n;
    if (d.headOffset >= w->bufferLength) {
      d.headOffset = 0;
      finishFrontWaveBuffer(d.queue);
      w->bytesRecorded = w->bufferLength;
      filled[filledCount++] = w;
      d.completionTicks = ticks;
    }
  }
  d.frames += bytes / d.frameBytes;
}

void processCapture(void*) {
  ProcessScope scope;
  PwDevice& d = capture;
  const pw_time t = cycleOf(d);
  const std::uint64_t ticks = t.ticks;
  WaveBuffer* filled[kWaveQueueCapacity];
  int filledCount = 0;
  bool aligned = false;
  // Every buffer the server has handed over: a cycle this thread came late for
  // leaves two, and one left queued would keep capture a cycle behind for good.
  while (pw_buffer* b = pw_stream_dequeue_buffer(d.stream)) {
    const spa_data& data = b->buffer->datas[0];
    if (d.active && d.started && data.data != nullptr && data.chunk != nullptr) {
      const std::uint32_t offset = std::min(data.chunk->offset, data.maxsize);
      const std::uint32_t bytes = std::min(data.chunk->size, data.maxsize - offset);
      if (!aligned) {
        enterCycle(d, t, bytes / d.frameBytes);
        alignWithPlayback(ticks, bytes / d.frameBytes);
      }
      aligned = true;
      takeCapture(static_cast<const std::uint8_t*>(data.data) + offset, bytes, ticks, filled,
                  filledCount);
    }
    pw_stream_queue_buffer(d.stream, b);
  }
  for (int i = 0; i < filledCount; ++i) notify(d, kCaptureDataMessage, filled[i]);
  if (aligned && playback.active && playback.started) reportPlayback(true);
}

pw_stream_events streamEvents(void (*process)(void*)) {
  pw_stream_events events{};
  events.version = PW_VERSION_STREAM_EVENTS;
  events.process = process;
  return events;
}
const pw_stream_events kPlaybackEvents = streamEvents(processPlayback);
const pw_stream_events kCaptureEvents = streamEvents(processCapture);
const pw_stream_events kListenEvents = streamEvents(processListen);

// --- Devices -------------------------------------------------------------------

std::vector<PipewireNode> devicesOf(bool sources) {
  std::vector<PipewireNode> found;
  for (PipewireNode& n : pipewireNodes())
    if (n.isSource == sources) found.push_back(std::move(n));
  return found;
}

// The node.name of the device listed as `description`; empty for the default.
std::string nodeNamed(const std::string& description, bool source) {
  if (description.empty()) return "";
  for (const PipewireNode& n : devicesOf(source))
    if (n.description == description) return n.name;
  return description;  // perhaps a node.name itself
}

int countDevices(bool sources) {
  if (!pipewireConnected()) return 0;
  return static_cast<int>(devicesOf(sources).size());
}

int pwCountPlayback() {
  // A microphone node of our own needs no speaker.
  if (asMicrophone && pipewireConnected()) return 1;
  return countDevices(false);
}

int pwCountCapture() {
  return countDevices(true);
}

// The graph runs at one rate; a stream at that rate is never resampled, so its
// frames line up with the cycles exactly (and cost nothing to convert). So a
// rate is accepted if the graph runs at it or may switch to it; a graph at a
// rate of none of the usual kinds (96000 Hz, say) accepts every rate and the
// server converts.
bool rateAccepted(std::uint32_t rate) {
  const std::uint32_t graph = pipewireGraphRate();
  if (graph == 0 || rate == graph) return true;
  const std::vector<std::uint32_t> allowed = pipewireAllowedRates();
  if (std::find(allowed.begin(), allowed.end(), rate) != allowed.end()) return true;
  constexpr std::uint32_t kUsual[] = {32000, 44100, 48000};
  return std::find(std::begin(kUsual), std::end(kUsual), graph) == std::end(kUsual);
}

int pwQueryPlayback(const WaveFormat* format) {
  if (!isPlayableFormat(format)) return kWaveBadFormat;
  if (pwCountPlayback() <= 0) return kWaveBadDevice;
  return rateAccepted(format->samplesPerSecond) ? kWaveOk : kWaveBadFormat;
}

// "zephyrix_microphone", or with a number when another unit has that name.
void chooseMicrophoneName(std::string& name, std::string& description) {
  const std::vector<PipewireNode> nodes = pipewireNodes();
  for (int k = 1;; ++k) {
    name = "zephyrix_microphone";
    description = "Zephyrix";
    if (k > 1) {
      name.append("_").append(std::to_string(k));
      description.append(" ").append(std::to_string(k));
    }
    bool taken = false;
    for (const PipewireNode& n : nodes)
      taken = taken || n.name == name || n.description == description;
    if (!taken) return;
  }
}

pw_properties* streamProperties(bool isCapture) {
  pw_properties* props =
      pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY,
                        isCapture ? "Capture" : "Playback", PW_KEY_APP_NAME, "Zephyrix",
                        PW_KEY_NODE_NAME, "Zephyrix", PW_KEY_NODE_DESCRIPTION, "Zephyrix", nullptr);
  // One group: one driver paces both streams.
  pw_properties_setf(props, PW_KEY_NODE_GROUP, "zephyrix-%d", static_cast<int>(getpid()));
  return props;
}

pw_properties* microphoneProperties() {
  std::string description;
  chooseMicrophoneName(microphoneNode, description);
  pw_properties* props = streamProperties(false);
  pw_properties_set(props, PW_KEY_MEDIA_CLASS, "Audio/Source");
  pw_properties_set(props, PW_KEY_MEDIA_CATEGORY, nullptr);  // a device of its own, no stream
  pw_properties_set(props, PW_KEY_NODE_NAME, microphoneNode.c_str());
  pw_properties_set(props, PW_KEY_NODE_DESCRIPTION, description.c_str());
  // Runs whether or not anything records from it, so the unit goes on.
  pw_properties_set(props, PW_KEY_NODE_ALWAYS_PROCESS, "true");
  return props;
}

const spa_pod* formatParameter(spa_pod_builder* builder, const WaveFormat& f) {
  spa_audio_info_raw info{};
  info.format = f.bitsPerSample == 8 ? SPA_AUDIO_FORMAT_U8 : SPA_AUDIO_FORMAT_S16_LE;
  info.rate = f.samplesPerSecond;
  info.channels = f.channels;
  if (f.channels == 1) {
    info.position[0] = SPA_AUDIO_CHANNEL_MONO;
  } else {
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
  }
  return spa_format_audio_raw_build(builder, SPA_PARAM_EnumFormat, &info);
}

pw_stream* newStream(pw_properties* props, const pw_stream_events* events, void* data,
                     spa_hook* listener) {
  pw_stream* stream = pw_stream_new(pipewireCore(), "Zephyrix", props);
  if (stream != nullptr) pw_stream_add_listener(stream, listener, events, data);
  return stream;
}

// Links the stream into the graph as a node; with `autoconnect` the session
// manager links it to the chosen or the default device, and moves it when that
// goes. Caller holds the lock.
bool connectStream(pw_stream* stream, const WaveFormat& format, pw_direction direction,
                   bool autoconnect) {
  std::uint8_t buffer[1024];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  const spa_pod* params[] = {formatParameter(&builder, format)};
  const auto flags =
      static_cast<pw_stream_flags>((autoconnect ? PW_STREAM_FLAG_AUTOCONNECT : 0) |
                                   PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
  return pw_stream_connect(stream, direction, PW_ID_ANY, flags, params, 1) >= 0;
}

bool connectDevice(PwDevice& d) {
  const bool microphone = !d.isCapture && asMicrophone;
  return connectStream(d.stream, d.format, d.isCapture ? PW_DIRECTION_INPUT : PW_DIRECTION_OUTPUT,
                       !microphone);
}

// The data thread starts on the device afresh.
void activate(PwDevice& d) {
  onDataThread([&] {
    d.active = true;
    d.started = false;
    d.queue = WaveQueue{};
    d.finished = WaveQueue{};
    d.headOffset = 0;
    d.frames = 0;
    d.ranCycle = false;
    if (&d == &playback) listenRead = listenWritten = 0;
    return kWaveOk;
  });
}

int openDevice(PwDevice& d, int isCapture, WaveDevice* handle, const WaveFormat* format,
               WaveCallback callback, std::uintptr_t user) {
  if (handle == nullptr) return kWaveError;
  if (!isPlayableFormat(format)) return kWaveBadFormat;
  if (!pipewireConnected()) return kWaveBadDevice;
  if (d.open.load(std::memory_order_acquire)) return kWaveAllocated;
  const bool microphone = !isCapture && asMicrophone;
  pw_properties* props = microphone ? microphoneProperties() : streamProperties(isCapture);
  // A microphone node is linked to by others; the speaker chosen is where its
  // listening copy goes.
  const std::string target = nodeNamed(isCapture ? chosenCapture : chosenPlayback, isCapture);
  if (!microphone && !target.empty())
    pw_properties_set(props, PW_KEY_TARGET_OBJECT, target.c_str());

  // Nothing of this device is touched by the data thread until it is active.
  d.callback = callback;
  d.user = user;
  d.format = *format;
  d.frameBytes = std::max<std::uint32_t>(1, format->blockAlign);
  d.isCapture = isCapture;
  d.prepared = 0;
  {
    PipewireLock lock;
    d.stream = newStream(props, isCapture ? &kCaptureEvents : &kPlaybackEvents, &d, &d.listener);
    d.connected = d.stream != nullptr && connectDevice(d);
    if (d.connected && microphone && listenToo) {
      pw_properties* listen = streamProperties(false);
      if (!target.empty()) pw_properties_set(listen, PW_KEY_TARGET_OBJECT, target.c_str());
      listenStream = newStream(listen, &kListenEvents, nullptr, &listenListener);
      if (listenStream != nullptr &&
          !connectStream(listenStream, *format, PW_DIRECTION_OUTPUT, true)) {
        pw_stream_destroy(listenStream);
        listenStream = nullptr;
      }
    }
    if (d.stream != nullptr && !d.connected) {
      pw_stream_destroy(d.stream);
      d.stream = nullptr;
    }
  }
  if (d.stream == nullptr) {
    if (microphone) microphoneNode.clear();
    return kWaveError;
  }
  activate(d);
  d.open.store(true, std::memory_order_release);
  *handle = handleOf(d);
  notify(d, isCapture ? kCaptureOpenMessage : kPlaybackOpenMessage, nullptr);
  return kWaveOk;
}

int pwOpenPlayback(WaveDevice* handle, const WaveFormat* format, WaveCallback callback,
                   std::uintptr_t user) {
  if (pwCountPlayback() <= 0) return kWaveBadDevice;
  return openDevice(playback, 0, handle, format, callback, user);
}

int pwOpenCapture(WaveDevice* handle, int number, const WaveFormat* format, WaveCallback callback,
                  std::uintptr_t user) {
  // Device 0 is the chosen one, or the system's default; the others by the list.
  const std::vector<PipewireNode> sources = devicesOf(true);
  if (number < 0 || number >= static_cast<int>(sources.size())) return kWaveBadDevice;
  if (number > 0) chosenCapture = sources[static_cast<std::size_t>(number)].description;
  return openDevice(capture, 1, handle, format, callback, user);
}

template <typename Op>
int withDevice(WaveDevice handle, PwDevice& expected, Op op) {
  if (deviceOf(handle, expected) == nullptr) return kWaveBadDevice;
  return onDataThread([&] { return op(expected); });
}

bool isPrepared(const WaveBuffer* b) {
  return b != nullptr && (b->flags & kWaveBufferPrepared) != 0;
}

// A playback device that holds no prepared descriptor cannot play until one is
// prepared again, so its node leaves the graph at once (a microphone node then
// leaves the programs' lists while shut-down still drains), and comes back
// with the next prepared descriptor.
int pwPreparePlayback(WaveDevice h, WaveBuffer* b) {
  PwDevice& d = playback;
  const int r = withDevice(h, d, [&](PwDevice&) {
    const bool was = isPrepared(b);
    const int prepared = prepareWaveBuffer(b);
    if (prepared == kWaveOk && !was) ++d.prepared;
    return prepared;
  });
  if (r == kWaveOk && !d.connected) {
    {
      PipewireLock lock;
      d.connected = connectDevice(d);
    }
    if (d.connected) activate(d);
  }
  return r;
}
int pwQueuePlayback(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, playback, [&](PwDevice& d) { return enqueueWaveBuffer(d.queue, b); });
}
int pwReleasePlayback(WaveDevice h, WaveBuffer* b) {
  PwDevice& d = playback;
  int left = -1;
  const int r = withDevice(h, d, [&](PwDevice&) {
    const bool was = isPrepared(b);
    const int released = releaseWaveBuffer(b);
    if (released == kWaveOk && was) --d.prepared;
    left = d.prepared;
    if (left == 0) d.active = false;
    return released;
  });
  if (r == kWaveOk && left == 0 && d.connected) {
    PipewireLock lock;
    pw_stream_disconnect(d.stream);
    d.connected = false;
  }
  return r;
}
int pwPrepareCapture(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, capture, [&](PwDevice&) { return prepareWaveBuffer(b); });
}
int pwQueueCapture(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, capture, [&](PwDevice& d) { return enqueueWaveBuffer(d.queue, b); });
}
int pwReleaseCapture(WaveDevice h, WaveBuffer* b) {
  return withDevice(h, capture, [&](PwDevice&) { return releaseWaveBuffer(b); });
}
int pwStartCapture(WaveDevice h) {
  return withDevice(h, capture, [&](PwDevice& d) {
    d.started = true;
    return kWaveOk;
  });
}

int closeDevice(WaveDevice handle, PwDevice& d, std::uint32_t closeMessage) {
  if (deviceOf(handle, d) == nullptr) return kWaveBadDevice;
  // From here on no process callback of ours touches the device: the data
  // thread runs this between two cycles.
  onDataThread([&] {
    d.active = false;
    return kWaveOk;
  });
  {
    PipewireLock lock;
    pw_stream_destroy(d.stream);
    if (&d == &playback && listenStream != nullptr) {
      pw_stream_destroy(listenStream);
      listenStream = nullptr;
    }
  }
  d.stream = nullptr;
  cancelWaveBuffers(d.queue);
  cancelWaveBuffers(d.finished);
  if (&d == &playback) microphoneNode.clear();
  d.open.store(false, std::memory_order_release);
  notify(d, closeMessage, nullptr);
  return kWaveOk;
}

int pwClosePlayback(WaveDevice h) {
  return closeDevice(h, playback, kPlaybackCloseMessage);
}

int pwCloseCapture(WaveDevice h) {
  return closeDevice(h, capture, kCaptureCloseMessage);
}

int pwDeviceCount(int isCapture) {
  return countDevices(isCapture != 0);
}

const char* pwDeviceName(int isCapture, int index) {
  // Kept until the next call, as the caller copies the name at once.
  static std::string name;
  const std::vector<PipewireNode> nodes = devicesOf(isCapture != 0);
  if (index < 0 || index >= static_cast<int>(nodes.size())) return nullptr;
  name = nodes[static_cast<std::size_t>(index)].description;
  return name.c_str();
}

void pwChooseDevices(const char* captureName, const char* playbackName) {
  chosenCapture = captureName ? captureName : "";
  chosenPlayback = playbackName ? playbackName : "";
}

}  // namespace

const WaveBackend pipewireWaveBackend = {
    "pipewire",        pwCountPlayback, pwCountCapture,    pwQueryPlayback,  pwOpenPlayback,
    pwPreparePlayback, pwQueuePlayback, pwReleasePlayback, pwClosePlayback,  pwOpenCapture,
    pwPrepareCapture,  pwQueueCapture,  pwStartCapture,    pwReleaseCapture, pwCloseCapture,
    pwDeviceCount,     pwDeviceName,    pwChooseDevices,
};

bool pipewireAnswers() {
  return pipewireConnected();
}

void usePipewireMicrophone(bool listen) {
  asMicrophone = true;
  listenToo = listen;
}

std::string pipewireMicrophoneNodeName() {
  return playback.open.load(std::memory_order_acquire) ? microphoneNode : std::string();
}

std::uint64_t pipewireReportsOutOfStep() {
  return reportsOutOfStep.load(std::memory_order_relaxed);
}

std::uint64_t pipewireCaptureRealignments() {
  return realignments.load(std::memory_order_relaxed);
}
