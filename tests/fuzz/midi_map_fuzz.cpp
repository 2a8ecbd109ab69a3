// Any text as a MIDI map file: the parser either names a bad line and why,
// leaving the map alone, or gives a map on one channel whose every binding is
// a message bound once to a control of the panel, gain on a control change only.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "midi/midi_map.h"
#include "panel/button_table.h"

namespace {

bool sameMessage(const MidiBinding& a, const MidiBinding& b) {
  return a.kind == b.kind && a.number == b.number;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MidiMap map;
  map = defaultMidiMap();
  MidiMapError error{0, ""};
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!parseMidiMap(text, &map, &error)) {
    FUZZ_CHECK(error.line >= 1);
    FUZZ_CHECK(!error.reason.empty() && error.reason.find('\n') == std::string::npos);
    FUZZ_CHECK(map.count == defaultMidiMap().count);
    return 0;
  }
  FUZZ_CHECK(map.channel >= 1 && map.channel <= 16);
  FUZZ_CHECK(map.count >= 0 && map.count <= kMidiBindingsMax);
  for (int i = 0; i < map.count; ++i) {
    const MidiBinding& binding = map.bindings[i];
    FUZZ_CHECK(binding.kind == MidiKind::Control || binding.kind == MidiKind::NoteOn ||
               binding.kind == MidiKind::Program);
    FUZZ_CHECK(binding.number <= 127);
    FUZZ_CHECK(binding.buttonId > NoButton && binding.buttonId <= kButtonCount);
    FUZZ_CHECK(binding.buttonId != Power && binding.buttonId != About);
    FUZZ_CHECK(binding.buttonId != GainTrack || binding.kind == MidiKind::Control);
    for (int j = 0; j < i; ++j) FUZZ_CHECK(!sameMessage(binding, map.bindings[j]));
    const MidiEvent event{binding.kind, map.channel, binding.number, 127};
    FUZZ_CHECK(midiBindingFor(map, event) == &binding);
  }
  return 0;
}
