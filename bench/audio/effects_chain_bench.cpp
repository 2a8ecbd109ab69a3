// Cost of one run of the effects chain per profile and setting, beside the cost
// of merely copying a block, so the ratio holds on a noisy machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "app/engine_reset.h"
#include "audio/audio_buffers.h"
#include "audio/effects_chain.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

namespace {

enum Setting { AllOff, EchoOnly, FlangerOnly, Everything };

void prepare(int profile, Setting setting) {
  resetEngine();
  selectAudioProfile(profile);
  allocateOutputBuffers();
  allocateInputBlocks();
  const std::int32_t n = audioProfile.blockSamples;
  for (std::int32_t i = 0; i < n; ++i) {
    inputBlocks[0][i] = static_cast<std::int16_t>((i * 2654435761u) >> 17);
  }
  EffectSettings& s = effectSettings;
  s.muteOn = 0;
  if (setting == EchoOnly || setting == Everything) {
    setEchoBlocks(2);
  }
  if (setting == FlangerOnly || setting == Everything) s.flangerOn = 1;
  if (setting == Everything) {
    s.reverseOn = 1;
    s.slicerOn = 1;
    for (int k = 0; k < kSlicerSteps; ++k) s.slicerPattern[k] = (k % 3 == 0) ? 1 : 0;
    s.downsampleFactor = 2;
    s.gain = 2.0f;
  }
}

// Seconds of sound one block stands for.
double blockPeriod() {
  return static_cast<double>(exchangedBlockBytes()) / 2.0 / audioProfile.sampleRate;
}

void report(benchmark::State& state) {
  const double samples = static_cast<double>(audioProfile.blockSamples);
  const double runs = static_cast<double>(state.iterations());
  using C = benchmark::Counter;
  state.counters["per_sample"] = C(samples * runs, C::kIsRate | C::kInvert);
  state.counters["realtime_x"] = C(blockPeriod() * runs, C::kIsRate);
}

void BM_ProcessBlock(benchmark::State& state) {
  prepare(static_cast<int>(state.range(0)), static_cast<Setting>(state.range(1)));
  for (auto _ : state) {
    processBlock();
    benchmark::DoNotOptimize(outputBlocks[0][0]);
    benchmark::ClobberMemory();
  }
  report(state);
  freeOutputBuffers();
  freeInputBlocks();
}

void BM_CopyBlock(benchmark::State& state) {
  prepare(static_cast<int>(state.range(0)), AllOff);
  const std::int32_t n = audioProfile.blockSamples;
  for (auto _ : state) {
    std::copy(inputBlocks[0], inputBlocks[0] + n, outputBlocks[0]);
    benchmark::ClobberMemory();
  }
  report(state);
  freeOutputBuffers();
  freeInputBlocks();
}

}  // namespace

BENCHMARK(BM_CopyBlock)->ArgName("profile")->DenseRange(0, 2);
BENCHMARK(BM_ProcessBlock)
    ->ArgNames({"profile", "setting"})
    ->ArgsProduct({{0, 1, 2}, {AllOff, EchoOnly, FlangerOnly, Everything}});
