// The device stream: chooses the audio format with the playback device, opens
// capture and playback, primes two blocks in each direction and keeps them
// circulating from the two completion handlers, then drains and closes.
//
// The capture handler marks the block just recorded as the newest and queues it
// again; the playback handler runs the effects chain from the newest input block
// into the output block that has just played and queues that again, so the
// playback device's clock paces all processing.
#pragma once

#include <cstdint>

#include "platform/wave_audio.h"
#include "state/shared_value.h"

extern WaveFormat outputFormat;
extern WaveFormat inputFormat;
extern WaveBuffer outputHeaders[2];  // bound to outputBlocks[k] for the whole run
extern WaveBuffer inputHeaders[2];   // bound to inputBlocks[k] for the whole run
extern WaveDevice outputDevice;      // null until opened
extern WaveDevice inputDevice;

// Input block whose completion the capture handler expects next, 0 or 1.
extern Shared<std::int32_t> nextInputBlock;

// How long each drain pause of the close operations lasts, in ms (500). Long
// enough for the blocks still queued to play out; tests shorten it.
extern Shared<std::int32_t> drainPauseMilliseconds;

// Result codes of the open operations.
constexpr int kStreamOk = 0;
constexpr int kStreamNoMemory = 1;    // a buffer was not allocated
constexpr int kStreamNoPlayback = 2;  // no playback device, or it refused
constexpr int kStreamNoCapture = 3;   // no capture device, or it refused

// Fills a wave-format record for linear PCM.
void fillWaveFormat(WaveFormat& format, std::int32_t channels, std::int32_t rate,
                    std::int32_t bits);

// Chooses the profile: the first of 32000, 48000 and 44100 Hz that the default
// playback device accepts. 0, or 2 when there is no device or none is accepted.
int probeOutputFormat(std::int32_t channels, std::int32_t rate, std::int32_t bits);

// Allocate the blocks (and, for output, the chain's buffers), open the device
// and prime it. Results as above; whatever was allocated stays until the close.
int openInput(std::int32_t channels, std::int32_t rate, std::int32_t bits);
int openOutput(std::int32_t channels, std::int32_t rate, std::int32_t bits);

// Bind both descriptors of a direction to their blocks and queue them, 0 then 1.
void primeOutput();
void primeInput();

// The completion handlers, given to the devices.
void onOutputDone(WaveDevice device, std::uint32_t message, std::uintptr_t user,
                  std::uintptr_t param1, std::uintptr_t param2);
void onInputData(WaveDevice device, std::uint32_t message, std::uintptr_t user,
                 std::uintptr_t param1, std::uintptr_t param2);

// Drain, release and close the device if it was opened, then free its buffers.
// Called after quitRequested is set: output first, then input.
void closeOutput();
void closeInput();

// Puts formats, descriptors, handles and block indices back to their initial
// values and the drain pause to 500 ms (for tests; buffers must be freed first).
void resetAudioStream();
