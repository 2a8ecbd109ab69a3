// MIDI channel messages as the unit reads them from a controller and writes
// them back for its lights: note on and off, control change, program change.
// Pure data, no threads.
#pragma once

#include <cstddef>
#include <cstdint>

enum class MidiKind : std::uint8_t {
  None,     // not a message the unit acts on (system messages, pitch bend, ...)
  NoteOff,  // also a note on with velocity 0
  NoteOn,
  Control,  // control change
  Program,  // program change (value unused)
};

struct MidiEvent {
  MidiKind kind;
  std::uint8_t channel;  // 1 ... 16
  std::uint8_t number;   // note, controller or program, 0 ... 127
  std::uint8_t value;    // velocity or controller value, 0 ... 127
};

// The message in `bytes` (one whole message, status byte first, as a PipeWire
// MIDI control carries it). Anything short, with a data byte of 128 or more,
// without a status byte (running status) or of another kind is MidiKind::None.
MidiEvent parseMidi(const std::uint8_t* bytes, std::size_t size);

// The bytes of `event` in `out`: 3 for notes and control changes, 2 for a
// program change, 0 for MidiKind::None or a channel outside 1 ... 16. Numbers
// and values are taken modulo 128.
std::size_t encodeMidi(const MidiEvent& event, std::uint8_t out[3]);

// A channel message packed into one word (status | data1 << 8 | data2 << 16),
// so that it can travel in a window message; 0 is no message.
std::uint32_t packMidi(const std::uint8_t* bytes, std::size_t size);
MidiEvent unpackMidi(std::uint32_t packed);
