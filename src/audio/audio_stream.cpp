#include "audio/audio_stream.h"

#include <cstring>

#include "audio/audio_buffers.h"
#include "audio/effects_chain.h"
#include "platform/memory.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

WaveFormat outputFormat{};
WaveFormat inputFormat{};
WaveBuffer outputHeaders[2]{};
WaveBuffer inputHeaders[2]{};
WaveDevice outputDevice = nullptr;
WaveDevice inputDevice = nullptr;
Shared<std::int32_t> nextInputBlock{0};

constexpr std::int32_t kDrainPauseMilliseconds = 500;
Shared<std::int32_t> drainPauseMilliseconds{kDrainPauseMilliseconds};

namespace {

// Profiles after the default one, in the order the playback device is asked.
constexpr int kFallbackProfiles[] = {1, 2};

void bind(WaveBuffer& header, std::int16_t* block) {
  std::memset(&header, 0, sizeof header);
  header.data = reinterpret_cast<char*>(block);
  header.bufferLength = static_cast<std::uint32_t>(exchangedBlockBytes());
}

void drainPause() {
  pauseMilliseconds(drainPauseMilliseconds);
}

}  // namespace

void fillWaveFormat(WaveFormat& format, std::int32_t channels, std::int32_t rate,
                    std::int32_t bits) {
  format.formatTag = kWaveFormatPcm;
  format.channels = static_cast<std::uint16_t>(channels);
  format.samplesPerSecond = static_cast<std::uint32_t>(rate);
  format.blockAlign = static_cast<std::uint16_t>(static_cast<std::uint16_t>(channels) *
                                                 static_cast<std::uint16_t>(bits) / 8);
  format.averageBytesPerSecond = format.blockAlign * format.samplesPerSecond;
  format.bitsPerSample = static_cast<std::uint16_t>(bits);
  format.extraSize = 0;
}

int probeOutputFormat(std::int32_t channels, std::int32_t rate, std::int32_t bits) {
  if (countPlaybackDevices() == 0) return kStreamNoPlayback;
  fillWaveFormat(outputFormat, channels, rate, bits);
  if (queryPlaybackFormat(&outputFormat) == kWaveOk) return kStreamOk;
  for (int profile : kFallbackProfiles) {
    // The profile is put in place before its query, accepted or not.
    selectAudioProfile(profile);
    fillWaveFormat(outputFormat, channels, audioProfile.sampleRate, bits);
    if (queryPlaybackFormat(&outputFormat) == kWaveOk) return kStreamOk;
  }
  return kStreamNoPlayback;
}

int openOutput(std::int32_t channels, std::int32_t rate, std::int32_t bits) {
  if (countPlaybackDevices() == 0) return kStreamNoPlayback;
  fillWaveFormat(outputFormat, channels, rate, bits);
  if (allocateOutputBuffers() != 0) return kStreamNoMemory;
  if (openPlayback(&outputDevice, &outputFormat, onOutputDone, 0) != kWaveOk) {
    outputDevice = nullptr;
    return kStreamNoPlayback;
  }
  primeOutput();
  return kStreamOk;
}

void primeOutput() {
  bind(outputHeaders[0], outputBlocks[0]);
  bind(outputHeaders[1], outputBlocks[1]);
  nextOutputBlock = 0;
  preparePlaybackBuffer(outputDevice, &outputHeaders[0]);
  preparePlaybackBuffer(outputDevice, &outputHeaders[1]);
  queuePlaybackBuffer(outputDevice, &outputHeaders[0]);
  queuePlaybackBuffer(outputDevice, &outputHeaders[1]);
}

void onOutputDone(WaveDevice, std::uint32_t message, std::uintptr_t, std::uintptr_t,
                  std::uintptr_t) {
  if (message != kPlaybackDoneMessage) return;
  if (quitRequested != 0) return;
  const std::int32_t k = nextOutputBlock;
  // Without both input blocks (capture failed to open) the chain has nothing to
  // read; the output block keeps its zeros and plays silence.
  if (inputBlocks[0] != nullptr && inputBlocks[1] != nullptr) processBlock();
  queuePlaybackBuffer(outputDevice, &outputHeaders[k]);
  nextOutputBlock = 1 - k;
}

int openInput(std::int32_t channels, std::int32_t rate, std::int32_t bits) {
  if (countCaptureDevices() == 0) return kStreamNoCapture;
  fillWaveFormat(inputFormat, channels, rate, bits);
  if (allocateInputBlocks() != 0) return kStreamNoMemory;
  if (openCapture(&inputDevice, 0, &inputFormat, onInputData, 0) != kWaveOk) {
    inputDevice = nullptr;
    return kStreamNoCapture;
  }
  primeInput();
  return kStreamOk;
}

void primeInput() {
  bind(inputHeaders[0], inputBlocks[0]);
  bind(inputHeaders[1], inputBlocks[1]);
  nextInputBlock = 0;
  prepareCaptureBuffer(inputDevice, &inputHeaders[0]);
  prepareCaptureBuffer(inputDevice, &inputHeaders[1]);
  queueCaptureBuffer(inputDevice, &inputHeaders[0]);
  queueCaptureBuffer(inputDevice, &inputHeaders[1]);
  startCapture(inputDevice);
}

void onInputData(WaveDevice, std::uint32_t message, std::uintptr_t, std::uintptr_t,
                 std::uintptr_t) {
  if (message != kCaptureDataMessage) return;
  if (quitRequested != 0) return;
  const std::int32_t k = nextInputBlock;
  WaveBuffer& header = inputHeaders[k];
  // What the device did not record is silence, never samples left from an older
  // block; a block with nothing recorded is a silent block and keeps capture going.
  const std::uint32_t recorded = header.bytesRecorded;
  if (recorded < header.bufferLength)
    std::memset(header.data + recorded, 0, header.bufferLength - recorded);
  latestInputBlock = k;
  queueCaptureBuffer(inputDevice, &header);
  nextInputBlock = 1 - k;
}

void closeOutput() {
  if (outputDevice != nullptr) {
    drainPause();
    releasePlaybackBuffer(outputDevice, &outputHeaders[0]);
    releasePlaybackBuffer(outputDevice, &outputHeaders[1]);
    drainPause();
    // Closing drops whatever is still queued and returns only when the device no
    // longer touches any block, so the blocks can be freed below.
    closePlayback(outputDevice);
    outputDevice = nullptr;
  }
  freeOutputBuffers();
}

void closeInput() {
  if (inputDevice != nullptr) {
    drainPause();
    releaseCaptureBuffer(inputDevice, &inputHeaders[0]);
    releaseCaptureBuffer(inputDevice, &inputHeaders[1]);
    drainPause();
    closeCapture(inputDevice);
    inputDevice = nullptr;
  }
  freeInputBlocks();
}

void resetAudioStream() {
  outputFormat = WaveFormat{};
  inputFormat = WaveFormat{};
  std::memset(outputHeaders, 0, sizeof outputHeaders);
  std::memset(inputHeaders, 0, sizeof inputHeaders);
  outputDevice = nullptr;
  inputDevice = nullptr;
  nextInputBlock = 0;
  nextOutputBlock = 0;
  latestInputBlock = 0;
  drainPauseMilliseconds = kDrainPauseMilliseconds;
}
