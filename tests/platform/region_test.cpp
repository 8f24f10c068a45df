#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace vesperon {
namespace {

TImage Stencil(int32_t w, int32_t h, const std::vector<std::string>& rows) {
  // '#' opaque (black), '.' key colour (white).
  TImage image;
  image.Width = w;
  image.Height = h;
  image.Pixels.assign(static_cast<std::size_t>(w) * h * 4, 0);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = image.Pixel(x, y);
      const uint8_t v = rows[y][x] == '.' ? 255 : 0;
      p[0] = p[1] = p[2] = v;
    }
  }
  return image;
}

TEST(Region, NormalizesOverlapsIntoBands) {
  // Two overlapping squares become three bands; touching spans merge.
  TRegion r(std::vector<TRect>{{0, 0, 10, 10}, {5, 5, 15, 15}});
  const std::vector<TRect> expected{{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}};
  EXPECT_EQ(r.Rects(), expected);
  TRegion touching(std::vector<TRect>{{0, 0, 5, 2}, {5, 0, 9, 2}, {0, 2, 9, 4}});
  EXPECT_EQ(touching.Rects(), (std::vector<TRect>{{0, 0, 9, 4}}));
}

TEST(Region, UnionOffsetContainsAndBounds) {
  TRegion r;
  EXPECT_TRUE(r.Empty());
  r.Union(TRect{0, 0, 4, 4});
  r.Union(TRect{});  // empty rectangles change nothing
  r.Union(TRegion(TRect{10, 0, 12, 2}));
  EXPECT_EQ(r.Rects().size(), 3u);
  EXPECT_TRUE(r.Contains(3, 3));
  EXPECT_FALSE(r.Contains(4, 0));
  EXPECT_TRUE(r.Contains(11, 1));
  EXPECT_FALSE(r.Contains(11, 2));
  EXPECT_EQ(r.Bounds(), (TRect{0, 0, 12, 4}));
  r.Offset(100, -5);
  EXPECT_TRUE(r.Contains(100, -5));
  EXPECT_FALSE(r.Contains(0, 0));
  EXPECT_EQ(r.Bounds(), (TRect{100, -5, 112, -1}));
  // The same pixels in another order give the same region.
  TRegion a(std::vector<TRect>{{10, 0, 12, 2}, {0, 0, 4, 4}});
  TRegion b(std::vector<TRect>{{0, 2, 4, 4}, {0, 0, 2, 2}, {2, 0, 4, 2}, {10, 0, 12, 2}});
  EXPECT_EQ(a, b);
}

TEST(Region, FromMaskRunsAndEdges) {
  const TImage s = Stencil(6, 4, {"..##..", "..##..", "#....#", "######"});
  const TRegion r = RegionFromMask(s, 255, 255, 255);
  // Equal rows merge vertically; a run reaching the right edge closes at the width.
  const std::vector<TRect> expected{{2, 0, 4, 2}, {0, 2, 1, 3}, {5, 2, 6, 3}, {0, 3, 6, 4}};
  EXPECT_EQ(r.Rects(), expected);
  // The mask builder and the general constructor agree on the normal form.
  std::vector<TRect> runs{{2, 0, 4, 1}, {2, 1, 4, 2}, {0, 2, 1, 3}, {5, 2, 6, 3}, {0, 3, 6, 4}};
  EXPECT_EQ(r, TRegion(runs));
}

TEST(Region, FromMaskAllKeyAllOpaqueAndNearWhite) {
  EXPECT_TRUE(RegionFromMask(Stencil(3, 2, {"...", "..."}), 255, 255, 255).Empty());
  EXPECT_EQ(RegionFromMask(Stencil(3, 2, {"###", "###"}), 255, 255, 255).Rects(),
            (std::vector<TRect>{{0, 0, 3, 2}}));
  TImage s = Stencil(3, 1, {"..."});
  s.Pixel(1, 0)[0] = 254;  // blue 254: not the key, so opaque
  EXPECT_EQ(RegionFromMask(s, 255, 255, 255).Rects(), (std::vector<TRect>{{1, 0, 2, 1}}));
  TImage truncated = Stencil(3, 1, {"###"});
  truncated.Pixels.resize(4);  // fewer bytes than the size says: no region, no overread
  EXPECT_TRUE(RegionFromMask(truncated, 255, 255, 255).Empty());
}

using TPixels = std::set<std::pair<int, int>>;

TPixels Covered(const TRegion& region) {
  TPixels out;
  for (const TRect& r : region.Rects())
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        EXPECT_TRUE(out.insert({x, y}).second) << "overlap at " << x << "," << y;
  return out;
}

TPixels Opaque(const TImage& img, int dx, int dy) {
  TPixels out;
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x)
      if (img.Pixel(x, y)[0] != 255) out.insert({x + dx, y + dy});
  return out;
}

// A 6 x 6 corner mask: a quarter circle opaque towards the window's inside.
TImage CornerMask(bool right, bool bottom) {
  std::vector<std::string> rows(6, std::string(6, '.'));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const int cx = right ? x : 5 - x, cy = bottom ? y : 5 - y;
      if (cx * cx + cy * cy < 36) rows[y][x] = '#';
    }
  return Stencil(6, 6, rows);
}

TEST(FramedWindowRegion, JoinsTheBandsAndTheFourCorners) {
  const TImage tl = CornerMask(false, false), tr = CornerMask(true, false);
  const TImage bl = CornerMask(false, true), br = CornerMask(true, true);
  const int w = 40, h = 30;
  const TRegion region = FramedWindowRegion(w, h, {&tl, &tr, &bl, &br});
  TPixels expected;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((x >= 6 && x < w - 6) || (y >= 6 && y < h - 6)) expected.insert({x, y});
  for (const auto& p : Opaque(tl, 0, 0)) expected.insert(p);
  for (const auto& p : Opaque(tr, w - 6, 0)) expected.insert(p);
  for (const auto& p : Opaque(bl, 0, h - 6)) expected.insert(p);
  for (const auto& p : Opaque(br, w - 6, h - 6)) expected.insert(p);
  EXPECT_EQ(Covered(region), expected);
  EXPECT_EQ(expected.count({0, 0}), 0u);
  // The same pixels as one normalised region.
  EXPECT_EQ(region, TRegion(region.Rects()));
}

TEST(FramedWindowRegion, StaysInsideAWindowSmallerThanItsCornersAndMissingMasks) {
  const TImage corner = Stencil(12, 12, std::vector<std::string>(12, std::string(12, '#')));
  EXPECT_EQ(FramedWindowRegion(10, 8, {&corner, &corner, &corner, &corner}),
            TRegion(TRect{0, 0, 10, 8}));
  EXPECT_EQ(FramedWindowRegion(10, 8, {}), TRegion(TRect{0, 0, 10, 8}));
  // Only a top-left mask: the other three corner squares are cut away.
  const TImage small = Stencil(2, 2, {"##", "##"});
  const TRegion region = FramedWindowRegion(10, 8, {&small, nullptr, nullptr, nullptr});
  EXPECT_TRUE(region.Contains(0, 0));
  EXPECT_FALSE(region.Contains(9, 0));
  EXPECT_FALSE(region.Contains(0, 7));
  EXPECT_FALSE(region.Contains(9, 7));
  EXPECT_TRUE(region.Contains(5, 0));
}

}  // namespace
}  // namespace vesperon
