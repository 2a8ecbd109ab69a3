#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/picture.h"
#include "platform/surface.h"

namespace {

constexpr std::uint32_t kDirt = 0x010203;

std::vector<std::uint8_t> header(int w, int h, int bits, std::uint32_t compression = 0,
                                 int planes = 1, std::uint32_t size = 40) {
  std::vector<std::uint8_t> buf(40 + 1024);
  BitmapInfoHeader hd{};
  hd.headerSize = size;
  hd.width = w;
  hd.height = h;
  hd.planes = static_cast<std::uint16_t>(planes);
  hd.bitsPerPixel = static_cast<std::uint16_t>(bits);
  hd.compression = compression;
  std::memcpy(buf.data(), &hd, 40);
  for (int i = 0; i < 256; ++i) {  // entry i: blue i, green 2i, red 3i
    buf[40 + 4 * i] = i, buf[41 + 4 * i] = 2 * i, buf[42 + 4 * i] = 3 * i, buf[43 + 4 * i] = 0;
  }
  return buf;
}

std::uint32_t entry(int i) {
  return ((3 * i & 0xFF) << 16) | ((2 * i & 0xFF) << 8) | (i & 0xFF);
}

void dirty() {
  for (auto& row : windowSurface)
    for (auto& p : row) p = kDirt;
}

int changedPixels() {
  int n = 0;
  for (auto& row : windowSurface)
    for (auto p : row) n += p != kDirt;
  return n;
}

// A 4 x 3 8-bit picture whose pixel seen at (x, y) is index 10 * y + x + 1.
Picture* smallPicture() {
  Picture* p = createPicture(header(4, 3, 8).data());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) p->pixels[(2 - y) * p->stride + x] = 10 * y + x + 1;
  return p;
}

}  // namespace

TEST(Picture, RefusesHeadersItCannotShow) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> h;
  } cases[] = {{"size 41", header(4, 4, 8, 0, 1, 41)},
               {"two planes", header(4, 4, 8, 0, 2)},
               {"4 bits", header(4, 4, 4)},
               {"32 bits", header(4, 4, 32)},
               {"run-length", header(4, 4, 8, 1)},
               {"top-down", header(4, -4, 8)},
               {"no width", header(0, 4, 8)},
               {"huge", header(100000, 4, 24)}};
  for (const Case& c : cases) EXPECT_EQ(createPicture(c.h.data()), nullptr) << c.what;
  EXPECT_EQ(createPicture(nullptr), nullptr);
  Picture* p = createPicture(header(3, 2, 24).data());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->stride, 12);  // 9 bytes rounded up to a multiple of 4
  deletePicture(p);
  deletePicture(nullptr);
}

TEST(Picture, CopiesThroughThePaletteBottomRowFirstAndClips) {
  Picture* p = smallPicture();
  struct Case {
    int dx, dy, w, h, sx, sy;
    int firstX, firstY, firstIndex, count;  // first drawn window pixel, its index, pixels drawn
  } cases[] = {
      {10, 40, 4, 3, 0, 0, 10, 40, 1, 12},     // whole picture; seen top row is stored last
      {10, 40, 2, 2, 1, 1, 10, 40, 12, 4},     // inner rectangle
      {-1, -2, 4, 3, 0, 0, 0, 0, 22, 3},       // off the top-left of the window
      {238, 293, 4, 3, 0, 0, 238, 293, 1, 4},  // off the bottom-right
      {10, 40, 9, 9, 2, 1, 10, 40, 13, 4},     // wider than what is left of the picture
      {10, 40, 4, 3, -1, -1, 11, 41, 1, 6},    // source starts before the picture
      {10, 40, 4, 3, 4, 0, 0, 0, 0, 0},        // source entirely outside
      {240, 40, 4, 3, 0, 0, 0, 0, 0, 0},       // destination entirely outside
      {10, 40, 0, 3, 0, 0, 0, 0, 0, 0},        // empty
      {10, 40, -3, 3, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy << " from " << c.sx << "," << c.sy);
    dirty();
    copyPictureToWindow(p, c.dx, c.dy, c.w, c.h, c.sx, c.sy);
    EXPECT_EQ(changedPixels(), c.count);
    if (c.count) {
      EXPECT_EQ(windowSurface[c.firstY][c.firstX], entry(c.firstIndex));
    }
  }
  dirty();
  copyPictureToWindow(p, 0, 0, 4, 3, 0, 0);
  EXPECT_EQ(windowSurface[2][3], entry(24));  // bottom-right pixel: the stored row 0
  deletePicture(p);
}

TEST(Picture, TwentyFourBitRowsArePaddedAndReadBlueGreenRed) {
  Picture* p = createPicture(header(3, 2, 24).data());
  ASSERT_NE(p, nullptr);
  // Stored row 0 is the bottom row; pixel (2, 1) seen on screen is its last pixel.
  const std::uint8_t bottom[12] = {1, 2, 3, 4, 5, 6, 0x30, 0x20, 0x10, 0, 0, 0};
  const std::uint8_t top[12] = {0xAA, 0xBB, 0xCC, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(p->pixels, bottom, 12);
  std::memcpy(p->pixels + 12, top, 12);
  dirty();
  copyPictureToWindow(p, 5, 5, 3, 2, 0, 0);
  EXPECT_EQ(windowSurface[5][5], 0xCCBBAAu);
  EXPECT_EQ(windowSurface[6][5], 0x030201u);
  EXPECT_EQ(windowSurface[6][7], 0x102030u);
  deletePicture(p);
}

TEST(Picture, WithoutPixelMemoryCopiesDrawNothing) {
  withholdPicturePixels(true);
  Picture* p = createPicture(header(4, 3, 8).data());
  withholdPicturePixels(false);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->pixels, nullptr);
  dirty();
  copyPictureToWindow(p, 0, 0, 4, 3, 0, 0);
  copyPictureToWindow(nullptr, 0, 0, 4, 3, 0, 0);
  EXPECT_EQ(changedPixels(), 0);
  deletePicture(p);
}
