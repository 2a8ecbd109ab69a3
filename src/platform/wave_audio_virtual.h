// Virtual wave-audio devices: in-process playback and capture devices for tests
// and tools, behind the operations of platform/wave_audio.h. Select them with
// useWaveBackend(&virtualWaveBackend).
//
// Nothing runs by itself: each tickVirtualAudio() completes the oldest queued
// capture descriptor (filled from the capture source) and then the oldest queued
// playback descriptor (handed to the playback sink), notifying each on the
// calling thread, so a test steps a stream one block period at a time. The
// threaded mode calls the tick from a thread of its own instead.
//
// The devices carry 16-bit samples only. There is one playback device (the
// default one) and one capture device (number 0) unless set otherwise. All
// functions here may be called from any thread, except that a source or sink must
// not call back into the wave-audio operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/wave_audio.h"

// Forgets every device (without notifications), stops the tick thread and puts
// every choice below back to its default; counters and logs start from zero.
void resetVirtualAudio();

// How many devices the counts report. With 0 the direction has no device.
void setVirtualDeviceCounts(int playback, int capture);

// Sample rates the playback device accepts for query and open; empty (the
// default) accepts every playable rate. The capture device takes any.
void setVirtualPlaybackRates(std::vector<std::uint32_t> rates);

// Makes opening the playback and/or the capture device fail with kWaveError.
void setVirtualOpenFailures(bool playbackFails, bool captureFails);

// Fills `count` samples of a capture descriptor. Default: silence.
using VirtualCaptureSource = std::function<void(std::int16_t* samples, std::size_t count)>;
void setVirtualCaptureSource(VirtualCaptureSource source);

// Receives the samples of each finished playback descriptor. Default (null):
// they are collected, and takeVirtualPlayback() hands them over.
using VirtualPlaybackSink = std::function<void(const std::int16_t* samples, std::size_t count)>;
void setVirtualPlaybackSink(VirtualPlaybackSink sink);
std::vector<std::int16_t> takeVirtualPlayback();

// The next capture completions, in order, record only this many bytes each
// (capped at the descriptor's length; 0 records nothing). The bytes after them
// are left untouched. Later completions are full again.
void shortenVirtualCaptures(std::vector<std::uint32_t> bytesRecorded);

// Completes the oldest capture descriptor (once capture is started) and then the
// oldest playback descriptor. Returns which happened: bit 1 capture, bit 2
// playback. A started playback device with nothing queued counts an underrun.
constexpr int kVirtualCaptured = 1;
constexpr int kVirtualPlayed = 2;
int tickVirtualAudio();

// Threaded mode: a thread ticks every `periodMicroseconds` (0: back to back)
// until stopVirtualAudioThread().
void startVirtualAudioThread(int periodMicroseconds);
void stopVirtualAudioThread();

// What the devices were asked to do since the last reset.
struct VirtualAudioStats {
  std::vector<std::uint32_t> queriedRates;  // rate of every playback format query
  int playbackOpens = 0;                    // successful opens
  int captureOpens = 0;
  int playbackCloses = 0;
  int captureCloses = 0;
  WaveFormat playbackFormat{};  // format of the last successful open
  WaveFormat captureFormat{};
  std::vector<const WaveBuffer*> playbackQueued;  // every accepted queue call, in order
  std::vector<const WaveBuffer*> captureQueued;
  int prepares = 0;  // successful prepare calls, both directions
  int releases = 0;  // successful release calls, both directions
  int captureStarts = 0;
  int playbackHeld = 0;  // descriptors queued and not finished right now
  int captureHeld = 0;
  int playbackNotifications = 0;  // done and data notifications delivered
  int captureNotifications = 0;
  int underruns = 0;
};
VirtualAudioStats virtualAudioStats();
