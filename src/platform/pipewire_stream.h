// The streams of the native PipeWire backend: their properties, their format,
// linking them into the graph, and the buffers their process callbacks fill.
#pragma once

#include <pipewire/pipewire.h>

#include <cstdint>

#include "platform/wave_audio.h"

// A stream of the unit's, capture or playback. All of them are one node group,
// so one driver paces them all.
pw_properties* streamProperties(bool isCapture);

// A stream whose events (`events`, for `data`) go to `listener`; null if none
// could be made. Caller holds the lock.
pw_stream* newStream(pw_properties* props, const pw_stream_events* events, void* data,
                     spa_hook* listener);

// Links the stream into the graph as a node carrying `format`; with
// `autoconnect` the session manager links it to the chosen or the default
// device, and moves it when that goes. Caller holds the lock.
bool connectStream(pw_stream* stream, const WaveFormat& format, pw_direction direction,
                   bool autoconnect);

pw_stream_events streamEvents(void (*process)(void*));

// The bytes a playback buffer is to carry: what the server asked for (or the
// whole buffer), in whole frames.
std::uint32_t requestedBytes(const pw_buffer& buffer, std::uint32_t frameBytes);

// Says that `bytes` of the buffer's data, from its start, are to be played.
void fillChunk(spa_data& data, std::uint32_t bytes, std::uint32_t frameBytes);
