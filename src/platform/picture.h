// Pictures: device-independent images built from a bitmap information header
// (and a palette for 8 bits per pixel), and the rectangle copy that puts them
// into the window surface.
#pragma once

#include <cstdint>

constexpr int kBitmapInfoHeaderBytes = 40;
constexpr int kPaletteBytes = 256 * 4;

// The standard 40-byte bitmap information header, little-endian, as it is laid
// out in memory in front of the palette.
struct BitmapInfoHeader {
  std::uint32_t headerSize;  // 40
  std::int32_t width;
  std::int32_t height;  // positive: rows stored bottom row first
  std::uint16_t planes;
  std::uint16_t bitsPerPixel;
  std::uint32_t compression;  // 0 = none
  std::uint32_t imageSize;
  std::int32_t horizontalResolution;
  std::int32_t verticalResolution;
  std::uint32_t coloursUsed;
  std::uint32_t importantColours;
};
static_assert(sizeof(BitmapInfoHeader) == kBitmapInfoHeaderBytes);

struct Picture {
  std::int32_t width;
  std::int32_t height;
  std::int32_t bitsPerPixel;   // 8 or 24
  std::int32_t stride;         // bytes per stored row, a multiple of 4
  std::uint32_t palette[256];  // 0x00RRGGBB; unused for 24 bits per pixel
  std::uint8_t* pixels;        // stride * height bytes, bottom row first; may be null
};

// Builds a zero-filled picture of the size and format the header describes; an
// 8-bit header is followed by 256 palette entries of blue, green, red, 0. Null
// for a header this layer cannot show (compressed, top-down, other depths) or
// when no memory is left. The picture may come without pixel memory, like the
// target's; copies from it then draw nothing.
Picture* createPicture(const std::uint8_t* headerAndPalette);
void deletePicture(Picture* picture);

// Copies the w x h rectangle at (srcX, srcY) of the picture, counted from its
// top-left corner as seen on screen, to window position (dstX, dstY), without
// scaling or blending, clipped to the picture and to the window surface.
void copyPictureToWindow(const Picture* picture, std::int32_t dstX, std::int32_t dstY,
                         std::int32_t w, std::int32_t h, std::int32_t srcX, std::int32_t srcY);

// Test hook: while set, pictures are created without pixel memory.
void withholdPicturePixels(bool withhold);
