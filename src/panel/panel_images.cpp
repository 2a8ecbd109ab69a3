#include "panel/panel_images.h"

#include <cstddef>

extern const unsigned char skinOffBmp[];
extern const std::size_t skinOffBmpSize;
extern const unsigned char skinOnBmp[];
extern const std::size_t skinOnBmpSize;
extern const unsigned char displayStripBmp[];
extern const std::size_t displayStripBmpSize;
extern const unsigned char knobImageBmp[];
extern const std::size_t knobImageBmpSize;
extern const unsigned char icon32Bmp[];
extern const std::size_t icon32BmpSize;
extern const unsigned char icon16Bmp[];
extern const std::size_t icon16BmpSize;

namespace {

std::uint32_t readU32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t readU16(const unsigned char* p) {
  return p[0] | (p[1] << 8);
}

// The embedded files are ours and fixed, but a file that does not hold what the
// drawing code expects (uncompressed, bottom-up, 8 or 24 bits, whole pixel rows)
// is refused as an empty image rather than read past its end.
StoredImage viewBmp(const unsigned char* file, std::size_t size) {
  StoredImage none{0, 0, 0, nullptr, nullptr, 0};
  if (size < 54 || file[0] != 'B' || file[1] != 'M') return none;
  const std::uint32_t pixelOffset = readU32(file + 10);
  const unsigned char* info = file + 14;
  const std::int32_t width = static_cast<std::int32_t>(readU32(info + 4));
  const std::int32_t height = static_cast<std::int32_t>(readU32(info + 8));
  const std::int32_t bits = static_cast<std::int32_t>(readU16(info + 14));
  if (readU32(info) != 40 || readU32(info + 16) != 0) return none;
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return none;
  if (bits != 8 && bits != 24) return none;
  const std::size_t paletteBytes = bits == 8 ? 1024 : 0;
  const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  const std::size_t pixelBytes = stride * static_cast<std::size_t>(height);
  if (14 + 40 + paletteBytes > pixelOffset || pixelOffset + pixelBytes > size) return none;
  return StoredImage{width,
                     height,
                     bits,
                     bits == 8 ? file + 14 + 40 : nullptr,
                     file + pixelOffset,
                     static_cast<std::int32_t>(pixelBytes)};
}

}  // namespace

StoredImage storedImage(std::int32_t id) {
  switch (id) {
    case SkinOffImage:
      return viewBmp(skinOffBmp, skinOffBmpSize);
    case SkinOnImage:
      return viewBmp(skinOnBmp, skinOnBmpSize);
    case DisplayStripImage:
      return viewBmp(displayStripBmp, displayStripBmpSize);
    case KnobImage:
      return viewBmp(knobImageBmp, knobImageBmpSize);
    case Icon32Image:
      return viewBmp(icon32Bmp, icon32BmpSize);
    case Icon16Image:
      return viewBmp(icon16Bmp, icon16BmpSize);
    default:
      return StoredImage{0, 0, 0, nullptr, nullptr, 0};
  }
}

std::uint32_t storedImagePixel(const StoredImage& image, std::int32_t x, std::int32_t y) {
  if (x < 0 || y < 0 || x >= image.width || y >= image.height) return 0;
  const std::int32_t stride = image.pixelBytes / image.height;
  const std::uint8_t* row = image.pixels + static_cast<std::size_t>(image.height - 1 - y) * stride;
  if (image.bitsPerPixel == 8) return readU32(image.palette + 4 * row[x]) & 0xFFFFFF;
  const std::uint8_t* p = row + 3 * x;
  return (static_cast<std::uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
}
