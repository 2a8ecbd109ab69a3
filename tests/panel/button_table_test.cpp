// Hit testing, with the generated rectangles as its input: a button is hit
// from just inside each of its edges and not on them, and nothing is hit but
// the button whose rectangle holds the position (the generator itself refuses
// rectangles that overlap or reach into the hidden rows).
#include <gtest/gtest.h>

#include <climits>

#include "panel/button_table.h"

namespace {

struct Probe {
  int dx, dy;  // from the rectangle's top-left corner, in units of its width and height / 2
  int ox, oy;  // then this many pixels
  bool hits;   // the button itself
};

// The centre, just inside each edge and two corners; each edge itself.
constexpr Probe kProbes[] = {
    {1, 1, 0, 0, true},  {0, 1, 1, 0, true},  {2, 1, -1, 0, true},  {1, 0, 0, 1, true},
    {1, 2, 0, -1, true}, {0, 0, 1, 1, true},  {2, 2, -1, -1, true}, {0, 1, 0, 0, false},
    {2, 1, 0, 0, false}, {1, 0, 0, 0, false}, {1, 2, 0, 0, false},  {0, 0, 0, 0, false},
};

TEST(HitTest, EachButtonFromJustInsideItsEdgesAndNotOnThem) {
  for (int id = 1; id <= kButtonCount; ++id) {
    const ButtonRect& r = buttonTable[id - 1];
    for (const Probe& p : kProbes) {
      const int x = r.x + p.dx * r.w / 2 + p.ox, y = r.y + p.dy * r.h / 2 + p.oy;
      EXPECT_EQ(hitTest(x, y) == id, p.hits) << kButtonNames[id - 1] << " at " << x << "," << y;
    }
  }
}

// Every position of the window and a margin around it: a hit is a button whose
// rectangle holds the position strictly, never in the hidden rows.
TEST(HitTest, EveryHitLiesInsideTheButtonHit) {
  for (int y = -4; y < kWindowHeight + 5; ++y)
    for (int x = -4; x < kWindowWidth + 6; ++x) {
      const int id = hitTest(x, y);
      if (id == NoButton) continue;
      ASSERT_TRUE(id >= 1 && id <= kButtonCount) << x << "," << y;
      const ButtonRect& r = buttonTable[id - 1];
      ASSERT_TRUE(x > r.x && y > r.y && x < r.x + r.w && y < r.y + r.h) << x << "," << y;
      ASSERT_GE(y, kHiddenTopRows);
    }
}

TEST(HitTest, FarPositionsHitNothing) {
  const struct {
    int x, y;
  } cases[] = {{65535, 65535},     {-1, -1},       {INT_MAX, INT_MAX},
               {INT_MIN, INT_MIN}, {INT_MAX, 100}, {100, INT_MIN}};
  for (const auto& c : cases) EXPECT_EQ(hitTest(c.x, c.y), NoButton) << c.x << "," << c.y;
}

}  // namespace
