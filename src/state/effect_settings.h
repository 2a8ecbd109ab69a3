// The live effect settings and their companion values: written by the panel on
// the window thread, read by the effects chain on the audio thread.
#pragma once

#include <cstdint>

#include "state/shared_value.h"

constexpr int kSlicerSteps = 16;

struct EffectSettings {
  Shared<std::int32_t> echoBlocks;                   // 0, 1, 2, 4, 8 blocks; 0 = echo off
  Shared<std::int32_t> slicerOn;                     // 1 = slicer gate on
  Shared<std::uint8_t> slicerPattern[kSlicerSteps];  // 1 = step silenced
  Shared<std::int32_t> reverseOn;                    // nonzero = reverse source
  Shared<std::int32_t> downsampleFactor;             // 0, 2, 4, 8; 0 = downsampler off
  Shared<std::int32_t> flangerOn;                    // nonzero = both combs on
  Shared<std::int32_t> muteOn;                       // nonzero = output silenced
  Shared<std::int32_t> bypassOn;                     // 1 = dry input to the output
  Shared<float> gain;                                // output multiplier, 0.0 ... 4.0
};

extern EffectSettings effectSettings;

extern Shared<std::int32_t> echoMemory;          // delay last chosen with the delay buttons
extern Shared<std::int32_t> downsampleMemory;    // factor last chosen with the downsampler buttons
extern Shared<std::int32_t> delayLengthSamples;  // blockSamples * echoBlocks
extern Shared<std::int32_t> quitRequested;       // 1 once the system is to stop
extern Shared<std::int32_t> gainKnob;            // knob offset below the top of the gain track, px

// One plain value for each setting and companion value, fields as above.
struct EffectSettingsValues {
  std::int32_t echoBlocks;
  std::int32_t slicerOn;
  std::uint8_t slicerPattern[kSlicerSteps];
  std::int32_t reverseOn;
  std::int32_t downsampleFactor;
  std::int32_t flangerOn;
  std::int32_t muteOn;
  std::int32_t bypassOn;
  float gain;
  std::int32_t echoMemory;
  std::int32_t downsampleMemory;
  std::int32_t delayLengthSamples;
  std::int32_t quitRequested;
  std::int32_t gainKnob;

  friend bool operator==(const EffectSettingsValues&, const EffectSettingsValues&) = default;
};

// What a process starts with, and what resetEffectSettings() puts back: every
// effect off, muted, unity gain. delayLengthSamples waits for the profile, which
// start-up chooses before it sets the length.
inline constexpr EffectSettingsValues kInitialEffectSettings = {
    .echoBlocks = 0,
    .slicerOn = 0,
    .slicerPattern = {},
    .reverseOn = 0,
    .downsampleFactor = 0,
    .flangerOn = 0,
    .muteOn = 1,
    .bypassOn = 0,
    .gain = 1.0f,
    .echoMemory = 4,
    .downsampleMemory = 0,
    .delayLengthSamples = 0,
    .quitRequested = 0,
    .gainKnob = 0,
};

// Stores every setting and companion value from `values`.
void storeEffectSettings(const EffectSettingsValues& values);

// Puts the settings and the companion values back to their initial values.
void resetEffectSettings();

// Sets the echo's delay in blocks together with its companion, the delay in
// samples of the current audio profile. Whoever changes the delay, or the
// profile under it, goes through here so the two never disagree.
void setEchoBlocks(std::int32_t blocks);
