// The unit as a microphone (usePipewireMicrophone): the playback device of the
// native PipeWire backend becomes a source node of its own, named apart from
// any other unit's, and with listening the same sound goes to the speaker too,
// through a stream of its own fed from a ring of what the node played.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wave_audio.h"

struct pw_properties;

// Whether the playback device is to be a microphone node.
bool microphoneChosen();

// The node's properties: "zephyrix_microphone" ("Zephyrix"), or with a number
// when another node has that name. The names hold until forgetMicrophoneName,
// also when the node is made again.
pw_properties* microphoneProperties();
const std::string& microphoneName();
void forgetMicrophoneName();

// With listening chosen, links a stream carrying `format` to the speaker
// `target` (empty: the default). Caller holds the lock; the data thread does
// not feed it before restartListening.
void startListening(const WaveFormat& format, const std::string& target);
void stopListening();  // caller holds the lock

// The data thread's: forgets what it kept, and keeps what the node played
// (nothing without a listening stream).
void restartListening();
void keepForListening(const std::uint8_t* bytes, std::uint32_t n);
