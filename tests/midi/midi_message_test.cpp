// Reading controllers' bytes into events, and writing events back as bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "midi/midi_message.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr MidiKind kNone = MidiKind::None;

bool operator==(const MidiEvent& a, const MidiEvent& b) {
  if (a.kind == kNone || b.kind == kNone) return a.kind == b.kind;
  return a.kind == b.kind && a.channel == b.channel && a.number == b.number && a.value == b.value;
}

TEST(MidiMessageTest, BytesToEvents) {
  const struct Case {
    Bytes bytes;
    MidiEvent event;
  } cases[] = {
      {{0x90, 36, 100}, {MidiKind::NoteOn, 1, 36, 100}},
      {{0x9f, 127, 1}, {MidiKind::NoteOn, 16, 127, 1}},
      {{0x93, 36, 0}, {MidiKind::NoteOff, 4, 36, 0}},  // velocity 0 lets go
      {{0x80, 36, 64}, {MidiKind::NoteOff, 1, 36, 64}},
      {{0xb1, 80, 127}, {MidiKind::Control, 2, 80, 127}},
      {{0xc0, 9}, {MidiKind::Program, 1, 9, 0}},
      {{0xc0, 9, 0xf8}, {MidiKind::Program, 1, 9, 0}},  // only its own bytes read
      {{}, {kNone, 0, 0, 0}},
      {{0x90, 36}, {kNone, 0, 0, 0}},       // short
      {{0xc0}, {kNone, 0, 0, 0}},           // short
      {{36, 100}, {kNone, 0, 0, 0}},        // running status
      {{0x90, 36, 128}, {kNone, 0, 0, 0}},  // data byte 128
      {{0xb0, 0xf8, 1}, {kNone, 0, 0, 0}},
      {{0xa0, 36, 10}, {kNone, 0, 0, 0}},      // key pressure
      {{0xd0, 10}, {kNone, 0, 0, 0}},          // channel pressure
      {{0xe0, 0, 64}, {kNone, 0, 0, 0}},       // pitch bend
      {{0xf8}, {kNone, 0, 0, 0}},              // clock
      {{0xf0, 0x7e, 0xf7}, {kNone, 0, 0, 0}},  // system exclusive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    // A copy of exactly the size, so the address sanitizer sees a read beyond it.
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[c.bytes.size()]);
    std::copy(c.bytes.begin(), c.bytes.end(), exact.get());
    EXPECT_TRUE(parseMidi(exact.get(), c.bytes.size()) == c.event);
    const std::uint32_t packed = packMidi(exact.get(), c.bytes.size());
    EXPECT_EQ(packed == 0, c.event.kind == kNone);
    EXPECT_TRUE(unpackMidi(packed) == c.event);
  }
}

TEST(MidiMessageTest, EventsToBytesAndBack) {
  const struct Case {
    MidiEvent event;
    Bytes bytes;
  } cases[] = {
      {{MidiKind::NoteOn, 1, 36, 127}, {0x90, 36, 127}},
      {{MidiKind::NoteOff, 16, 36, 0}, {0x8f, 36, 0}},
      {{MidiKind::Control, 10, 200, 129}, {0xb9, 72, 1}},  // modulo 128
      {{MidiKind::Program, 3, 9, 55}, {0xc2, 9}},
      {{MidiKind::None, 1, 1, 1}, {}},
      {{MidiKind::Control, 0, 1, 1}, {}},
      {{MidiKind::Control, 17, 1, 1}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    std::uint8_t out[3] = {};
    const std::size_t size = encodeMidi(c.event, out);
    EXPECT_EQ(Bytes(out, out + size), c.bytes);
    if (size == 0) continue;
    const MidiEvent back = parseMidi(out, size);
    EXPECT_EQ(back.kind, c.event.kind);
    EXPECT_EQ(back.number, c.event.number % 128);
    EXPECT_TRUE(unpackMidi(packMidi(out, size)) == back);
  }
}

}  // namespace
