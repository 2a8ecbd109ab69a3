// SDL's audio subsystem as the SDL wave-audio backend uses it: starting it,
// what SDL is asked for to carry a format, closing a device within a bounded
// time, and the watchdog thread that looks for lost devices.
#pragma once

#include <SDL.h>

#include "platform/wave_audio.h"

// Whether SDL's audio subsystem runs; starts it on the first call.
bool sdlAudioReady();

// What SDL is asked for to carry `format`, its callback `callback`.
SDL_AudioSpec sdlFormatFor(const WaveFormat* format, SDL_AudioCallback callback);

// Closes a device so that, once this returns, none of its callbacks runs or
// will run; a close that does not end within a bounded time is left to finish
// on a thread of its own.
void closeSdlDevice(SDL_AudioDeviceID id);

// A thread that calls `look` ten times a second until stopped; starting it
// while it runs does nothing.
void startSdlWatchdog(void (*look)());
void stopSdlWatchdog();
