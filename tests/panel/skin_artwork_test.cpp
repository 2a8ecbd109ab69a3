#include <gtest/gtest.h>

#include <set>

#include "panel/button_table.h"
#include "panel/panel_images.h"
#include "platform/window.h"

namespace {

double luminance(std::uint32_t c) {
  return 0.299 * ((c >> 16) & 0xFF) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * (c & 0xFF);
}

// Whether skin pixel (x, y) lies in any control rectangle (taken with its
// border pixels: the artwork of a control may use its whole rectangle).
bool inControl(int x, int y) {
  for (const ButtonRect& r : buttonTable) {
    const int top = r.y - kHiddenTopRows;
    if (x >= r.x && x < r.x + r.w && y >= top && y < top + r.h) return true;
  }
  return false;
}

}  // namespace

TEST(PanelArtwork, ImagesHaveTheirSizesAndFormats) {
  struct Case {
    std::int32_t id, w, h, bits;
  } cases[] = {{SkinOffImage, 240, 271, 8},     {SkinOnImage, 240, 271, 8},
               {DisplayStripImage, 144, 24, 8}, {KnobImage, 16, 4, 24},
               {Icon32Image, 32, 32, 8},        {Icon16Image, 16, 16, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const StoredImage image = storedImage(c.id);
    EXPECT_EQ(image.width, c.w);
    EXPECT_EQ(image.height, c.h);
    EXPECT_EQ(image.bitsPerPixel, c.bits);
    EXPECT_EQ(image.palette != nullptr, c.bits == 8);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.pixelBytes, ((c.w * c.bits + 31) / 32) * 4 * c.h);
  }
  EXPECT_EQ(storedImage(StoredImageCount).width, 0);
  EXPECT_EQ(storedImage(-1).pixels, nullptr);
}

// The lit skin is the unlit one outside the control rectangles, and inside every
// rectangle it visibly lights the control up.
TEST(PanelArtwork, SkinsDifferOnlyInsideControlsAndEveryControlLightsUp) {
  const StoredImage off = storedImage(SkinOffImage), on = storedImage(SkinOnImage);
  for (int y = 0; y < kSkinHeight; ++y) {
    for (int x = 0; x < kSkinWidth; ++x) {
      if (!inControl(x, y)) {
        ASSERT_EQ(storedImagePixel(off, x, y), storedImagePixel(on, x, y)) << x << "," << y;
      }
    }
  }
  for (int id = 1; id <= kButtonCount; ++id) {
    SCOPED_TRACE(id);
    const ButtonRect& r = buttonTable[id - 1];
    int differing = 0;
    double lightOff = 0, lightOn = 0;
    for (int y = r.y - kHiddenTopRows; y < r.y - kHiddenTopRows + r.h; ++y) {
      for (int x = r.x; x < r.x + r.w; ++x) {
        const std::uint32_t a = storedImagePixel(off, x, y), b = storedImagePixel(on, x, y);
        differing += a != b;
        lightOff += luminance(a), lightOn += luminance(b);
      }
    }
    const int area = r.w * r.h;
    EXPECT_GT(differing, area / 10);
    EXPECT_GT(lightOn - lightOff, 4.0 * area) << "lit control not clearly brighter";
  }
}

// Each readout cell carries its own lettering on the background of the
// readout boxes of the skin, so a cell sits in its box without a seam.
TEST(PanelArtwork, ReadoutCellsAreDistinctAndMatchTheBoxes) {
  const StoredImage strip = storedImage(DisplayStripImage), skin = storedImage(SkinOffImage);
  const std::uint32_t boxDelay = storedImagePixel(skin, 16, 220 - kHiddenTopRows);
  const std::uint32_t boxDownsampler = storedImagePixel(skin, 16, 250 - kHiddenTopRows);
  EXPECT_EQ(boxDelay, boxDownsampler);
  std::set<std::vector<std::uint32_t>> cells;
  for (int cell = 0; cell < 8; ++cell) {
    SCOPED_TRACE(cell);
    const int cx = 36 * (cell % 4), cy = 12 * (cell / 4);
    std::vector<std::uint32_t> pixels;
    std::set<std::uint32_t> colours;
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 36; ++x) {
        pixels.push_back(storedImagePixel(strip, cx + x, cy + y));
        colours.insert(pixels.back());
      }
    EXPECT_GT(colours.size(), 2u);
    EXPECT_EQ(storedImagePixel(strip, cx, cy), boxDelay);
    EXPECT_EQ(storedImagePixel(strip, cx + 35, cy + 11), boxDelay);
    cells.insert(pixels);
  }
  EXPECT_EQ(cells.size(), 8u);
}

TEST(PanelArtwork, KnobIsAGreyBarWithALightMiddleLine) {
  const StoredImage knob = storedImage(KnobImage);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::uint32_t c = storedImagePixel(knob, x, y);
      const int r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
      EXPECT_LE(std::max({r, g, b}) - std::min({r, g, b}), 24) << "not grey at " << x << "," << y;
    }
  }
  const double line = luminance(storedImagePixel(knob, 8, 1));
  for (int y : {0, 2, 3}) EXPECT_GT(line, luminance(storedImagePixel(knob, 8, y)) + 30);
}
