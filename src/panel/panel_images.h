// The images the panel is drawn from, embedded in the program as BMP files
// (drawn by assets/generate_assets.py). Each view points into the embedded
// bytes: nothing is copied or loaded at run time.
#pragma once

#include <cstdint>
#include <string_view>

#include "assets/panel_geometry.h"

enum StoredImageId : std::int32_t {
  SkinOffImage,       // 240 x 271, 8 bits per pixel: the panel, every control unlit
  SkinOnImage,        // 240 x 271, 8 bits per pixel: the same panel, every control lit
  DisplayStripImage,  // 144 x 24, 8 bits per pixel: readout cells of 36 x 12
  KnobImage,          // 16 x 4, 24 bits per pixel: the gain knob
  Icon32Image,        // 32 x 32, 8 bits per pixel: application icon
  Icon16Image,        // 16 x 16, 8 bits per pixel: application icon
  StoredImageCount
};

// The skin's row 0 is window row kHiddenTopRows: the panel starts on the first
// row the desktop shows.

// The place in kStripCells of the cell drawn with `lettering`, or -1 when the
// strip has none.
constexpr int stripCellIndex(const char* lettering) {
  if (lettering == nullptr) return -1;
  for (int i = 0; i < kStripCellCount; ++i)
    if (std::string_view(kStripCells[i].lettering) == lettering) return i;
  return -1;
}

struct StoredImage {
  std::int32_t width;         // pixels; 0 for an unknown id
  std::int32_t height;        // pixels, rows stored bottom row first
  std::int32_t bitsPerPixel;  // 8 or 24
  // 8 bits per pixel: 256 entries of blue, green, red, 0 (the palette words
  // 0x00RRGGBB in little-endian byte order). Null for 24 bits per pixel.
  const std::uint8_t* palette;
  const std::uint8_t* pixels;  // rows bottom first, each padded to a multiple of 4 bytes
  std::int32_t pixelBytes;     // stride * height
};

StoredImage storedImage(std::int32_t id);

// Colour 0x00RRGGBB of the pixel seen at (x, y) counted from the image's top-left
// corner; 0 outside the image.
std::uint32_t storedImagePixel(const StoredImage& image, std::int32_t x, std::int32_t y);
