// Which MIDI message presses which control of the panel: the default map, and
// the map file that replaces it ($XDG_CONFIG_HOME/zephyrix/midi.conf). A map
// listens on one channel.
//
// The file is plain text, one statement a line, `#` to the end of a line a
// comment, blank lines and spaces around words ignored:
//   channel 2              the channel listened on (1 ... 16; default 1)
//   cc 80 = echo           a control change presses a control (>= 64 down)
//   note 36 = bypass       a note presses it (note on down, note off up)
//   program 0 = preset 1   a program change presses it once
//   cc 7 = gain            a control change moves the gain knob (0 bottom ... 127 top)
// Controls: echo flanger slicer reverse downsampler mute bypass save,
// "delay up", "delay down", "downsampler up", "downsampler down",
// "preset 1" ... "preset 10", "step 1" ... "step 16", gain (cc only).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "midi/midi_message.h"

// At most one binding per message a channel can carry.
constexpr int kMidiBindingsMax = 3 * 128;

struct MidiBinding {
  MidiKind kind;          // Control, NoteOn (for a note's on and off) or Program
  std::uint8_t number;    // 0 ... 127
  std::int32_t buttonId;  // the control (ButtonId); GainTrack moves the knob
};

struct MidiMap {
  std::uint8_t channel;  // 1 ... 16
  std::int32_t count;
  MidiBinding bindings[kMidiBindingsMax];
};

// Program Change 0 ... 9 the preset buttons 1 ... 10; on channel 1, control
// changes 80 ... 86 Echo, Flanger, Slicer, Reverse, the downsampler switch,
// Mute, Bypass; 87/88 delay down/up, 89/90 downsampler down/up; 7 the gain knob.
const MidiMap& defaultMidiMap();

// The first bad line of a map file and what is wrong with it.
struct MidiMapError {
  int line;            // counted from 1
  std::string reason;  // e.g. "unknown control \"echoo\""
};

// Reads a map file's text into *map (replacing all of it). On the first bad
// line: false, *error says which and why, and *map is left as it was. A
// message bound twice, a number out of range, an unknown word or control and
// gain on anything but a control change are bad lines.
bool parseMidiMap(std::string_view text, MidiMap* map, MidiMapError* error);

// The binding `event` falls under on the map's channel (a note off under its
// note's binding), or null.
const MidiBinding* midiBindingFor(const MidiMap& map, const MidiEvent& event);

// Where the map file is: $XDG_CONFIG_HOME/zephyrix/midi.conf, or
// ~/.config/zephyrix/midi.conf; empty if neither variable is set.
std::string midiMapPath();

// The map the unit uses: the file's if there is one and it is good, else the
// default. A file that cannot be read (or is not a regular file, or is larger
// than 64 KiB) or has a bad line gets one line on stderr naming it (and the
// line) and why, "zephyrix: PATH:LINE: REASON; the default MIDI map stays".
// A missing file is no error.
void loadMidiMap(const std::string& path, MidiMap* map);
