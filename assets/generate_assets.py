#!/usr/bin/env python3
"""Draws the Zephyrix panel artwork and writes it as BMP (and PNG icon) files,
with the panel's geometry as a C++ header.

Rebuild with:   python3 assets/generate_assets.py
(from the repository root, or pass the output folder as the only argument).
Plain Python 3, standard library only. The output is deterministic, and every
file it writes is committed: the build embeds the BMP files into the program,
and the C++ reads the geometry from the header.

Files written:
  skinOff.bmp, skinOn.bmp   240 x 271, 8 bpp: the panel unlit / every control lit
  displayStrip.bmp          144 x 24, 8 bpp: readout cells, two rows of four 36 x 12
  knobImage.bmp             16 x 4, 24 bpp: the gain knob
  icon32.bmp, icon16.bmp    8 bpp application icons for the window
  iconN.png                 the icon with alpha at the desktop's sizes (ICON_SIZES)
  panel_geometry.h          the geometry section below, for the C++
  panel_buttons.h           the buttons' ids and names, in the order of the geometry

Skin coordinates are window coordinates minus 26 rows. Every control is drawn
inside its hot rectangle, and the lit skin equals the unlit one outside them.
"""

import math
import os
import struct
import sys
import zlib

# ================================================================ geometry
# Every place and size that the program needs as well as the artwork. This is
# their only home: main() writes them out as panel_geometry.h, which the C++
# includes, so change them here and regenerate. Window coordinates unless a
# name says skin; the skin starts SKIN_TOP rows down the window.

SKIN_W, SKIN_H = 240, 271
SKIN_TOP = 26          # window rows above the desktop's client area, never drawn
SKIN_ROWS_SHOWN = 269  # skin rows the window shows; the last two never are
WINDOW_W, WINDOW_H = SKIN_W, SKIN_TOP + SKIN_ROWS_SHOWN

KNOB_W, KNOB_H = 16, 4
KNOB_TRAVEL = 108              # gainKnob runs from 0 (x4, top) to this (x0, bottom)
KNOB_UNITY = KNOB_TRAVEL // 2  # gainKnob of x1

