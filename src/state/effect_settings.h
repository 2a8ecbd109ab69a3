// The live effect settings and their companion values: written by the panel on
// the window thread, read by the effects chain on the audio thread.
#pragma once

#include <cstdint>

#include "state/shared_value.h"

constexpr int kSlicerSteps = 16;

struct EffectSettings {
  Shared<std::int32_t> echoBlocks{0};                  // 0, 1, 2, 4, 8 blocks; 0 = echo off
  Shared<std::int32_t> slicerOn{0};                    // 1 = slicer gate on
  Shared<std::uint8_t> slicerPattern[kSlicerSteps]{};  // 1 = step silenced
  Shared<std::int32_t> reverseOn{0};                   // nonzero = reverse source
  Shared<std::int32_t> downsampleFactor{0};            // 0, 2, 4, 8; 0 = downsampler off
  Shared<std::int32_t> flangerOn{0};                   // nonzero = both combs on
  Shared<std::int32_t> muteOn{1};                      // nonzero = output silenced
  Shared<std::int32_t> bypassOn{0};                    // 1 = dry input to the output
  Shared<float> gain{1.0f};                            // output multiplier, 0.0 ... 4.0
};

extern EffectSettings effectSettings;

extern Shared<std::int32_t> echoMemory;          // delay last chosen with the delay buttons
extern Shared<std::int32_t> downsampleMemory;    // factor last chosen with the downsampler buttons
extern Shared<std::int32_t> delayLengthSamples;  // blockSamples * echoBlocks
extern Shared<std::int32_t> quitRequested;       // 1 once the system is to stop
extern Shared<std::int32_t> gainKnob;            // knob offset below the top of the gain track, px

// Puts the settings and the companion values back to their initial values.
void resetEffectSettings();
