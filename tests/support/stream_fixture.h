// A fresh stream on the virtual wave-audio devices for each test: initial
// settings and chain positions, the default profile, no buffers, no devices,
// and drain pauses of 0 ms so closing is instant.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/engine_reset.h"
#include "audio/audio_buffers.h"
#include "audio/audio_stream.h"
#include "audio/effects_chain.h"
#include "platform/memory.h"
#include "platform/wave_audio.h"
#include "platform/wave_audio_virtual.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useWaveBackend(&virtualWaveBackend);
    resetEngine();
    resetVirtualAudio();
    failAllocationNumber(0);
    drainPauseMilliseconds = 0;
  }
  void TearDown() override {
    stopVirtualAudioThread();
    resetEngine();
    failAllocationNumber(0);
    resetVirtualAudio();
  }

  // Opens capture and then playback with the current profile, as start-up does.
  void openBoth() {
    ASSERT_EQ(openInput(1, audioProfile.sampleRate, 16), kStreamOk);
    ASSERT_EQ(openOutput(1, audioProfile.sampleRate, 16), kStreamOk);
  }

  // Samples exchanged per block.
  std::size_t chunk() const { return static_cast<std::size_t>(exchangedBlockBytes() / 2); }

  // A capture source that hands out `signal` in order, then silence.
  static VirtualCaptureSource sourceOf(const std::vector<std::int16_t>& signal) {
    auto position = std::make_shared<std::size_t>(0);
    return [signal, position](std::int16_t* samples, std::size_t count) {
      for (std::size_t i = 0; i < count; ++i, ++*position)
        samples[i] = *position < signal.size() ? signal[*position] : 0;
    };
  }
};
