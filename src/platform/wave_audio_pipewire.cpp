// Real devices through PipeWire's own client library. Capture and playback are
// two streams of one context in one node group, so one graph driver paces both
// and both process callbacks run on the context's one data thread, one after
// the other: neither waits for the other, and nothing there locks, allocates or
// makes a system call of ours. Operations from other threads reach the devices'
// state through a blocking invoke on that thread, between two cycles, so the
// data thread owns the descriptors outright while a device is open.
//
// Playback and capture count the frames they move from the cycle playback
// starts, and so keep in step by the frames they have exchanged: every capture
// cycle checks that its count is level with playback's at the start of the
// same cycle (named by the time the driver started it), which holds through
// any change of the cycle's length, rate or driver. Only where they really
// differ (at the start, after either device missed audio or was moved) the
// capture descriptor being filled starts over at playback's place in its own. So a capture
// descriptor completes in the very cycle the playback descriptor of the same
// stretch of time does, and a finished playback descriptor is reported once
// capture has come that far (later in the same cycle, whichever of the two
// the graph runs first): the handler always processes the capture block of the
// same period, and the delay is the same at every start.
#include "platform/wave_audio_pipewire.h"
#include "platform/wave_audio_pipewire_testing.h"

#include <pipewire/pipewire.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pipewire_connection.h"
#include "platform/pipewire_data_thread.h"
#include "platform/pipewire_device.h"
#include "platform/pipewire_keeper.h"
#include "platform/pipewire_microphone.h"
#include "platform/pipewire_stream.h"
#include "platform/wave_audio.h"
#include "platform/wave_pump.h"

