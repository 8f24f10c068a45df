// Stencil regions: runs of non-white pixels, and the framed-window shape.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "skin/region.h"
#include "skin_test_util.h"

namespace vesperon {
namespace {

using test::MakeImage;
using test::SetRgb;

using TPixels = std::set<std::pair<int, int>>;

TPixels Covered(const TRegion& region) {
  TPixels out;
  for (const TRect& r : region)
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) EXPECT_TRUE(out.insert({x, y}).second) << "overlap at " << x << "," << y;
  return out;
}

TPixels NonWhite(const TImage& img, int dx = 0, int dy = 0) {
  TPixels out;
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) {
      const uint8_t* p = img.Pixel(x, y);
      if (p[0] != 255 || p[1] != 255 || p[2] != 255) out.insert({x + dx, y + dy});
    }
  return out;
}

TEST(RegionFromMask, AllWhiteGivesNoRegionAndAllBlackTheFullRectangle) {
  EXPECT_TRUE(RegionFromMask(MakeImage(7, 5, 255, 255, 255)).empty());
  const TRegion full = RegionFromMask(MakeImage(7, 5, 0, 0, 0));
  ASSERT_EQ(full.size(), 1u);  // five equal rows merge into one rectangle
  EXPECT_EQ(full[0], (TRect{0, 0, 7, 5}));
}

TEST(RegionFromMask, OnlyPureWhiteIsCutAway) {
  TImage img = MakeImage(3, 1, 255, 255, 255);
  SetRgb(img, 1, 0, 255, 255, 254);
  EXPECT_EQ(RegionFromMask(img), (TRegion{{1, 0, 2, 1}}));
  SetRgb(img, 1, 0, 254, 255, 255);
  EXPECT_EQ(RegionFromMask(img), (TRegion{{1, 0, 2, 1}}));
}

TEST(RegionFromMask, RunsReachingTheRightEdgeCloseAtTheWidth) {
  TImage img = MakeImage(6, 2, 255, 255, 255);
  for (int x = 3; x < 6; ++x) SetRgb(img, x, 0, 0, 0, 0);
  SetRgb(img, 0, 1, 10, 20, 30);
  SetRgb(img, 5, 1, 0, 0, 0);
  EXPECT_EQ(RegionFromMask(img), (TRegion{{3, 0, 6, 1}, {0, 1, 1, 2}, {5, 1, 6, 2}}));
}

TEST(RegionFromMask, CoversExactlyTheNonKeyPixels) {
  TImage img = MakeImage(23, 17, 255, 255, 255);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x)
      if ((x - 11) * (x - 11) + (y - 8) * (y - 8) < 60 || (x * y) % 7 == 3) SetRgb(img, x, y, 0, 0, 0);
  EXPECT_EQ(Covered(RegionFromMask(img)), NonWhite(img));
  // Another key colour cuts away that colour instead.
  const TRegion inverse = RegionFromMask(img, 0, 0, 0);
  TPixels expected;
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x)
      if (!NonWhite(img).count({x, y})) expected.insert({x, y});
  EXPECT_EQ(Covered(inverse), expected);
}

TEST(UnionOfRects, MergesOverlapsIntoDisjointBands) {
  const TRegion u = UnionOfRects({{0, 0, 4, 4}, {2, 2, 6, 6}, {10, 10, 10, 20}});
  TPixels expected;
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x)
      if ((x < 4 && y < 4) || (x >= 2 && y >= 2)) expected.insert({x, y});
  EXPECT_EQ(Covered(u), expected);
  EXPECT_EQ(u.size(), 3u);
}

// A corner mask: a quarter circle of radius 6 opaque towards the window.
TImage CornerMask(bool right, bool bottom) {
  TImage img = MakeImage(6, 6, 255, 255, 255);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const int cx = right ? x : 5 - x, cy = bottom ? y : 5 - y;
      if (cx * cx + cy * cy < 36) SetRgb(img, x, y, 0, 0, 0);
    }
  return img;
}

TEST(FramedWindowRegion, JoinsBandsAndTheFourCorners) {
  const TImage tl = CornerMask(false, false), tr = CornerMask(true, false);
  const TImage bl = CornerMask(false, true), br = CornerMask(true, true);
  const int w = 40, h = 30;
  const TRegion region = FramedWindowRegion(w, h, {&tl, &tr, &bl, &br});
  TPixels expected;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((x >= 6 && x < w - 6) || (y >= 6 && y < h - 6)) expected.insert({x, y});
  for (const auto& p : NonWhite(tl, 0, 0)) expected.insert(p);
  for (const auto& p : NonWhite(tr, w - 6, 0)) expected.insert(p);
  for (const auto& p : NonWhite(bl, 0, h - 6)) expected.insert(p);
  for (const auto& p : NonWhite(br, w - 6, h - 6)) expected.insert(p);
  EXPECT_EQ(Covered(region), expected);
  EXPECT_EQ(expected.count({0, 0}), 0u);
}

TEST(FramedWindowRegion, StaysInsideAWindowSmallerThanItsCorners) {
  const TImage corner = MakeImage(12, 12, 0, 0, 0);
  const TRegion region = FramedWindowRegion(10, 8, {&corner, &corner, &corner, &corner});
  TPixels expected;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) expected.insert({x, y});
  EXPECT_EQ(Covered(region), expected);
  EXPECT_EQ(FramedWindowRegion(10, 8, {}), (TRegion{{0, 0, 10, 8}}));
}

}  // namespace
}  // namespace vesperon
