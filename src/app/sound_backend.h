// The way to the sound devices, chosen once before anything is opened: PipeWire's
// own library where a PipeWire server answers, SDL elsewhere (PulseAudio, ALSA)
// or when SDL_AUDIODRIVER names one of SDL's drivers; ZEPHYRIX_AUDIO=native or
// sdl decides instead. The unit as a microphone needs PipeWire. A sound system
// that does not answer within a few seconds is not waited for without limit:
// one line, and the process ends with kExitCannotStart.
#pragma once

constexpr int kBackendChosen = 0;
constexpr int kBackendMissing = 1;  // no PipeWire server for what was asked
constexpr int kBackendUnknown = 2;  // ZEPHYRIX_AUDIO names no backend

// Makes the choice the current wave-audio backend; any other result comes with
// one line on standard error.
int chooseSoundBackend(bool asMicrophone, bool listen);
