// The unit's own MIDI nodes on the native PipeWire backend: an input that any
// controller or program can be linked to ("zephyrix_control", described
// "Zephyrix control") and an output for a controller's lights
// ("zephyrix_feedback", "Zephyrix feedback"); a second unit's are numbered
// ("zephyrix_control_2", "Zephyrix control 2"). They live as long as the unit
// (the server removes them with its connection) and come back with the audio
// streams after a server restart. They are processed on the data thread with
// the audio, which only copies messages in and out through rings.
#pragma once

#include <cstdint>
#include <string>

struct MidiPorts {
  // A message that came in, one at a time and in order, on PipeWire's thread
  // (not a real-time one).
  void (*received)(const std::uint8_t* bytes, std::uint32_t size);
  // Something was linked to the output (at start too): the state it is to
  // show is to be sent whole. PipeWire's thread.
  void (*linked)();
  // A MIDI source linked to the input whenever it is there (a node's name or
  // description, or a port's name or alias); empty for none.
  std::string linkFrom;
};

// Makes the nodes, if the native PipeWire backend is the one in use and its
// server answers; false otherwise. Window thread.
bool openMidiPorts(const MidiPorts& ports);

// Queues one message (at most 3 bytes) for the output's next cycle; dropped
// when nothing is linked to it or the queue is full. Window thread.
void sendMidi(const std::uint8_t* bytes, std::uint32_t size);

// Removes the nodes. Window thread.
void closeMidiPorts();
