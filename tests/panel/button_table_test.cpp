#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "panel/button_table.h"

namespace {

// The panel layout written out afresh from the drawing of the panel, not from
// the table in the source: switches, logo band, presets in two rows of five,
// steps ten columns apart, the four +/- keys and the gain track.
std::vector<ButtonRect> layout() {
  std::vector<ButtonRect> t = {{214, 246, 21, 21}, {189, 222, 21, 21}, {25, 145, 41, 21},
                               {214, 222, 21, 21}, {148, 145, 41, 21}, {66, 145, 41, 21},
                               {121, 246, 21, 21}, {107, 145, 41, 21}, {189, 246, 21, 21},
                               {0, 271, 240, 24}};
  for (int i = 0; i < 10; ++i) t.push_back({130 + 21 * (i % 5), 30 + 21 * (i / 5), 21, 21});
  for (int k = 1; k <= 16; ++k) t.push_back({27 + 10 * (k - 1), 181, 11, 11});
  t.insert(t.end(), {{63, 246, 21, 21},
                     {84, 246, 21, 21},
                     {63, 216, 21, 21},
                     {84, 216, 21, 21},
                     {219, 99, 16, 113}});
  return t;
}

bool strictlyInside(const ButtonRect& r, int x, int y) {
  return x > r.x && y > r.y && x < r.x + r.w && y < r.y + r.h;
}

}  // namespace

TEST(ButtonTable, HoldsTheLayoutInIdOrder) {
  const auto expected = layout();
  ASSERT_EQ(expected.size(), static_cast<size_t>(kButtonCount));
  for (int i = 0; i < kButtonCount; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(buttonTable[i].x, expected[i].x);
    EXPECT_EQ(buttonTable[i].y, expected[i].y);
    EXPECT_EQ(buttonTable[i].w, expected[i].w);
    EXPECT_EQ(buttonTable[i].h, expected[i].h);
  }
  EXPECT_EQ(Power, 1);
  EXPECT_EQ(About, 10);
  EXPECT_EQ(Preset10, 20);
  EXPECT_EQ(Step16, 36);
  EXPECT_EQ(DelayDown, 40);
  EXPECT_EQ(GainTrack, 41);
}

// Every position of the window and a margin around it: the id is the last
// rectangle that holds the position strictly, and no position lies in two.
TEST(HitTest, EveryPositionAgreesWithTheLayout) {
  const auto rects = layout();
  for (int y = -4; y < 300; ++y) {
    for (int x = -4; x < 246; ++x) {
      int expected = 0, matches = 0;
      for (int i = 0; i < kButtonCount; ++i) {
        if (strictlyInside(rects[i], x, y)) expected = i + 1, ++matches;
      }
      ASSERT_LE(matches, 1) << x << "," << y;
      ASSERT_EQ(hitTest(x, y), expected) << x << "," << y;
      if (y < 26) {
        ASSERT_EQ(expected, 0);
      }
    }
  }
}

TEST(HitTest, BordersAndFarPositions) {
  struct Case {
    int x, y, id;
  } cases[] = {
      {28, 182, Step1},
      {37, 182, Step1},
      {27, 182, 0},
      {38, 182, Step1 + 1},
      {28, 181, 0},
      {28, 192, 0},
      {28, 191, Step1},
      {220, 100, GainTrack},
      {234, 211, GainTrack},
      {220, 99, 0},
      {219, 150, 0},
      {220, 212, 0},
      {1, 272, About},
      {239, 294, About},
      {0, 280, 0},
      {100, 271, 0},
      {240, 280, 0},
      {100, 295, 0},
      {235, 40, 0},
      {234, 40, Preset1 + 4},
      {150, 40, Preset1},
      {151, 40, 0},
      {152, 40, Preset1 + 1},
      {215, 52, Preset10},
      {65535, 65535, 0},
      {-1, -1, 0},
      {INT_MAX, INT_MAX, 0},
      {INT_MIN, INT_MIN, 0},
      {100, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(hitTest(c.x, c.y), c.id) << c.x << "," << c.y;
}
