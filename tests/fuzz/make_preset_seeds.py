#!/usr/bin/env python3
"""Writes the seed corpus of the preset file fuzzer into corpus/preset_file/.

Run from anywhere; the files are rewritten in place."""
import os
import struct

PRESETS, WORDS, STEPS = 10, 10, 16


def image(index, params, patterns, gains):
    out = struct.pack("<i", index)
    for record in params:
        out += struct.pack("<10i", *record)
    for record in patterns:
        out += bytes(record)
    for gain, carried in gains:
        out += struct.pack("<fI", gain, carried)
    assert len(out) == 644
    return out


def built_in():
    return image(0, [[0] * WORDS] * PRESETS, [[0] * STEPS] * PRESETS,
                 [(1.0, 0x3F800000)] * PRESETS)


def varied():
    echo, factor = [0, 1, 2, 4, 8], [0, 2, 4, 8]
    params = [[echo[p % 5], p & 1, p >> 1 & 1, factor[p % 4], p >> 2 & 1, 1, 0, 7 * p, -p, p << 20]
              for p in range(PRESETS)]
    patterns = [[(p + i) % 2 for i in range(STEPS)] for p in range(PRESETS)]
    gains = [(0.4 * p, 0x3F800000 + p) for p in range(PRESETS)]
    return image(9, params, patterns, gains)


def bad_values():
    params = [[3, 2, -1, 5, 7, 2, 2, -1, -1, -1], [16, 0, 0, -2, 0, 0, 0, 0, 0, 0]] + \
             [[-8, 0, 0, 1 << 30, 0, 0, 0, 0, 0, 0]] * (PRESETS - 2)
    patterns = [[2] * STEPS, [255] * STEPS] + [[0] * STEPS] * (PRESETS - 2)
    gains = [(float("nan"), 0), (float("inf"), 0), (-1.0, 0), (4.5, 0), (-0.0, 0xFFFFFFFF)] + \
            [(1e30, 0x7FC00000)] * (PRESETS - 5)
    return image(12, params, patterns, gains)


def main():
    directory = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "preset_file")
    os.makedirs(directory, exist_ok=True)
    seeds = {
        "built_in": built_in(),
        "varied": varied(),
        "bad_values": bad_values(),
        "short": varied()[:37],
        "long": varied() + b"\x01\x02\x03\x04",
    }
    for name, data in seeds.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
