// MIDI control of the running unit, on the window thread: messages from the
// unit's MIDI input press the controls the map binds them to, exactly as keys
// do, and every change of a bound switch or of the preset goes back out to the
// controller's lights. The audio thread never sees any of it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

// The messages MIDI becomes on the window thread.
constexpr std::uint32_t kMsgMidiEvent = kMsgFirstPrivate + 3;   // lParam: packMidi
constexpr std::uint32_t kMsgMidiLinked = kMsgFirstPrivate + 4;  // the lights want the whole state

// Loads the map and makes the unit's MIDI nodes (on the native PipeWire
// backend; elsewhere there is no MIDI, and one line says so if `linkFrom` was
// asked for), linking `linkFrom` to the input whenever it is there.
void startMidiControl(WindowHandle window, const std::string& linkFrom);
void stopMidiControl();

// For every message before it is dispatched: true if it was one of the MIDI
// messages above, which it has then handled.
bool takeMidiMessage(WindowHandle window, const Message& msg);

// After every message: sends the lights whatever changed.
void publishMidiLights();
