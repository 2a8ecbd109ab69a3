#include "state/effect_settings.h"

EffectSettings effectSettings;

Shared<std::int32_t> echoMemory{4};
Shared<std::int32_t> downsampleMemory{0};
Shared<std::int32_t> delayLengthSamples{0};
Shared<std::int32_t> quitRequested{0};
Shared<std::int32_t> gainKnob{0};

void resetEffectSettings() {
  EffectSettings& s = effectSettings;
  s.echoBlocks = 0;
  s.slicerOn = 0;
  for (auto& step : s.slicerPattern) step = 0;
  s.reverseOn = 0;
  s.downsampleFactor = 0;
  s.flangerOn = 0;
  s.muteOn = 1;
  s.bypassOn = 0;
  s.gain = 1.0f;

  echoMemory = 4;
  downsampleMemory = 0;
  delayLengthSamples = 0;
  quitRequested = 0;
  gainKnob = 0;
}
