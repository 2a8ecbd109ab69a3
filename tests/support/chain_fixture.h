// A fresh engine for each test: initial settings, the chosen profile, the
// audio buffers allocated and the chain's positions at their start values.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/engine_reset.h"
#include "audio/audio_buffers.h"
#include "audio/effects_chain.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

class ChainTest : public ::testing::Test {
 protected:
  void SetUpProfile(int profile) {
    resetEngine();
    selectAudioProfile(profile);
    ASSERT_EQ(allocateOutputBuffers(), 0);
    ASSERT_EQ(allocateInputBlocks(), 0);
    effectSettings.muteOn = 0;
    n = audioProfile.blockSamples;
    h = n >> 1;
    q = n >> 2;
  }
  void SetUp() override { SetUpProfile(0); }
  void TearDown() override { resetEngine(); }

  std::int16_t* in() { return inputBlocks[latestInputBlock]; }
  std::int16_t* out() { return outputBlocks[nextOutputBlock]; }
  void fillInput(std::int16_t v) { std::fill(in(), in() + n, v); }
  std::vector<std::int16_t> input() { return {in(), in() + n}; }
  std::vector<std::int16_t> output() { return {out(), out() + n}; }

  // Runs the chain once and returns what it wrote.
  std::vector<std::int16_t> run() {
    processBlock();
    return output();
  }

  void setEcho(std::int32_t blocks) {
    effectSettings.echoBlocks = blocks;
    delayLengthSamples = blocks * n;
  }

  std::int32_t n = 0, h = 0, q = 0;
};
