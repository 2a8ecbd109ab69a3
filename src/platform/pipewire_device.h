// The native backend's two devices as its files share them: the playback and
// the capture device, each with its stream, its state and its pump. The data
// thread processes them (pipewire_cycle.cpp); other threads open, close and
// hand it their calls (wave_audio_pipewire.cpp).
#pragma once

#include <pipewire/pipewire.h>

#include <atomic>
#include <cstdint>

#include "platform/wave_alignment.h"
#include "platform/wave_audio.h"
#include "platform/wave_pump.h"

namespace pipewire_devices {

// A device's life. The data thread moves it between the states it processes
// (Ready to Running), and into Unlinked and Closing; the thread that opens and
// closes it moves it out of Closed and back while the data thread leaves it
// alone.
enum class PwState : std::uint8_t {
  Closed,      // no stream; its handle is refused
  Connecting,  // being opened: its stream made and linked, not yet processed
  Unlinked,    // open, its node out of the graph (playback holding no prepared descriptor)
  Ready,       // processed; not started, no cycle run yet
  Waiting,     // processed, cycles run, not started (playback before its first descriptor)
  Started,     // capture since startCapture, no cycle run yet
  Running,     // started (playback: with its first descriptor) and cycling
  Lost,        // open, its stream gone with the server: the data thread leaves it alone
  Closing,     // being closed: the data thread leaves it alone
};

inline bool isOpen(PwState s) {
  return s != PwState::Closed && s != PwState::Connecting;
}
inline bool processed(PwState s) {
  return s >= PwState::Ready && s <= PwState::Running;
}
inline bool started(PwState s) {
  return s == PwState::Started || s == PwState::Running;
}
inline bool ranCycle(PwState s) {
  return s == PwState::Waiting || s == PwState::Running;
}

struct NoStamp {};

struct PwDevice {
  // Set while the device is closed, by the thread that opens it; then read only.
  pw_stream* stream;
  spa_hook listener;
  WaveClient client;
  WaveFormat format;
  std::uint32_t frameBytes;
  int isCapture;
  std::atomic<PwState> state;  // as every thread sees it

  // The data thread's own while open (other threads go through invoke).
  int prepared;      // descriptors prepared and not released
  PwState lostFrom;  // the state it was lost in, while Lost
  // Frames count from the cycle playback starts; a finished playback
  // descriptor waits only for capture's frames, so it keeps nothing beside it.
  WavePump<NoStamp> pump;
  DeviceCycle cycle;
};

extern PwDevice playback;
extern PwDevice capture;

inline PwState stateOf(const PwDevice& d) {
  return d.state.load(std::memory_order_acquire);
}

inline void enter(PwDevice& d, PwState s) {
  d.state.store(s, std::memory_order_release);
}

// Capture with startCapture, playback with its first descriptor.
inline void start(PwDevice& d) {
  const PwState s = stateOf(d);
  if (s == PwState::Ready) enter(d, PwState::Started);
  if (s == PwState::Waiting) enter(d, PwState::Running);
}

}  // namespace pipewire_devices

// The streams' process callbacks, on the data thread.
extern const pw_stream_events kPlaybackEvents;
extern const pw_stream_events kCaptureEvents;
