// Settings of the native PipeWire wave-audio backend (platform/wave_audio.h)
// beyond the common operations.
#pragma once

#include <string>

// Whether a PipeWire server answers this process.
bool pipewireAnswers();

// The playback device becomes a source node of its own, which other programs
// (calls, browsers, recorders) list and record from as a microphone, instead of
// a stream to the speaker; with `listen` the same sound also goes to the
// speaker. Chosen before the playback device is opened.
void usePipewireMicrophone(bool listen);

// The node's name (node.name) while the playback device is open as a
// microphone; empty otherwise.
std::string pipewireMicrophoneNodeName();