# Hot rectangles (x, y, w, h) in button id order from 1, with the names the
# C++ calls the buttons by (panel_buttons.h: the ButtonId values).
BUTTONS = [
    ("Power", (214, 246, 21, 21)), ("Mute", (189, 222, 21, 21)),
    ("Echo", (25, 145, 41, 21)), ("Bypass", (214, 222, 21, 21)),
    ("Reverse", (148, 145, 41, 21)), ("Flanger", (66, 145, 41, 21)),
    ("DownsamplerSwitch", (121, 246, 21, 21)), ("Slicer", (107, 145, 41, 21)),
    ("Save", (189, 246, 21, 21)), ("About", (0, 271, 240, 24)),
] + [("Preset%d" % (i + 1), (130 + 21 * (i % 5), 30 + 21 * (i // 5), 21, 21)) for i in range(10)] \
  + [("Step%d" % (k + 1), (27 + 10 * k, 181, 11, 11)) for k in range(16)] \
  + [("DownsamplerUp", (63, 246, 21, 21)), ("DownsamplerDown", (84, 246, 21, 21)),
     ("DelayUp", (63, 216, 21, 21)), ("DelayDown", (84, 216, 21, 21)),
     ("GainTrack", (219, 99, KNOB_W, 113))]
assert len(BUTTONS) == 41
BUTTON_RECTS = dict(BUTTONS)


def interiors_meet(a, b):
    """Whether a pen position could lie strictly inside both rectangles."""
    return a[0] + 1 < b[0] + b[2] and b[0] + 1 < a[0] + a[2] and \
        a[1] + 1 < b[1] + b[3] and b[1] + 1 < a[1] + a[3]


# Every button is below the hidden rows, within the window, and the only one
# under any pen position.
assert all(y >= SKIN_TOP and x >= 0 and x + w <= WINDOW_W and y + h <= WINDOW_H
           for _, (x, y, w, h) in BUTTONS)
assert not any(interiors_meet(a, b) for i, (_, a) in enumerate(BUTTONS) for _, b in BUTTONS[i + 1:])

# The knob's top-left corner at gainKnob 0 is the track's.
KNOB_X, KNOB_TOP = BUTTON_RECTS["GainTrack"][:2]

# The display strip: cells of lettering in the order drawn, four a row. The
# panel finds a cell by its lettering.
STRIP_CELL_W, STRIP_CELL_H = 36, 12
STRIP_CELLS_PER_ROW = 4
STRIP_CELLS = ["OFF", "X2", "X4", "X8", "2S", "1/4S", "1/2S", "1S"]
STRIP_W = STRIP_CELL_W * STRIP_CELLS_PER_ROW
STRIP_H = STRIP_CELL_H * -(-len(STRIP_CELLS) // STRIP_CELLS_PER_ROW)

# Where each readout shows its cell (top-left corner).
DELAY_READOUT = (16, 220)
DOWNSAMPLER_READOUT = (16, 250)

# Areas copied from the skin as one when what lights in them changes: the
# preset keys, the slicer steps, the gain track with the knob.
PRESET_AREA = (129, 30, 115, 42)
SLICER_ROW = (10, 180, 180, 27)
KNOB_TRACK = (217, 90, 20, 130)


def skin_rect(button):
    x, y, w, h = BUTTON_RECTS[button]
    return x, y - SKIN_TOP, w, h


def strip_cell(i):
    """Top-left corner of cell i of the display strip."""
    return STRIP_CELL_W * (i % STRIP_CELLS_PER_ROW), STRIP_CELL_H * (i // STRIP_CELLS_PER_ROW)


# ---------------------------------------------------------------- colours
def hexc(s):
    return (int(s[0:2], 16), int(s[2:4], 16), int(s[4:6], 16))


PANEL_TOP = hexc("39404d")
PANEL_BOTTOM = hexc("262b35")
PANEL_EDGE = hexc("14171d")
CAPTION = hexc("aeb8c7")
CAPTION_DIM = hexc("7d8797")
KEY_TOP = hexc("5d6676")
KEY_BOTTOM = hexc("3b4250")
KEY_HILITE = hexc("939db0")
KEY_SHADE = hexc("1c2027")
KEY_LABEL = hexc("d3dae5")
AMBER = hexc("ffae2e")
AMBER_CORE = hexc("fff0c0")
RED = hexc("ff4a36")
RED_CORE = hexc("ffd8cc")
LCD_BG = hexc("120f0b")
LCD_GHOST = hexc("2a2117")


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


# ---------------------------------------------------------------- canvas
class Canvas:
    def __init__(self, w, h, colour=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(colour) for _ in range(w * h)]
        self.clip = (0, 0, w, h)

    def set_clip(self, rect=None):
        self.clip = rect if rect else (0, 0, self.w, self.h)

    def blend(self, x, y, c, a=1.0):
        cx, cy, cw, ch = self.clip
        if a <= 0 or x < cx or y < cy or x >= cx + cw or y >= cy + ch:
            return
        p = self.px[y * self.w + x]
        if a >= 1:
            p[0], p[1], p[2] = c
        else:
            for i in range(3):
                p[i] += (c[i] - p[i]) * a

    def add(self, x, y, c, a):
        cx, cy, cw, ch = self.clip
        if a <= 0 or x < cx or y < cy or x >= cx + cw or y >= cy + ch:
            return
        p = self.px[y * self.w + x]
        for i in range(3):
            p[i] = min(255.0, p[i] + c[i] * a)

    def get(self, x, y):
        return tuple(self.px[y * self.w + x])

    def fill(self, x, y, w, h, c, a=1.0):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.blend(xx, yy, c, a)

    def vgrad(self, x, y, w, h, top, bottom):
        for yy in range(h):
            c = mix(top, bottom, yy / max(1, h - 1))
            for xx in range(w):
                self.blend(x + xx, y + yy, c)

    def shape(self, sdf, box, colour, alpha=1.0):
        """Fills the region where sdf(x, y) < 0, antialiased over one pixel."""
        x0, y0, x1, y1 = box
        for yy in range(int(math.floor(y0)), int(math.ceil(y1)) + 1):
            for xx in range(int(math.floor(x0)), int(math.ceil(x1)) + 1):
                d = sdf(xx + 0.5, yy + 0.5)
                cov = clamp01(0.5 - d)
                if cov > 0:
                    c = colour(xx, yy) if callable(colour) else colour
                    self.blend(xx, yy, c, cov * alpha)


def sd_round_box(cx, cy, hw, hh, r):
    def f(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        ox, oy = max(qx, 0.0), max(qy, 0.0)
        return math.hypot(ox, oy) + min(max(qx, qy), 0.0) - r
    return f


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_ring(cx, cy, r, half_width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - half_width


def sd_segment(ax, ay, bx, by, r):
    def f(x, y):
        px, py = x - ax, y - ay
        dx, dy = bx - ax, by - ay
        t = clamp01((px * dx + py * dy) / (dx * dx + dy * dy))
        return math.hypot(px - dx * t, py - dy * t) - r
    return f


def round_rect(cv, x, y, w, h, r, colour, alpha=1.0):
    f = sd_round_box(x + w / 2, y + h / 2, w / 2, h / 2, r)
    cv.shape(f, (x - 1, y - 1, x + w, y + h), colour, alpha)


# ---------------------------------------------------------------- lettering
FONT5X7 = {
    "A": ".###.|#...#|#...#|#####|#...#|#...#|#...#",
    "B": "####.|#...#|#...#|####.|#...#|#...#|####.",
    "C": ".###.|#...#|#....|#....|#....|#...#|.###.",
    "D": "####.|#...#|#...#|#...#|#...#|#...#|####.",
    "E": "#####|#....|#....|####.|#....|#....|#####",
    "F": "#####|#....|#....|####.|#....|#....|#....",
    "G": ".###.|#...#|#....|#.###|#...#|#...#|.####",
    "H": "#...#|#...#|#...#|#####|#...#|#...#|#...#",
    "I": ".###.|..#..|..#..|..#..|..#..|..#..|.###.",
    "K": "#...#|#..#.|#.#..|##...|#.#..|#..#.|#...#",
    "L": "#....|#....|#....|#....|#....|#....|#####",
    "M": "#...#|##.##|#.#.#|#.#.#|#...#|#...#|#...#",
    "N": "#...#|#...#|##..#|#.#.#|#..##|#...#|#...#",
    "O": ".###.|#...#|#...#|#...#|#...#|#...#|.###.",
    "P": "####.|#...#|#...#|####.|#....|#....|#....",
    "R": "####.|#...#|#...#|####.|#.#..|#..#.|#...#",
    "S": ".####|#....|#....|.###.|....#|....#|####.",
    "T": "#####|..#..|..#..|..#..|..#..|..#..|..#..",
    "U": "#...#|#...#|#...#|#...#|#...#|#...#|.###.",
    "V": "#...#|#...#|#...#|.#.#.|.#.#.|..#..|..#..",
    "W": "#...#|#...#|#...#|#.#.#|#.#.#|##.##|#...#",
    "X": "#...#|#...#|.#.#.|..#..|.#.#.|#...#|#...#",
    "Y": "#...#|#...#|.#.#.|..#..|..#..|..#..|..#..",
    "Z": "#####|....#|...#.|..#..|.#...|#....|#####",
    "0": ".###.|#...#|#..##|#.#.#|##..#|#...#|.###.",
    "1": "..#..|.##..|..#..|..#..|..#..|..#..|.###.",
    "2": ".###.|#...#|....#|...#.|..#..|.#...|#####",
    "3": "#####|...#.|..#..|...#.|....#|#...#|.###.",
    "4": "...#.|..##.|.#.#.|#..#.|#####|...#.|...#.",
    "5": "#####|#....|####.|....#|....#|#...#|.###.",
    "6": "..##.|.#...|#....|####.|#...#|#...#|.###.",
    "7": "#####|....#|...#.|..#..|.#...|.#...|.#...",
    "8": ".###.|#...#|#...#|.###.|#...#|#...#|.###.",
    "9": ".###.|#...#|#...#|.####|....#|...#.|.##..",
    "/": "....#|....#|...#.|..#..|.#...|#....|#....",
    "-": ".....|.....|.....|#####|.....|.....|.....",
    " ": ".....|.....|.....|.....|.....|.....|.....",
}

# The logo lettering: two-pixel strokes, cap height 10, descenders 3.
LOGO_FONT = {
    "Z": (0, ["#########", "#########", "......###", ".....###.", "....###..",
              "...###...", "..###....", ".###.....", "#########", "#########"]),
    "e": (3, [".#####.", "##...##", "##...##", "#######", "##.....", "##...##", ".#####."]),
    "p": (3, ["######.", "##...##", "##...##", "##...##", "##...##", "##...##", "######.",
              "##.....", "##.....", "##....."]),
    "h": (0, ["##.....", "##.....", "##.....", "######.", "##...##", "##...##", "##...##",
              "##...##", "##...##", "##...##"]),
    "y": (3, ["##...##", "##...##", "##...##", "##...##", "##...##", "##...##", ".######",
              ".....##", ".....##", "######."]),
    "r": (3, ["##.###", "####..", "###...", "##....", "##....", "##....", "##...."]),
    "i": (0, ["##", "##", "..", "##", "##", "##", "##", "##", "##", "##"]),
    "x": (3, ["##...##", "##...##", ".##.##.", "..###..", ".##.##.", "##...##", "##...##"]),
}


def text_width(s):
    return 6 * len(s) - 1


def glyph_mask(s):
    """Pixels (dx, dy) set by the 5 x 7 lettering of s."""
    out = []
    for i, ch in enumerate(s):
        rows = FONT5X7[ch].split("|")
        for dy, row in enumerate(rows):
            for dx, bit in enumerate(row):
                if bit == "#":
                    out.append((6 * i + dx, dy))
    return out


def logo_mask():
    out, x = [], 0
    for ch in "Zephyrix":
        top, rows = LOGO_FONT[ch]
        for dy, row in enumerate(rows):
            for dx, bit in enumerate(row):
                if bit == "#":
                    out.append((x + dx, top + dy))
        x += len(rows[0]) + 2
    return out, x - 2


def draw_text(cv, x, y, s, colour, shadow=None):
    if shadow:
        for dx, dy in glyph_mask(s):
            cv.blend(x + dx + 1, y + dy + 1, shadow, 0.8)
    for dx, dy in glyph_mask(s):
        cv.blend(x + dx, y + dy, colour)


def draw_text_centred(cv, cx, y, s, colour, shadow=None):
    draw_text(cv, int(round(cx - text_width(s) / 2)), y, s, colour, shadow)


# ---------------------------------------------------------------- glow
def glow(cv, points, rect, colour, strength, radius=2.0):
    """Adds light around the given pixels, limited to rect (x, y, w, h)."""
    x0, y0, w, h = rect
    field = [[0.0] * w for _ in range(h)]
    reach = int(math.ceil(radius * 2.5))
    for px, py in points:
        for yy in range(max(y0, py - reach), min(y0 + h, py + reach + 1)):
            for xx in range(max(x0, px - reach), min(x0 + w, px + reach + 1)):
                d2 = (xx - px) ** 2 + (yy - py) ** 2
                field[yy - y0][xx - x0] += math.exp(-d2 / (2 * radius * radius))
    for yy in range(h):
        for xx in range(w):
            v = field[yy][xx]
            if v > 0:
                a = strength * (1 - math.exp(-v * 0.35))
                cv.add(x0 + xx, y0 + yy, colour, a)


# ---------------------------------------------------------------- panel parts
def panel_background(cv):
    cv.vgrad(0, 0, SKIN_W, SKIN_H, PANEL_TOP, PANEL_BOTTOM)
    # A fine brushed grain: deterministic, horizontal streaks.
    seed = 12345
    for y in range(SKIN_H):
        for x in range(SKIN_W):
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            n = ((seed >> 16) & 7) - 3.5
            p = cv.px[y * SKIN_W + x]
            g = n * 0.9 + 1.2 * math.sin(y * 2.1 + (x // 37))
            for i in range(3):
                p[i] += g
    # Bevelled outer edge.
    cv.fill(0, 0, SKIN_W, 1, hexc("5b6474"))
    cv.fill(0, 0, 1, SKIN_H, hexc("4a5261"))
    cv.fill(SKIN_W - 1, 0, 1, SKIN_H, PANEL_EDGE)


def screw(cv, cx, cy):
    cv.shape(sd_circle(cx + 0.6, cy + 0.6, 2.6), (cx - 4, cy - 4, cx + 4, cy + 4), KEY_SHADE, 0.8)
    cv.shape(sd_circle(cx, cy, 2.5), (cx - 4, cy - 4, cx + 4, cy + 4),
             lambda x, y: mix(hexc("9aa3b2"), hexc("4c5462"), clamp01((x - cx + y - cy + 3) / 6)))
    cv.shape(sd_segment(cx - 1.6, cy + 1.6, cx + 1.6, cy - 1.6, 0.45),
             (cx - 3, cy - 3, cx + 3, cy + 3), hexc("2b3039"))


def recessed_area(cv, x, y, w, h, r=3):
    """A shallow sunken field that groups controls."""
    round_rect(cv, x, y, w, h, r, hexc("1d2129"), 0.55)
    round_rect(cv, x + 1, y + 1, w - 1, h - 1, r, hexc("5b6576"), 0.25)
    round_rect(cv, x + 1, y + 1, w - 2, h - 2, r, hexc("2b303a"), 0.9)


def turntable(cv):
    x0, y0, w, h = 5, 4, 118, 102
    # Plinth: a raised slab with a soft shadow.
    round_rect(cv, x0 + 2, y0 + 2, w, h, 5, hexc("101318"), 0.7)
    round_rect(cv, x0, y0, w, h, 5,
               lambda x, y: mix(hexc("4d5565"), hexc("2f3540"), (y - y0) / h))
    round_rect(cv, x0 + 1, y0 + 1, w - 2, h - 2, 4,
               lambda x, y: mix(hexc("434a58"), hexc("2a2f39"), (y - y0) / h))
    cx, cy = x0 + 50, y0 + 51
    # Platter rim and record.
    cv.shape(sd_circle(cx + 1, cy + 1.5, 47), (cx - 49, cy - 49, cx + 49, cy + 50),
             hexc("0e1014"), 0.7)
    cv.shape(sd_circle(cx, cy, 47), (cx - 48, cy - 48, cx + 48, cy + 48),
             lambda x, y: mix(hexc("b8c0cc"), hexc("5a6270"), clamp01((x - cx + y - cy + 60) / 120)))
    for k in range(0, 360, 10):  # strobe dots along the rim
        a = math.radians(k)
        dx, dy = cx + 45.3 * math.cos(a), cy + 45.3 * math.sin(a)
        cv.shape(sd_circle(dx, dy, 0.7), (dx - 2, dy - 2, dx + 2, dy + 2), hexc("3a404c"), 0.9)
    cv.shape(sd_circle(cx, cy, 43.5), (cx - 45, cy - 45, cx + 45, cy + 45), hexc("121317"))

    def vinyl(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        groove = 0.5 + 0.5 * math.cos(r * 2.2)
        ang = math.atan2(dy, dx)
        sheen = max(0.0, math.cos(2 * (ang + 0.8))) ** 6
        base = 20 + 9 * groove + 40 * sheen * (0.6 + 0.4 * groove)
        return (base, base + 1, base + 4)
    cv.shape(sd_circle(cx, cy, 42.5), (cx - 44, cy - 44, cx + 44, cy + 44), vinyl)
    for r in (30.5, 21.0):  # gaps between tracks
        cv.shape(sd_ring(cx, cy, r, 0.5), (cx - r - 2, cy - r - 2, cx + r + 2, cy + r + 2),
                 hexc("0a0b0d"), 0.9)
    # Label with the brand colour and the spindle.
    cv.shape(sd_circle(cx, cy, 13), (cx - 14, cy - 14, cx + 14, cy + 14),
             lambda x, y: mix(hexc("ffb845"), hexc("c46a12"), clamp01((y - cy + 13) / 26)))
    cv.shape(sd_ring(cx, cy, 9.5, 0.45), (cx - 11, cy - 11, cx + 11, cy + 11), hexc("8a4a0c"), 0.8)
    for dx, dy in glyph_mask("Z"):
        cv.blend(cx - 2 + dx, cy - 10 + dy, hexc("3a1e04"))
    cv.shape(sd_circle(cx, cy + 0.5, 1.8), (cx - 3, cy - 3, cx + 3, cy + 3), hexc("e6e9ee"))
    # Tonearm: pivot base at the top right, counterweight, arm and headshell.
    px, py = x0 + 106, y0 + 15
    cv.shape(sd_circle(px + 1, py + 1.5, 8), (px - 9, py - 9, px + 10, py + 10), hexc("0e1014"), 0.6)
    cv.shape(sd_circle(px, py, 8), (px - 9, py - 9, px + 9, py + 9),
             lambda x, y: mix(hexc("c9d0da"), hexc("5a6270"), clamp01((x - px + y - py + 8) / 16)))
    cv.shape(sd_circle(px, py, 4.5), (px - 6, py - 6, px + 6, py + 6), hexc("2a2f39"))
    cv.shape(sd_segment(px + 1, py - 4, px + 3, py - 11, 2.6), (px - 3, py - 15, px + 7, py),
             hexc("2b3039"))
    hx, hy = cx + 28, cy + 26  # where the stylus meets the record
    arm = sd_segment(px, py, hx + 4, hy - 11, 1.3)
    cv.shape(sd_segment(px + 1.5, py + 1.5, hx + 5.5, hy - 9.5, 1.3),
             (hx - 2, py - 2, px + 4, hy), hexc("08090b"), 0.6)
    cv.shape(arm, (hx - 2, py - 2, px + 3, hy), lambda x, y: mix(hexc("e8ecf1"), hexc("8d95a3"),
                                                                 clamp01((x - hx) / 40)))
    head = sd_round_box(hx + 1.5, hy - 4, 2.4, 5.2, 1.2)
    cv.shape(head, (hx - 3, hy - 11, hx + 6, hy + 3), hexc("cfd5de"))
    cv.shape(sd_circle(px, py, 2), (px - 3, py - 3, px + 3, py + 3), hexc("dfe4ea"))
    # Start/stop light and speed marks in the lower right corner of the plinth.
    sx, sy = x0 + 108, y0 + 92
    cv.shape(sd_circle(sx, sy, 3.2), (sx - 4, sy - 4, sx + 4, sy + 4), hexc("1a1d23"))
    cv.shape(sd_circle(sx, sy, 2.2), (sx - 3, sy - 3, sx + 3, sy + 3), hexc("7a3d0d"))
    cv.shape(sd_circle(sx - 0.6, sy - 0.6, 0.8), (sx - 2, sy - 2, sx + 1, sy + 1), hexc("d08a40"), 0.7)


def grille(cv, x, y, w, h):
    recessed_area(cv, x, y, w, h, 4)
    for row in range(1, (h - 4) // 5 + 1):
        for col in range(1, (w - 4) // 5 + 1):
            cx = x + 2 + col * 5 - 2 + (2.5 if row % 2 else 0)
            cy = y + 2 + row * 5 - 2
            if cx > x + w - 5:
                continue
            cv.shape(sd_circle(cx, cy, 1.35), (cx - 2, cy - 2, cx + 2, cy + 2), hexc("0b0d10"))
            cv.shape(sd_circle(cx + 0.5, cy + 0.6, 0.5), (cx - 1, cy - 1, cx + 2, cy + 2),
                     hexc("3c4350"), 0.7)


def key(cv, rect, lit, warm=AMBER):
    """A raised key filling rect with one pixel of margin; lit keys glow warmly."""
    x, y, w, h = rect
    round_rect(cv, x + 1.5, y + 1.8, w - 2, h - 2, 3, hexc("0c0e12"), 0.75)
    top, bottom = KEY_TOP, KEY_BOTTOM
    if lit:
        top, bottom = mix(KEY_TOP, warm, 0.16), mix(KEY_BOTTOM, warm, 0.1)
    round_rect(cv, x + 1, y + 1, w - 2, h - 2, 3, KEY_HILITE)
    round_rect(cv, x + 1, y + 1.8, w - 2, h - 2.8, 3, hexc("252a33"))
    round_rect(cv, x + 2, y + 2, w - 4, h - 4.6, 2.4,
               lambda xx, yy: mix(top, bottom, clamp01((yy - y - 2) / (h - 5))))
    if lit:  # warm light rising from under the key's edge
        for xx in range(x + 1, x + w - 1):
            cv.add(xx, y + h - 2, warm, 0.35)
            cv.add(xx, y, warm, 0.18)
        for yy in range(y + 1, y + h - 1):
            cv.add(x, yy, warm, 0.2)
            cv.add(x + w - 1, yy, warm, 0.2)


def lit_symbol(cv, rect, points, lit, warm=AMBER, core=AMBER_CORE, dim=KEY_LABEL):
    """Draws a symbol given as pixels: light grey when off, glowing when lit."""
    x, y, w, h = rect
    cv.set_clip(rect)
    if lit:
        glow(cv, points, rect, warm, 0.5, 1.3)
        for px, py in points:
            cv.blend(px + 1, py + 1, hexc("2a1a08"), 0.5)
        for px, py in points:
            cv.blend(px, py, core)
    else:
        for px, py in points:
            cv.blend(px + 1, py + 1, hexc("1a1d23"), 0.6)
        for px, py in points:
            cv.blend(px, py, dim)
    cv.set_clip()


def effect_button(cv, button, label, lit):
    x, y, w, h = skin_rect(button)
    cv.set_clip((x, y, w, h))
    key(cv, (x, y, w, h), lit)
    # Indicator bar along the top of the key.
    bx, by = x + 14, y + 4
    if lit:
        glow(cv, [(bx + i, by) for i in range(13)], (x, y, w, h), AMBER, 0.9, 1.6)
        cv.fill(bx, by, 13, 2, AMBER)
        cv.fill(bx + 1, by, 11, 1, AMBER_CORE)
    else:
        cv.fill(bx, by, 13, 2, hexc("3b2a1c"))
        cv.fill(bx, by + 2, 13, 1, hexc("6e7787"), 0.5)
    cv.set_clip()
    tx = x + (w - text_width(label)) // 2
    lit_symbol(cv, (x, y, w, h), [(tx + dx, y + 9 + dy) for dx, dy in glyph_mask(label)], lit)


def preset_button(cv, button, digit, lit):
    x, y, w, h = skin_rect(button)
    cv.set_clip((x, y, w, h))
    key(cv, (x, y, w, h), lit)
    cv.set_clip()
    lit_symbol(cv, (x, y, w, h), [(x + 8 + dx, y + 6 + dy) for dx, dy in glyph_mask(digit)], lit)


def step_dot(cv, k, lit):
    x, y, w, h = skin_rect("Step%d" % k)
    cx, cy = x + 5.5, y + 5.5
    cv.set_clip((x, y, w, h))
    cv.shape(sd_circle(cx, cy, 4.6), (x, y, x + w, y + h), hexc("0d0f13"))
    cv.shape(sd_ring(cx, cy, 4.2, 0.45), (x, y, x + w, y + h),
             lambda xx, yy: mix(hexc("697384"), hexc("232831"), clamp01((yy - y) / 10)))
    if lit:
        cv.shape(sd_circle(cx, cy, 3.6), (x, y, x + w, y + h),
                 lambda xx, yy: mix(AMBER_CORE, AMBER, clamp01(math.hypot(xx + .5 - cx, yy + .5 - cy) / 3.6)))
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                d = math.hypot(xx + 0.5 - cx, yy + 0.5 - cy)
                if d > 3.2:
                    cv.add(xx, yy, AMBER, 0.55 * math.exp(-(d - 3.2) * 0.9))
    else:
        cv.shape(sd_circle(cx, cy, 3.6), (x, y, x + w, y + h),
                 lambda xx, yy: mix(hexc("4a3322"), hexc("22170f"), clamp01((yy - y - 2) / 7)))
        cv.shape(sd_circle(cx - 1.2, cy - 1.3, 1.0), (x, y, x + w, y + h), hexc("a88a70"), 0.45)
    cv.set_clip()


def icon_points(kind, x, y):
    """Pixel art of the square buttons' symbols, 13 x 13, placed at (x, y)."""
    art = {
        "speaker": [
            ".............", "......#......", ".....##...#..", "....###....#.",
            "#######..#..#", "#######...#.#", "#######...#.#", "#######...#.#",
            "#######..#..#", "....###....#.", ".....##...#..", "......#......",
            "............."],
        "headphones": [
            "....#####....", "..##.....##..", ".#.........#.", ".#.........#.",
            "#...........#", "#...........#", "#...........#", "###.......###",
            "###.......###", "###.......###", "###.......###", ".##.......##.",
            "............."],
        "floppy": [
            "###########..", "#..#####..##.", "#..#####..#.#", "#..#####..#.#",
            "#..........##", "#...........#", "#.#########.#", "#.#.......#.#",
            "#.#########.#", "#.#.......#.#", "#.#########.#", "#...........#",
            "#############"],
        "power": [
            "......#......", "......#......", "..##..#..##..", ".#....#....#.",
            "#.....#.....#", "#.....#.....#", "#...........#", "#...........#",
            "#...........#", ".#.........#.", "..##.....##..", "....#####....",
            "............."],
    }[kind]
    return [(x + dx, y + dy) for dy, row in enumerate(art) for dx, b in enumerate(row) if b == "#"]


def square_button(cv, button, kind, lit):
    x, y, w, h = skin_rect(button)
    warm, core = (RED, RED_CORE) if kind == "power" else (AMBER, AMBER_CORE)
    cv.set_clip((x, y, w, h))
    key(cv, (x, y, w, h), lit, warm)
    cv.set_clip()
    lit_symbol(cv, (x, y, w, h), icon_points(kind, x + 4, y + 3), lit, warm, core)


def plus_minus(cv, button, plus, lit):
    x, y, w, h = skin_rect(button)
    cv.set_clip((x, y, w, h))
    key(cv, (x, y, w, h), lit)
    cv.set_clip()
    pts = [(x + 6 + i, y + 9) for i in range(9)] + [(x + 6 + i, y + 10) for i in range(9)]
    if plus:
        pts += [(x + 10, y + 5 + i) for i in range(9)] + [(x + 11, y + 5 + i) for i in range(9)]
        pts = [p for p in pts if p[0] < x + 15]
    lit_symbol(cv, (x, y, w, h), pts, lit)


def readout_box(cv, readout):
    """Bezel around the place of a readout cell; the cell is left dark."""
    x, y, w, h = readout[0], readout[1] - SKIN_TOP, STRIP_CELL_W, STRIP_CELL_H
    round_rect(cv, x - 3, y - 3, w + 6, h + 6, 3, hexc("5d6676"))
    round_rect(cv, x - 3, y - 3, w + 6, h + 5, 3, hexc("15181d"))
    round_rect(cv, x - 2, y - 2, w + 4, h + 4, 2, hexc("0b0c0f"))
    cv.fill(x, y, w, h, LCD_BG)


def downsampler_switch(cv, lit):
    x, y, w, h = skin_rect("DownsamplerSwitch")
    cv.set_clip((x, y, w, h))
    round_rect(cv, x + 1, y + 3, w - 2, h - 6, 2, hexc("646d7d"))
    round_rect(cv, x + 1, y + 3, w - 2, h - 7, 2, hexc("15181d"))
    round_rect(cv, x + 2, y + 4, w - 4, h - 9, 1.5, LCD_BG)
    cv.set_clip()
    label = "ON" if lit else "OFF"
    tx = x + (w - text_width(label)) // 2
    pts = [(tx + dx, y + 7 + dy) for dx, dy in glyph_mask(label)]
    lit_symbol(cv, (x, y, w, h), pts, lit, dim=hexc("6b5a48"))


def gain_track(cv, lit):
    x, y, w, h = skin_rect("GainTrack")
    cv.set_clip((x, y, w, h))
    # Tick marks every 9 rows from the top knob row to the bottom one, longer at
    # x4 (top), x1 (middle, KNOB_UNITY) and x0 (bottom).
    ticks = []
    for i in range(13):
        ty = y + 1 + round(i * KNOB_TRAVEL / 12)
        major = i in (0, 6, 12)
        length = 4 if major else 2
        ticks += [(x + dx, ty) for dx in range(length)]
        ticks += [(x + w - 1 - dx, ty) for dx in range(length)]
    groove = (x + 6, y + 1, 4, h - 2)
    round_rect(cv, groove[0], groove[1], groove[2], groove[3], 2, hexc("07080a"))
    round_rect(cv, groove[0] + 1, groove[1] + 1, 2, groove[3] - 2, 1, hexc("191c22"))
    if lit:
        glow(cv, [(x + 7 + (i % 2), yy) for yy in range(y + 2, y + h - 2, 2) for i in range(2)],
             (x, y, w, h), AMBER, 0.35, 1.2)
        cv.fill(x + 7, y + 2, 2, h - 4, hexc("c8761a"))
        glow(cv, ticks, (x, y, w, h), AMBER, 0.6, 1.2)
        for px, py in ticks:
            cv.blend(px, py, AMBER_CORE)
    else:
        for px, py in ticks:
            cv.blend(px, py, CAPTION_DIM)
    cv.set_clip()


def logo_band(cv, lit):
    x, y, w, h = 0, SKIN_H - 26, SKIN_W, 26  # rows 245 to 270; the About rectangle is 245 to 268
    cv.vgrad(x, y, w, h, hexc("1b1f26"), hexc("0d0f13"))
    cv.fill(x, y, w, 1, hexc("0a0b0e"))
    cv.fill(x, y + 1, w, 1, hexc("59627a"), 0.6)
    # An amber stripe under the logo.
    mask, lw = logo_mask()
    lx, ly = 10, y + 6
    pts = [(lx + dx, ly + dy) for dx, dy in mask]
    stripe_y = y + 19
    for xx in range(lx + lw + 6, w - 8):
        cv.blend(xx, stripe_y, mix(hexc("6a4316"), hexc("1b1f26"), (xx - lx - lw) / (w - lx - lw)))
    tag = "VOICE EFFECTS UNIT"
    tx = w - 8 - text_width(tag)
    if lit:
        cv.set_clip((0, y, w, 24))
        glow(cv, pts, (0, y, w, 24), AMBER, 0.55, 1.6)
        for px, py in pts:
            cv.blend(px, py, mix(AMBER_CORE, AMBER, clamp01((py - ly) / 13)))
        draw_text(cv, tx, y + 8, tag, hexc("e6b474"))
        cv.set_clip()
    else:
        for px, py in pts:
            cv.blend(px + 1, py + 1, hexc("000000"), 0.7)
        for px, py in pts:
            cv.blend(px, py, mix(hexc("f2f5f9"), hexc("8e98a8"), clamp01((py - ly) / 13)))
        draw_text(cv, tx, y + 8, tag, CAPTION_DIM)


def draw_skin(lit):
    cv = Canvas(SKIN_W, SKIN_H)
    panel_background(cv)
    turntable(cv)

    # Presets: the keys, their group and caption.
    recessed_area(cv, 127, 1, 113, 48, 4)
    for i, d in enumerate("1234567890"):
        preset_button(cv, "Preset%d" % (i + 1), d, lit)
    draw_text_centred(cv, 182, 51, "PRESETS", CAPTION, hexc("15181d"))

    # Grille between the presets and the gain track.
    grille(cv, 131, 63, 72, 44)

    # Gain track with its caption and marks.
    draw_text_centred(cv, 226, 62, "GAIN", CAPTION, hexc("15181d"))
    recessed_area(cv, 216, 70, 22, 119, 3)
    gain_track(cv, lit)
    for label, knob in (("X4", 0), ("X1", KNOB_UNITY), ("X0", KNOB_TRAVEL)):
        draw_text(cv, 203, KNOB_TOP - SKIN_TOP + knob + 2 - 3, label, CAPTION_DIM)

    # Effects.
    draw_text_centred(cv, 106, 110, "EFFECTS", CAPTION, hexc("15181d"))
    recessed_area(cv, 22, 117, 170, 26, 4)
    for button, label in (("Echo", "ECHO"), ("Flanger", "FLNG"), ("Slicer", "SLCR"),
                          ("Reverse", "RVRS")):
        effect_button(cv, button, label, lit)

    # Slicer steps, with beat marks under every fourth dot.
    recessed_area(cv, 22, 151, 170, 29, 4)
    for k in range(1, 17):
        step_dot(cv, k, lit)
    for k in range(1, 17):
        x, y, w, h = skin_rect("Step%d" % k)
        cv.fill(x + 5, y + h + 1, 1, 2 if (k - 1) % 4 == 0 else 1, CAPTION_DIM)
    draw_text(cv, 26, 171, "SLICER", CAPTION, hexc("15181d"))
    draw_text(cv, 171, 171, "16", CAPTION_DIM)

    # Delay and downsampler.
    draw_text(cv, 15, 182, "DELAY CONTROL", CAPTION, hexc("15181d"))
    readout_box(cv, DELAY_READOUT)
    plus_minus(cv, "DelayUp", True, lit)
    plus_minus(cv, "DelayDown", False, lit)
    draw_text(cv, 15, 212, "DOWNSAMPLER", CAPTION, hexc("15181d"))
    readout_box(cv, DOWNSAMPLER_READOUT)
    plus_minus(cv, "DownsamplerUp", True, lit)
    plus_minus(cv, "DownsamplerDown", False, lit)
    # Arrow from the downsampler keys to its switch.
    for i in range(11):
        cv.blend(107 + i, 230, CAPTION)
        cv.blend(107 + i, 231, CAPTION)
    for i in range(4):
        for j in range(-i, i + 2):
            cv.blend(120 - 1 - i, 230 + j, CAPTION)
    downsampler_switch(cv, lit)

    # Output keys.
    recessed_area(cv, 186, 193, 52, 50, 4)
    square_button(cv, "Mute", "speaker", lit)
    square_button(cv, "Bypass", "headphones", lit)
    square_button(cv, "Save", "floppy", lit)
    square_button(cv, "Power", "power", lit)

    logo_band(cv, lit)
    return cv


def draw_display_strip():
    cv = Canvas(STRIP_W, STRIP_H, LCD_BG)
    for i, label in enumerate(STRIP_CELLS):
        cx, cy = strip_cell(i)
        rect = (cx, cy, STRIP_CELL_W, STRIP_CELL_H)
        cv.set_clip(rect)
        tx = cx + (STRIP_CELL_W - text_width(label)) // 2
        pts = [(tx + dx, cy + 3 + dy) for dx, dy in glyph_mask(label)]
        glow(cv, pts, rect, AMBER, 0.45, 1.3)
        for px, py in pts:
            cv.blend(px, py, mix(AMBER_CORE, AMBER, 0.35))
        cv.set_clip()
    return cv


def draw_knob():
    # Rows top to bottom: highlight, the light middle line, body, shadow.
    rows = [hexc("a9afb9"), hexc("f4f6f9"), hexc("7c838f"), hexc("3e434c")]
    cv = Canvas(KNOB_W, KNOB_H)
    for y, c in enumerate(rows):
        for x in range(KNOB_W):
            edge = 0.75 if x in (0, KNOB_W - 1) else 1.0
            cv.blend(x, y, tuple(v * edge for v in c))
    return cv


# The desktop's icon sizes (hicolor), and the two the window carries as BMP.
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
WINDOW_ICON_SIZES = (16, 32)


def draw_icon(size):
    cv = Canvas(size, size, (0, 0, 0))
    alpha = [[0.0] * size for _ in range(size)]
    s = size / 32.0
    body = sd_round_box(size / 2, size / 2, size / 2, size / 2, 6 * s)
    for y in range(size):
        for x in range(size):
            alpha[y][x] = clamp01(0.5 - body(x + 0.5, y + 0.5))
    cv.vgrad(0, 0, size, size, hexc("454d5c"), hexc("1d2129"))
    c = size / 2
    cv.shape(sd_circle(c, c, 12.5 * s), (0, 0, size, size), hexc("0d0e11"))
    for r in (10.5 * s, 8.5 * s):
        cv.shape(sd_ring(c, c, r, 0.35 * max(1.0, s)), (0, 0, size, size), hexc("2a2c33"), 0.9)
    cv.shape(sd_circle(c, c, 5.8 * s), (0, 0, size, size),
             lambda x, y: mix(AMBER_CORE, AMBER, clamp01((y - c + 6 * s) / (12 * s))))
    if size >= 32:
        # The 5 x 7 "Z", each of its pixels a square s wide, centred on a whole
        # pixel so that at 32 and 64 it stays sharp.
        x0 = math.floor(c - 2.5 * s + 0.5)
        y0 = math.floor(c - 3.5 * s + 0.5)
        cells = [sd_round_box(x0 + (dx + 0.5) * s, y0 + (dy + 0.5) * s, s / 2, s / 2, 0.0)
                 for dx, dy in glyph_mask("Z")]
        cv.shape(lambda x, y: min(f(x, y) for f in cells), (x0, y0, x0 + 5 * s, y0 + 7 * s),
                 hexc("3a1e04"))
    else:
        cv.shape(sd_circle(c, c, 1.0), (0, 0, size, size), hexc("3a1e04"))
    return cv, alpha


# ---------------------------------------------------------------- palettes and files
def quantise(canvases, exact=(), colours=256):
    """One palette for all canvases (median cut), and each canvas as indices.
    Colours in exact are kept as they are (the readout background)."""
    hist = {}
    for cv in canvases:
        for p in cv.px:
            c = tuple(max(0, min(255, int(round(v)))) for v in p)
            hist[c] = hist.get(c, 0) + 1
    boxes = [list(hist.items())]
    while len(boxes) < colours:
        best, best_score = None, -1
        for i, b in enumerate(boxes):
            if len(b) < 2:
                continue
            spread = max(max(c[0][k] for c in b) - min(c[0][k] for c in b) for k in range(3))
            score = spread * math.sqrt(sum(n for _, n in b))
            if score > best_score:
                best, best_score = i, score
        if best is None:
            break
        b = boxes.pop(best)
        axis = max(range(3), key=lambda k: max(c[0][k] for c in b) - min(c[0][k] for c in b))
        b.sort(key=lambda c: c[0][axis])
        total, acc, cut = sum(n for _, n in b), 0, 1
        for i, (_, n) in enumerate(b):
            acc += n
            if acc * 2 >= total:
                cut = max(1, min(len(b) - 1, i + 1))
                break
        boxes += [b[:cut], b[cut:]]
    palette = []
    for b in boxes:
        total = sum(n for _, n in b)
        palette.append(tuple(int(round(sum(c[k] * n for c, n in b) / total)) for k in range(3)))
    for c in exact:
        i = min(range(len(palette)), key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))
        palette[i] = c
    palette.sort(key=lambda c: (c[0] * 3 + c[1] * 6 + c[2]))
    while len(palette) < 256:
        palette.append((0, 0, 0))
    cache = {}

    def nearest(c):
        if c not in cache:
            cache[c] = min(range(len(palette)),
                           key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))
        return cache[c]
    out = []
    for cv in canvases:
        out.append([nearest(tuple(max(0, min(255, int(round(v)))) for v in p)) for p in cv.px])
    return palette, out


def bmp_bytes(width, height, bits, palette, rows_top_first):
    """A BMP file: 14-byte file header, 40-byte info header, palette, rows bottom first."""
    stride = ((width * bits + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows_top_first):
        line = bytearray(row)
        line += b"\0" * (stride - len(line))
        pixels += line
    pal = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in palette) if palette else b""
    offset = 14 + 40 + len(pal)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0,
                       len(palette) if palette else 0, 0)
    return head + info + pal + bytes(pixels)


def write_8bit(path, cv, palette, indices):
    rows = [indices[y * cv.w:(y + 1) * cv.w] for y in range(cv.h)]
    with open(path, "wb") as f:
        f.write(bmp_bytes(cv.w, cv.h, 8, palette, rows))


def write_24bit(path, cv):
    rows = []
    for y in range(cv.h):
        line = []
        for x in range(cv.w):
            r, g, b = (max(0, min(255, int(round(v)))) for v in cv.get(x, y))
            line += [b, g, r]
        rows.append(line)
    with open(path, "wb") as f:
        f.write(bmp_bytes(cv.w, cv.h, 24, None, rows))


def write_png_rgba(path, cv, alpha):
    raw = bytearray()
    for y in range(cv.h):
        raw.append(0)
        for x in range(cv.w):
            r, g, b = (max(0, min(255, int(round(v)))) for v in cv.get(x, y))
            raw += bytes((r, g, b, int(round(alpha[y][x] * 255))))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", cv.w, cv.h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def geometry_header():
    """The geometry section as C++, for the program: panel_geometry.h."""
    def rect(r):
        return "{%d, %d, %d, %d}" % r

    def commented(entries):
        """One entry a line, the comments lined up as clang-format lines them."""
        width = max(len(code) for code, _ in entries)
        return ["    %s,%s  // %s" % (code, " " * (width - len(code)), note) for code, note in entries]

    cells = [('{"%s", %d, %d}' % ((label,) + strip_cell(i)), "cell %d" % i)
             for i, label in enumerate(STRIP_CELLS)]
    lines = [
        "// Generated by assets/generate_assets.py; do not edit;",
        "// rebuild with python3 assets/generate_assets.py",
        "//",
        "// The panel's geometry as the artwork beside this file is drawn: the window",
        "// and the skin, the hot rectangles, the gain knob, the readouts and the areas",
        "// drawn again as one. Window coordinates, y counted from the window's top row.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        "struct PanelRect {",
        "  std::int32_t x;",
        "  std::int32_t y;",
        "  std::int32_t w;",
        "  std::int32_t h;",
        "};",
        "",
        "// The window, and the skin shown in it from row kHiddenTopRows down; the",
        "// rows above lie under the target's task bar and no desktop shows them.",
        "constexpr int kWindowWidth = %d;" % WINDOW_W,
        "constexpr int kWindowHeight = %d;" % WINDOW_H,
        "constexpr int kHiddenTopRows = %d;" % SKIN_TOP,
        "constexpr int kSkinWidth = %d;" % SKIN_W,
        "constexpr int kSkinHeight = %d;" % SKIN_H,
        "",
        "// The hot rectangles: entry i belongs to button id i + 1.",
        "constexpr int kButtonCount = %d;" % len(BUTTONS),
        "inline constexpr PanelRect buttonTable[kButtonCount] = {",
    ] + commented([(rect(r), name) for name, r in BUTTONS]) + [
        "};",
        "",
        "// The gain knob: its left column, its top row at gainKnob 0, and the",
        "// gainKnob of x1 and of x0 (x4 is 0).",
        "constexpr std::int32_t kKnobX = %d;" % KNOB_X,
        "constexpr std::int32_t kKnobTop = %d;" % KNOB_TOP,
        "constexpr std::int32_t kKnobUnityRow = %d;" % KNOB_UNITY,
        "constexpr std::int32_t kKnobTravel = %d;" % KNOB_TRAVEL,
        "constexpr std::int32_t kKnobWidth = %d;" % KNOB_W,
        "constexpr std::int32_t kKnobHeight = %d;" % KNOB_H,
        "",
        "// The display strip's cells in the order drawn, each with its lettering and",
        "// its top-left corner in the strip, and where each readout shows a cell.",
        "struct StripCellPlace {",
        "  const char* lettering;",
        "  std::int32_t x;",
        "  std::int32_t y;",
        "};",
        "constexpr int kStripCellWidth = %d;" % STRIP_CELL_W,
        "constexpr int kStripCellHeight = %d;" % STRIP_CELL_H,
        "constexpr int kStripCellCount = %d;" % len(STRIP_CELLS),
        "inline constexpr StripCellPlace kStripCells[kStripCellCount] = {",
    ] + commented(cells) + [
        "};",
        "constexpr int kDelayDisplayX = %d, kDelayDisplayY = %d;" % DELAY_READOUT,
        "constexpr int kDownsamplerDisplayX = %d, kDownsamplerDisplayY = %d;" % DOWNSAMPLER_READOUT,
        "",
        "// Areas drawn again from the skin as one: the preset keys, the slicer steps,",
        "// the gain track with the knob.",
        "constexpr PanelRect kPresetArea%s;" % rect(PRESET_AREA),
        "constexpr PanelRect kSlicerRow%s;" % rect(SLICER_ROW),
        "constexpr PanelRect kKnobTrack%s;" % rect(KNOB_TRACK),
    ]
    return "\n".join(lines) + "\n"


def buttons_header():
    """The buttons' ids and names as C++, for the program: panel_buttons.h."""
    ids = ["  %s = %d," % (name, i + 1) for i, (name, _) in enumerate(BUTTONS)]
    lines = [
        "// Generated by assets/generate_assets.py; do not edit;",
        "// rebuild with python3 assets/generate_assets.py",
        "//",
        "// The panel's buttons: an id for each hot rectangle of panel_geometry.h, its",
        "// position in buttonTable counted from 1 (0 is no button), and its name.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        '#include "assets/panel_geometry.h"',
        "",
        "enum ButtonId : std::int32_t {",
        "  NoButton = 0,",
    ] + ids + [
        "};",
        "static_assert(%s == kButtonCount);" % BUTTONS[-1][0],
        "",
        "// The buttons' names by id - 1, as above.",
        "inline constexpr const char* kButtonNames[kButtonCount] = {",
    ] + ['    "%s",' % name for name, _ in BUTTONS] + [
        "};",
    ]
    return "\n".join(lines) + "\n"


def control_pixels():
    inside = set()
    for x, y, w, h in (skin_rect(name) for name, _ in BUTTONS):
        for yy in range(max(0, y), min(SKIN_H, y + h)):
            for xx in range(max(0, x), min(SKIN_W, x + w)):
                inside.add((xx, yy))
    return inside


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    off, on = draw_skin(False), draw_skin(True)
    # Outside the hot rectangles the lit skin is the unlit one, pixel for pixel.
    inside = control_pixels()
    for y in range(SKIN_H):
        for x in range(SKIN_W):
            if (x, y) not in inside:
                on.px[y * SKIN_W + x] = list(off.px[y * SKIN_W + x])
    palette, (off_idx, on_idx) = quantise([off, on], [LCD_BG])
    write_8bit(os.path.join(out, "skinOff.bmp"), off, palette, off_idx)
    write_8bit(os.path.join(out, "skinOn.bmp"), on, palette, on_idx)

    strip = draw_display_strip()
    spal, (sidx,) = quantise([strip], [LCD_BG])
    write_8bit(os.path.join(out, "displayStrip.bmp"), strip, spal, sidx)

    write_24bit(os.path.join(out, "knobImage.bmp"), draw_knob())

    for size in ICON_SIZES:
        icon, alpha = draw_icon(size)
        if size in WINDOW_ICON_SIZES:
            ipal, (iidx,) = quantise([icon])
            write_8bit(os.path.join(out, "icon%d.bmp" % size), icon, ipal, iidx)
        write_png_rgba(os.path.join(out, "icon%d.png" % size), icon, alpha)

    with open(os.path.join(out, "panel_geometry.h"), "w") as f:
        f.write(geometry_header())
    with open(os.path.join(out, "panel_buttons.h"), "w") as f:
        f.write(buttons_header())


if __name__ == "__main__":
    main()
