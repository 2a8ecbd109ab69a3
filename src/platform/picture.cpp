#include "platform/picture.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/surface.h"

namespace {

std::atomic<bool> pixelsWithheld{false};

std::uint32_t readU32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

Picture* createPicture(const std::uint8_t* headerAndPalette) {
  if (!headerAndPalette) return nullptr;
  BitmapInfoHeader header;
  std::memcpy(&header, headerAndPalette, sizeof header);
  if (header.headerSize != kBitmapInfoHeaderBytes || header.planes != 1 || header.compression != 0)
    return nullptr;
  if (header.bitsPerPixel != 8 && header.bitsPerPixel != 24) return nullptr;
  if (header.width <= 0 || header.height <= 0 || header.width > 4096 || header.height > 4096)
    return nullptr;

  auto* picture = static_cast<Picture*>(std::calloc(1, sizeof(Picture)));
  if (!picture) return nullptr;
  picture->width = header.width;
  picture->height = header.height;
  picture->bitsPerPixel = header.bitsPerPixel;
  picture->stride = ((header.width * header.bitsPerPixel + 31) / 32) * 4;
  if (header.bitsPerPixel == 8) {
    const std::uint8_t* entries = headerAndPalette + kBitmapInfoHeaderBytes;
    for (int i = 0; i < 256; ++i) picture->palette[i] = readU32(entries + 4 * i) & 0xFFFFFF;
  }
  if (!pixelsWithheld.load(std::memory_order_relaxed)) {
    picture->pixels = static_cast<std::uint8_t*>(
        std::calloc(static_cast<std::size_t>(picture->stride) * picture->height, 1));
  }
  return picture;
}

void deletePicture(Picture* picture) {
  if (!picture) return;
  std::free(picture->pixels);
  std::free(picture);
}

void copyPictureToWindow(const Picture* picture, std::int32_t dstX, std::int32_t dstY,
                         std::int32_t w, std::int32_t h, std::int32_t srcX, std::int32_t srcY) {
  if (!picture || !picture->pixels) return;
  // 64-bit arithmetic: positions come from settings and must not overflow.
  long long sx = srcX, sy = srcY, dx = dstX, dy = dstY, cw = w, ch = h;
  // Clip the left and top edges against both the picture and the window.
  const long long left = std::max({0LL - sx, 0LL - dx, 0LL});
  const long long top = std::max({0LL - sy, 0LL - dy, 0LL});
  sx += left, dx += left, cw -= left;
  sy += top, dy += top, ch -= top;
  cw = std::min({cw, picture->width - sx, kWindowWidth - dx});
  ch = std::min({ch, picture->height - sy, kWindowHeight - dy});
  if (cw <= 0 || ch <= 0) return;

  for (long long row = 0; row < ch; ++row) {
    const std::uint8_t* src = picture->pixels + (picture->height - 1 - (sy + row)) *
                                                    static_cast<long long>(picture->stride);
    std::uint32_t* dst = &windowSurface[dy + row][dx];
    if (picture->bitsPerPixel == 8) {
      const std::uint8_t* p = src + sx;
      for (long long i = 0; i < cw; ++i) dst[i] = picture->palette[p[i]];
    } else {
      const std::uint8_t* p = src + 3 * sx;
      for (long long i = 0; i < cw; ++i, p += 3)
        dst[i] = (static_cast<std::uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
    }
  }
}

void withholdPicturePixels(bool withhold) {
  pixelsWithheld.store(withhold, std::memory_order_relaxed);
}
