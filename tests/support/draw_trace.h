// Names what each drawing operation puts into the window. Before every operation
// the window surface is filled with a colour that no picture holds; when the
// operation presents the surface, the pixels it drew are named after the stored
// images they match, and the surface is filled again. A trace reads, operation by
// operation and separated by " | ", e.g. "Bypass- | Mute- | Echo+": a button's
// name with + for its lit and - for its unlit picture, "Panel" for the whole
// unlit skin, the areas PresetArea, SlicerRow and KnobTrack, the readouts as
// Delay=... and Down=..., "Knob@k" for the knob at gainKnob k, and "stray" for
// anything else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "panel/button_table.h"
#include "panel/panel_images.h"
#include "platform/surface.h"
#include "platform/window.h"

namespace drawtrace {

inline constexpr std::uint32_t kDirt = 0xFF00FE;  // in no palette of the artwork

inline std::vector<std::string> frames;

struct Area {
  const char* name;
  int x, y, w, h;
};

inline void fillDirt() {
  for (auto& row : windowSurface)
    for (auto& p : row) p = kDirt;
}

inline std::uint32_t skinPixel(int lit, int x, int y) {
  return storedImagePixel(storedImage(lit ? SkinOnImage : SkinOffImage), x, y - kHiddenTopRows);
}

struct Scan {
  std::vector<bool> named = std::vector<bool>(kWindowWidth * kWindowHeight, false);

  static bool inside(int x, int y) {
    return x >= 0 && y >= 0 && x < kWindowWidth && y < kWindowHeight;
  }

  // True when every pixel of the area (clipped to the window) was drawn.
  static bool drawn(const Area& a) {
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x)
        if (inside(x, y) && windowSurface[y][x] == kDirt) return false;
    return true;
  }
  bool allNamed(const Area& a) const {
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x)
        if (inside(x, y) && !named[y * kWindowWidth + x]) return false;
    return true;
  }
  void name(const Area& a) {
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x)
        if (inside(x, y)) named[y * kWindowWidth + x] = true;
  }
  // "+" if the area shows the lit skin, "-" the unlit one, "?" anything else.
  static const char* skinLook(const Area& a) {
    bool on = true, off = true;
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x) {
        if (!inside(x, y)) continue;
        on = on && windowSurface[y][x] == skinPixel(1, x, y);
        off = off && windowSurface[y][x] == skinPixel(0, x, y);
      }
    return off ? "-" : on ? "+" : "?";
  }
};

// Which readout cell of the display strip is shown at (x, y), or "?".
inline std::string readoutAt(int x, int y) {
  struct Cell {
    const char* text;
    int cx, cy;
  };
  static const Cell cells[] = {{"OFF", 0, 0}, {"X2", 36, 0},    {"X4", 72, 0},    {"X8", 108, 0},
                               {"2S", 0, 12}, {"1/4S", 36, 12}, {"1/2S", 72, 12}, {"1S", 108, 12}};
  const StoredImage strip = storedImage(DisplayStripImage);
  for (const Cell& c : cells) {
    bool same = true;
    for (int dy = 0; dy < 12 && same; ++dy)
      for (int dx = 0; dx < 36 && same; ++dx)
        same = windowSurface[y + dy][x + dx] == storedImagePixel(strip, c.cx + dx, c.cy + dy);
    if (same) return c.text;
  }
  return "?";
}

inline std::string describeSurface() {
  Scan scan;
  std::string out;
  const auto add = [&out](const std::string& token) { out += (out.empty() ? "" : " ") + token; };

  const Area panel{"Panel", 0, kHiddenTopRows, kWindowWidth, kWindowHeight - kHiddenTopRows};
  if (Scan::drawn(panel) && std::string(Scan::skinLook(panel)) == "-") {
    add("Panel");
    scan.name(panel);
  }
  for (const Area& a : {Area{"PresetArea", 129, 30, 115, 42}, Area{"SlicerRow", 10, 180, 180, 27},
                        Area{"KnobTrack", 217, 90, 20, 130}}) {
    if (scan.allNamed(a) || !Scan::drawn(a)) continue;
    add(std::string(a.name) + Scan::skinLook(a));
    scan.name(a);
  }
  for (int id = 1; id <= kButtonCount - 1; ++id) {
    const ButtonRect& r = buttonTable[id - 1];
    const Area a{kButtonNames[id - 1], r.x, r.y, r.w, r.h};
    if (scan.allNamed(a) || !Scan::drawn(a)) continue;
    add(std::string(a.name) + Scan::skinLook(a));
    scan.name(a);
  }
  for (const Area& a : {Area{"Delay", 16, 220, 36, 12}, Area{"Down", 16, 250, 36, 12}}) {
    if (scan.allNamed(a) || !Scan::drawn(a)) continue;
    add(std::string(a.name) + "=" + readoutAt(a.x, a.y));
    scan.name(a);
  }
  const StoredImage knob = storedImage(KnobImage);
  for (int top = 0; top + 4 <= kWindowHeight; ++top) {
    const Area a{"Knob", 219, top, 16, 4};
    if (scan.allNamed(a)) continue;
    bool same = true;
    for (int dy = 0; dy < 4 && same; ++dy)
      for (int dx = 0; dx < 16 && same; ++dx)
        same = windowSurface[top + dy][219 + dx] == storedImagePixel(knob, dx, dy);
    if (!same) continue;
    add("Knob@" + std::to_string(top - 99));
    scan.name(a);
  }
  for (int y = 0; y < kWindowHeight; ++y)
    for (int x = 0; x < kWindowWidth; ++x)
      if (windowSurface[y][x] != kDirt && !scan.named[y * kWindowWidth + x]) {
        add("stray");
        return out.empty() ? "nothing" : out;
      }
  return out.empty() ? "nothing" : out;
}

inline void record() {
  frames.push_back(describeSurface());
  fillDirt();
}

// Starts naming every drawing operation from now on.
inline void start() {
  frames.clear();
  fillDirt();
  setSurfacePresenter(record);
}

// Stops naming and returns the trace since start().
inline std::string stop() {
  setSurfacePresenter(nullptr);
  std::string out;
  for (const std::string& f : frames) out += (out.empty() ? "" : " | ") + f;
  frames.clear();
  return out;
}

}  // namespace drawtrace
