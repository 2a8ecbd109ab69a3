#include "midi/midi_control.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "midi/midi_map.h"
#include "midi/midi_message.h"
#include "panel/button_table.h"
#include "panel/gain_knob.h"
#include "panel/panel_keys.h"
#include "panel/panel_render.h"
#include "platform/midi_ports.h"
#include "presets/preset_bank.h"
#include "state/effect_settings.h"

namespace {

MidiMap map{};
std::atomic<WindowHandle> midiWindow{nullptr};

// Whether each bound message is held down, so that a footswitch sending 127
// again and again presses once until it is let go.
bool held[kMidiBindingsMax];

// What the lights were last sent, by binding: -1 not yet.
std::int8_t litSent[kMidiBindingsMax];
std::int32_t presetSent = -1;

// --- From the controller ----------------------------------------------------------

void onReceived(const std::uint8_t* bytes, std::uint32_t size) {
  const std::uint32_t packed = packMidi(bytes, size);
  WindowHandle w = midiWindow.load(std::memory_order_relaxed);
  if (packed != 0 && w != nullptr) postMessage(w, kMsgMidiEvent, 0, packed);
}

void onLinked() {
  if (WindowHandle w = midiWindow.load(std::memory_order_relaxed))
    postMessage(w, kMsgMidiLinked, 0, 0);
}

// The knob's row for a controller value, 0 at the bottom of the track and 127
// at its top, as a drag there would place it.
std::int32_t knobRowFor(std::uint8_t value) {
  const std::int32_t span = kKnobTravel - kKnobFirstRow;
  return kKnobTravel - static_cast<std::int32_t>(std::lround(value * span / 127.0));
}

void act(WindowHandle window, const MidiBinding& b, const MidiEvent& e) {
  bool& down = held[&b - map.bindings];
  if (b.buttonId == GainTrack) {
    moveKnob(knobRowFor(e.value) - gainKnob);
    return;
  }
  const bool pressed = e.kind == MidiKind::Program || e.kind == MidiKind::NoteOn ||
                       (e.kind == MidiKind::Control && e.value >= 64);
  const bool wasDown = down;
  down = pressed && e.kind != MidiKind::Program;
  if (pressed && !wasDown) pressControl(window, b.buttonId);
}

// --- To the lights ----------------------------------------------------------------

void send(MidiKind kind, std::uint8_t number, std::uint8_t value) {
  std::uint8_t bytes[3];
  const std::size_t n = encodeMidi({kind, map.channel, number, value}, bytes);
  sendMidi(bytes, static_cast<std::uint32_t>(n));
}

void sendLight(const MidiBinding& b, bool on) {
  if (b.kind == MidiKind::Control) send(MidiKind::Control, b.number, on ? 127 : 0);
  if (b.kind == MidiKind::NoteOn)
    send(on ? MidiKind::NoteOn : MidiKind::NoteOff, b.number, on ? 127 : 0);
}

// The program change bound to the current preset's button, if any.
void sendPreset() {
  const std::int32_t id = Preset1 + presetBank.presetIndex;
  const MidiBinding* end = map.bindings + map.count;
  const MidiBinding* b = std::find_if(
      static_cast<const MidiBinding*>(map.bindings), end,
      [&](const MidiBinding& x) { return x.kind == MidiKind::Program && x.buttonId == id; });
  if (b != end) send(MidiKind::Program, b->number, 0);
}

void forgetLights() {
  std::fill(std::begin(litSent), std::end(litSent), -1);
  presetSent = -1;
}

}  // namespace

void startMidiControl(WindowHandle window, const std::string& linkFrom) {
  loadMidiMap(midiMapPath(), &map);
  std::fill(std::begin(held), std::end(held), false);
  forgetLights();
  midiWindow.store(window, std::memory_order_relaxed);
  if (openMidiPorts({onReceived, onLinked, linkFrom})) return;
  midiWindow.store(nullptr, std::memory_order_relaxed);
  // Without PipeWire's own library there is no MIDI; said only to whoever
  // asked for a source.
  if (!linkFrom.empty())
    std::fprintf(stderr, "zephyrix: --midi-from needs a PipeWire server; the unit has no MIDI\n");
}

void stopMidiControl() {
  closeMidiPorts();
  midiWindow.store(nullptr, std::memory_order_relaxed);
}

bool takeMidiMessage(WindowHandle window, const Message& msg) {
  if (msg.message == kMsgMidiLinked) {
    forgetLights();
    return true;
  }
  if (msg.message != kMsgMidiEvent) return false;
  const MidiEvent e = unpackMidi(msg.lParam);
  if (const MidiBinding* b = midiBindingFor(map, e)) act(window, *b, e);
  return true;
}

void publishMidiLights() {
  if (midiWindow.load(std::memory_order_relaxed) == nullptr) return;
  for (std::int32_t i = 0; i < map.count; ++i) {
    const MidiBinding& b = map.bindings[i];
    const int lit = b.kind == MidiKind::Program ? -1 : controlLight(b.buttonId);
    if (lit < 0 || lit == litSent[i]) continue;
    litSent[i] = static_cast<std::int8_t>(lit);
    sendLight(b, lit != 0);
  }
  if (presetSent != presetBank.presetIndex) {
    presetSent = presetBank.presetIndex;
    sendPreset();
  }
}
