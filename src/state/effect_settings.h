// The live effect settings and their companion values: written by the panel on
// the window thread, read by the effects chain on the audio thread. What each
// setting may hold and how it is lettered is in state/settings_table.h.
#pragma once

#include <cstdint>

#include "state/shared_value.h"

constexpr int kSlicerSteps = 16;

// What a process starts with, and what resetEffectSettings() puts back: every
// effect off, muted, unity gain.
struct EffectSettings {
  Shared<std::int32_t> echoBlocks{0};                // 0, 1, 2, 4, 8 blocks; 0 = echo off
  Shared<std::int32_t> slicerOn{0};                  // 1 = slicer gate on
  Shared<std::uint8_t> slicerPattern[kSlicerSteps];  // 1 = step silenced; all 0 at start
  Shared<std::int32_t> reverseOn{0};                 // nonzero = reverse source
  Shared<std::int32_t> downsampleFactor{0};          // 0, 2, 4, 8; 0 = downsampler off
  Shared<std::int32_t> flangerOn{0};                 // nonzero = both combs on
  Shared<std::int32_t> muteOn{1};                    // nonzero = output silenced
  Shared<std::int32_t> bypassOn{0};                  // 1 = dry input to the output
  Shared<float> gain{1.0f};                          // output multiplier, 0.0 ... 4.0
};

extern EffectSettings effectSettings;

extern Shared<std::int32_t> echoMemory;        // delay last chosen with the delay buttons; 4
extern Shared<std::int32_t> downsampleMemory;  // factor last chosen with the downsampler buttons; 0
extern Shared<std::int32_t>
    delayLengthSamples;                     // blockSamples * echoBlocks; 0 until start-up sets it
extern Shared<std::int32_t> quitRequested;  // 1 once the system is to stop; 0
extern Shared<std::int32_t> gainKnob;       // knob offset below the top of the gain track, px; 0

// Puts the settings and the companion values back to their initial values.
void resetEffectSettings();

// Sets the echo's delay in blocks together with its companion, the delay in
// samples of the current audio profile. Whoever changes the delay, or the
// profile under it, goes through here so the two never disagree.
void setEchoBlocks(std::int32_t blocks);
