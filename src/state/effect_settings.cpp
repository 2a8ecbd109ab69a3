#include "state/effect_settings.h"

#include "state/audio_profile.h"

namespace {

constexpr std::int32_t kInitialEchoMemory = 4;  // the echo switch's first delay: 1S

}  // namespace

constinit EffectSettings effectSettings{};

constinit Shared<std::int32_t> echoMemory{kInitialEchoMemory};
constinit Shared<std::int32_t> downsampleMemory{0};
constinit Shared<std::int32_t> delayLengthSamples{0};
constinit Shared<std::int32_t> quitRequested{0};
constinit Shared<std::int32_t> gainKnob{0};

void resetEffectSettings() {
  effectSettings = EffectSettings{};
  echoMemory = kInitialEchoMemory;
  for (Shared<std::int32_t>* zero :
       {&downsampleMemory, &delayLengthSamples, &quitRequested, &gainKnob})
    *zero = 0;
}

void setEchoBlocks(std::int32_t blocks) {
  effectSettings.echoBlocks = blocks;
  delayLengthSamples = audioProfile.blockSamples * blocks;
}
