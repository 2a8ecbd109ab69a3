// One call that puts every subsystem's process-wide state back to how a fresh
// process finds it, for programs that start the unit more than once in one
// process (tests, benchmarks). It lives with the application shell, the one
// layer that sees every subsystem; it uses nothing of the shell itself.
#pragma once

#include "audio/audio_stream.h"
#include "audio/effects_chain.h"
#include "panel/panel_render.h"
#include "panel/window_procedure.h"
#include "presets/preset_bank.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

// Stops both completion handlers, closes whatever device is still open (with the
// drain pauses then in force) and frees every buffer, then restores the settings,
// the default profile, the chain's positions, the stream's records, the preset
// bank and the panel's pen state. The platform's own state (window system,
// wave-audio backend, test hooks) is left to the caller.
inline void resetEngine() {
  quitRequested = 1;
  closeOutput();
  closeInput();
  freePictureHeaders();
  resetAudioStream();
  resetEffectsChain();
  resetEffectSettings();
  selectAudioProfile(0);
  resetPresetBank();
  resetPanelState();
}
