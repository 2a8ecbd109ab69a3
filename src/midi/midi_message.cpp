#include "midi/midi_message.h"

namespace {

constexpr std::uint8_t kStatusBit = 0x80;
constexpr std::uint8_t kDataMask = 0x7f;

// The channel messages the unit knows, by the high nibble of their status byte.
struct MidiShape {
  std::uint8_t status;  // the high nibble, channel 0
  MidiKind kind;
  std::uint8_t bytes;  // status byte included
};

constexpr MidiShape kShapes[] = {
    {0x80, MidiKind::NoteOff, 3},
    {0x90, MidiKind::NoteOn, 3},
    {0xb0, MidiKind::Control, 3},
    {0xc0, MidiKind::Program, 2},
};

const MidiShape* shapeOfStatus(std::uint8_t status) {
  for (const MidiShape& shape : kShapes)
    if ((status & 0xf0) == shape.status) return &shape;
  return nullptr;
}

const MidiShape* shapeOfKind(MidiKind kind) {
  for (const MidiShape& shape : kShapes)
    if (shape.kind == kind) return &shape;
  return nullptr;
}

}  // namespace

MidiEvent parseMidi(const std::uint8_t* bytes, std::size_t size) {
  const MidiEvent none{MidiKind::None, 0, 0, 0};
  if (size == 0 || (bytes[0] & kStatusBit) == 0) return none;
  const MidiShape* shape = shapeOfStatus(bytes[0]);
  if (shape == nullptr || size < shape->bytes) return none;
  for (std::size_t i = 1; i < shape->bytes; ++i)
    if ((bytes[i] & kStatusBit) != 0) return none;
  MidiEvent event{shape->kind, static_cast<std::uint8_t>((bytes[0] & 0x0f) + 1), bytes[1], 0};
  if (shape->bytes == 3) event.value = bytes[2];
  if (event.kind == MidiKind::NoteOn && event.value == 0) event.kind = MidiKind::NoteOff;
  return event;
}

std::size_t encodeMidi(const MidiEvent& event, std::uint8_t out[3]) {
  const MidiShape* shape = shapeOfKind(event.kind);
  if (shape == nullptr || event.channel < 1 || event.channel > 16) return 0;
  out[0] = static_cast<std::uint8_t>(shape->status | (event.channel - 1));
  out[1] = event.number & kDataMask;
  if (shape->bytes == 3) out[2] = event.value & kDataMask;
  return shape->bytes;
}

std::uint32_t packMidi(const std::uint8_t* bytes, std::size_t size) {
  if (parseMidi(bytes, size).kind == MidiKind::None) return 0;
  std::uint32_t packed = bytes[0] | std::uint32_t{bytes[1]} << 8;
  if (shapeOfStatus(bytes[0])->bytes == 3) packed |= std::uint32_t{bytes[2]} << 16;
  return packed;
}

MidiEvent unpackMidi(std::uint32_t packed) {
  const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed),
                                 static_cast<std::uint8_t>(packed >> 8),
                                 static_cast<std::uint8_t>(packed >> 16)};
  return parseMidi(bytes, sizeof bytes);
}
