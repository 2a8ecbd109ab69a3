#include "state/effect_settings.h"

#include "state/audio_profile.h"

#include <utility>

namespace {

// The settings as constant data, so the process starts with them before any code
// runs; the pattern is spelled out step by step because its words are atomics.
template <std::size_t... Step>
constexpr EffectSettings settingsFrom(const EffectSettingsValues& v, std::index_sequence<Step...>) {
  return {
      .echoBlocks = v.echoBlocks,
      .slicerOn = v.slicerOn,
      .slicerPattern = {v.slicerPattern[Step]...},
      .reverseOn = v.reverseOn,
      .downsampleFactor = v.downsampleFactor,
      .flangerOn = v.flangerOn,
      .muteOn = v.muteOn,
      .bypassOn = v.bypassOn,
      .gain = v.gain,
  };
}

}  // namespace

constinit EffectSettings effectSettings =
    settingsFrom(kInitialEffectSettings, std::make_index_sequence<kSlicerSteps>());

constinit Shared<std::int32_t> echoMemory{kInitialEffectSettings.echoMemory};
constinit Shared<std::int32_t> downsampleMemory{kInitialEffectSettings.downsampleMemory};
constinit Shared<std::int32_t> delayLengthSamples{kInitialEffectSettings.delayLengthSamples};
constinit Shared<std::int32_t> quitRequested{kInitialEffectSettings.quitRequested};
constinit Shared<std::int32_t> gainKnob{kInitialEffectSettings.gainKnob};

void storeEffectSettings(const EffectSettingsValues& v) {
  EffectSettings& s = effectSettings;
  s.echoBlocks = v.echoBlocks;
  s.slicerOn = v.slicerOn;
  for (int i = 0; i < kSlicerSteps; ++i) s.slicerPattern[i] = v.slicerPattern[i];
  s.reverseOn = v.reverseOn;
  s.downsampleFactor = v.downsampleFactor;
  s.flangerOn = v.flangerOn;
  s.muteOn = v.muteOn;
  s.bypassOn = v.bypassOn;
  s.gain = v.gain;
  echoMemory = v.echoMemory;
  downsampleMemory = v.downsampleMemory;
  delayLengthSamples = v.delayLengthSamples;
  quitRequested = v.quitRequested;
  gainKnob = v.gainKnob;
}

void resetEffectSettings() {
  storeEffectSettings(kInitialEffectSettings);
}

void setEchoBlocks(std::int32_t blocks) {
  effectSettings.echoBlocks = blocks;
  delayLengthSamples = audioProfile.blockSamples * blocks;
}