// The devices and what other threads do with them; named in a namespace of
// their own, as the pump's operations find them there.
namespace pipewire_devices {

PwDevice playback{};
PwDevice capture{};

// Held while a device is opened, closed, or its stream dropped or made again.
std::mutex devicesLock;

// --- Devices -------------------------------------------------------------------

int pwDeviceCount(int isCapture) {
  if (!pipewireConnected()) return 0;
  const int listed = static_cast<int>(pipewireDevices(isCapture != 0).size());
  // A microphone node of our own needs no speaker.
  return !isCapture && microphoneChosen() ? std::max(1, listed) : listed;
}

const char* pwDeviceName(int isCapture, int index) {
  // Kept until the next call, as the caller copies the name at once.
  static std::string name;
  const std::vector<PipewireNode> nodes = pipewireDevices(isCapture != 0);
  if (index < 0 || index >= static_cast<int>(nodes.size())) return nullptr;
  name = nodes[static_cast<std::size_t>(index)].description;
  return name.c_str();
}

// Every rate is accepted: the server converts a stream at a rate other than
// its graph's, so the unit takes the same profile on every backend.
int pwQueryPlayback(const WaveFormat* format) {
  if (!isPlayableFormat(format)) return kWaveBadFormat;
  return pwDeviceCount(0) > 0 ? kWaveOk : kWaveBadDevice;
}

// Links the device's node into the graph; a microphone node is linked to by
// others. Caller holds the lock.
bool connectDevice(PwDevice& d) {
  const bool microphone = !d.isCapture && microphoneChosen();
  return connectStream(d.stream, d.format, d.isCapture ? PW_DIRECTION_INPUT : PW_DIRECTION_OUTPUT,
                       !microphone);
}

// The data thread starts on the device afresh.
void activate(PwDevice& d) {
  onDataThread([&] {
    d.pump = {};
    if (&d == &playback) restartListening();
    enter(d, PwState::Ready);
    return kWaveOk;
  });
}

// The device's stream, linked unless `link` is false; with a microphone node
// its listening stream too. False if the server would not take it.
bool makeStream(PwDevice& d, bool link) {
  const bool microphone = !d.isCapture && microphoneChosen();
  pw_properties* props = microphone ? microphoneProperties() : streamProperties(d.isCapture);
  // A microphone node is linked to by others; the speaker chosen is where its
  // listening copy goes.
  const ChosenWaveDevices& chosen = chosenWaveDevices();
  const std::string target =
      pipewireNodeNamed(d.isCapture ? chosen.capture : chosen.playback, d.isCapture);
  if (!microphone && !target.empty())
    pw_properties_set(props, PW_KEY_TARGET_OBJECT, target.c_str());
  PipewireLock lock;
  d.stream = newStream(props, d.isCapture ? &kCaptureEvents : &kPlaybackEvents, &d, &d.listener);
  const bool linked = d.stream != nullptr && (!link || connectDevice(d));
  if (linked && microphone) startListening(d.format, target);
  if (d.stream != nullptr && !linked) {
    pw_stream_destroy(d.stream);
    d.stream = nullptr;
  }
  return d.stream != nullptr;
}

void destroyStream(PwDevice& d) {
  PipewireLock lock;
  if (d.stream != nullptr) pw_stream_destroy(d.stream);
  d.stream = nullptr;
  if (&d == &playback) stopListening();
}

// The server went away: each open device's stream goes, the device stays open
// with its descriptors (those that finished are reported, as they played).
void dropStreams() {
  std::lock_guard devices(devicesLock);
  for (PwDevice* d : {&playback, &capture}) {
    if (!isOpen(stateOf(*d)) || stateOf(*d) == PwState::Lost) continue;
    onDataThread([&] {
      ProcessScope scope;  // a handler may queue again
      d->lostFrom = stateOf(*d);
      enter(*d, PwState::Lost);
      while (oldestFinished(d->pump.finished) != nullptr)
        notifyClient(d->client, kPlaybackDoneMessage, popFinished(d->pump.finished));
      return kWaveOk;
    });
    destroyStream(*d);
  }
}

// A server answers again: the lost devices' streams are made afresh (the
// microphone node under its old name), and both count their frames anew from
// the start of their head descriptors, so capture is put level with playback
// at their first cycle.
bool restoreStreams() {
  std::lock_guard devices(devicesLock);
  for (PwDevice* d : {&playback, &capture}) {
    if (stateOf(*d) != PwState::Lost) continue;
    const bool unlinked = d->lostFrom == PwState::Unlinked;
    if (!makeStream(*d, !unlinked)) return false;
    onDataThread([&] {
      // Each count starts where its head descriptor does (playback plays the
      // one it was in from its start again), so the two devices' descriptors
      // complete in the same cycles once capture is level.
      d->pump.frames = 0;
      d->pump.headOffset = 0;
      if (d == &playback) restartListening();
      const bool wasStarted = d->isCapture && started(d->lostFrom);
      enter(*d, unlinked ? PwState::Unlinked : wasStarted ? PwState::Started : PwState::Ready);
      return kWaveOk;
    });
  }
  return true;
}

int openDevice(PwDevice& d, int isCapture, WaveDevice* handle, const WaveFormat* format,
               WaveCallback callback, std::uintptr_t user) {
  if (handle == nullptr) return kWaveError;
  if (!isPlayableFormat(format)) return kWaveBadFormat;
  if (!pipewireConnected()) return kWaveBadDevice;
  std::lock_guard devices(devicesLock);
  if (isOpen(stateOf(d))) return kWaveAllocated;
  const bool microphone = !isCapture && microphoneChosen();

  // Nothing of this device is touched by the data thread until it is active.
  d.client = {waveHandleOf(d), callback, user};
  d.format = *format;
  d.frameBytes = frameBytesOf(*format);
  d.isCapture = isCapture;
  d.prepared = 0;
  enter(d, PwState::Connecting);
  if (!makeStream(d, true)) {
    if (microphone) forgetMicrophoneName();
    enter(d, PwState::Closed);
    return kWaveError;
  }
  activate(d);
  keepPipewireDevices({dropStreams, restoreStreams});
  *handle = waveHandleOf(d);
  notifyClient(d.client, isCapture ? kCaptureOpenMessage : kPlaybackOpenMessage);
  return kWaveOk;
}

int pwOpenPlayback(WaveDevice* handle, const WaveFormat* format, WaveCallback callback,
                   std::uintptr_t user) {
  if (pwDeviceCount(0) <= 0) return kWaveBadDevice;
  return openDevice(playback, 0, handle, format, callback, user);
}

int pwOpenCapture(WaveDevice* handle, int number, const WaveFormat* format, WaveCallback callback,
                  std::uintptr_t user) {
  // Device 0 is the chosen one, or the system's default; the others by the list.
  const std::vector<PipewireNode> sources = pipewireDevices(true);
  if (number < 0 || number >= static_cast<int>(sources.size())) return kWaveBadDevice;
  if (number > 0)
    chosenWaveDevices().capture = sources[static_cast<std::size_t>(number)].description;
  return openDevice(capture, 1, handle, format, callback, user);
}

// An open device's calls run on the data thread.
template <typename Op>
int withDevice(WaveDevice handle, PwDevice& expected, Op op) {
  return withOpenDevice(handle, expected, isOpen(stateOf(expected)),
                        [&](PwDevice& d) { return onDataThread([&] { return op(d); }); });
}
int closeDevice(WaveDevice handle, PwDevice& device, std::uint32_t closeMessage);

bool isPrepared(const WaveBuffer* b) {
  return b != nullptr && (b->flags & kWaveBufferPrepared) != 0;
}

// A playback device that holds no prepared descriptor cannot play until one is
// prepared again, so its node leaves the graph at once (a microphone node then
// leaves the programs' lists while shut-down still drains), and comes back
// with the next prepared descriptor.
int pwPreparePlayback(WaveDevice h, WaveBuffer* b) {
  bool unlinked = false;
  const int r = withDevice(h, playback, [&](PwDevice& d) {
    const bool was = isPrepared(b);
    const int prepared = prepareWaveBuffer(b);
    if (prepared == kWaveOk && !was) ++d.prepared;
    unlinked = stateOf(d) == PwState::Unlinked;
    return prepared;
  });
  if (r == kWaveOk && unlinked) {
    bool linked = false;
    {
      PipewireLock lock;
      linked = connectDevice(playback);
    }
    if (linked) activate(playback);
  }
  return r;
}

int pwReleasePlayback(WaveDevice h, WaveBuffer* b) {
  bool unlink = false;
  const int r = withDevice(h, playback, [&](PwDevice& d) {
    const bool was = isPrepared(b);
    const int released = releaseWaveBuffer(b);
    if (released == kWaveOk && was) --d.prepared;
    unlink = released == kWaveOk && d.prepared == 0 && processed(stateOf(d));
    if (unlink) enter(d, PwState::Unlinked);
    return released;
  });
  if (unlink) {
    PipewireLock lock;
    pw_stream_disconnect(playback.stream);
  }
  return r;
}

int pwStartCapture(WaveDevice h) {
  return withDevice(h, capture, [](PwDevice& d) {
    start(d);
    return kWaveOk;
  });
}

int closeDevice(WaveDevice handle, PwDevice& device, std::uint32_t closeMessage) {
  std::unique_lock devices(devicesLock);
  const int closed = withOpenDevice(handle, device, isOpen(stateOf(device)), [&](PwDevice& d) {
    // From here on no process callback of ours touches the device: the data
    // thread runs this between two cycles.
    onDataThread([&] {
      enter(d, PwState::Closing);
      return kWaveOk;
    });
    destroyStream(d);
    cancelPump(d.pump);
    if (&d == &playback) forgetMicrophoneName();
    enter(d, PwState::Closed);
    notifyClient(d.client, closeMessage);
    return kWaveOk;
  });
  const bool anyOpen = isOpen(stateOf(playback)) || isOpen(stateOf(capture));
  devices.unlock();
  if (!anyOpen) stopKeepingPipewireDevices({dropStreams, restoreStreams});
  return closed;
}

bool pwAnyOpen() {
  return isOpen(stateOf(playback)) || isOpen(stateOf(capture));
}

}  // namespace pipewire_devices

using namespace pipewire_devices;

const WaveBackend pipewireWaveBackend = {
    "pipewire",        pwDeviceCount,      pwDeviceName,
    pwQueryPlayback,   pwOpenPlayback,     pwPreparePlayback,
    queueOn<playback>, pwReleasePlayback,  closeOn<playback, kPlaybackCloseMessage>,
    pwOpenCapture,     prepareOn<capture>, queueOn<capture>,
    pwStartCapture,    releaseOn<capture>, closeOn<capture, kCaptureCloseMessage>,
    pwAnyOpen,
};

bool pipewireAnswers() {
  return pipewireConnected();
}

std::string pipewireMicrophoneNodeName() {
  return isOpen(stateOf(playback)) ? microphoneName() : std::string();
}
