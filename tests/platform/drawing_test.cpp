#include <gtest/gtest.h>

#include "platform/platform.h"

namespace vesperon {
namespace {

constexpr TColor kRed = MakeColor(255, 0, 0);
constexpr TColor kBlue = MakeColor(0, 0, 255);
constexpr TColor kWhite = MakeColor(255, 255, 255);

// A surface whose every pixel is different: (x, y) holds x + 256 * y.
TSurface Numbered(int32_t w, int32_t h) {
  TSurface s(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) s.Row(y)[x] = static_cast<uint32_t>(x + 256 * y);
  }
  return s;
}

// The bounding box of the pixels that differ from `background`.
TRect Touched(const TSurface& s, TColor background) {
  TRect r{s.Width(), s.Height(), 0, 0};
  for (int32_t y = 0; y < s.Height(); ++y) {
    for (int32_t x = 0; x < s.Width(); ++x) {
      if (s.At(x, y) == background) continue;
      r.Left = std::min(r.Left, x);
      r.Top = std::min(r.Top, y);
      r.Right = std::max(r.Right, x + 1);
      r.Bottom = std::max(r.Bottom, y + 1);
    }
  }
  return r.Empty() ? TRect{} : r;
}

TEST(Surface, ImageRoundTripKeepsByteOrder) {
  TImage image;
  image.Width = 2;
  image.Height = 1;
  image.Pixels = {1, 2, 3, 0, 10, 20, 30, 0};  // blue, green, red, 0
  const TSurface s = TSurface::FromImage(image);
  EXPECT_EQ(s.At(0, 0), MakeColor(3, 2, 1));
  EXPECT_EQ(s.At(1, 0), MakeColor(30, 20, 10));
  EXPECT_EQ(s.ToImage().Pixels, image.Pixels);
  TImage shortImage = image;
  shortImage.Pixels.resize(3);  // truncated pixel data: a blank surface, no overread
  EXPECT_EQ(TSurface::FromImage(shortImage).At(1, 0), 0u);
}

TEST(Surface, BlitIsPixelExactAndClipped) {
  const TSurface src = Numbered(8, 8);
  TSurface dst(6, 6, kWhite);
  Blit(dst, 1, 2, 3, 2, src, 4, 5);
  EXPECT_EQ(dst.At(1, 2), src.At(4, 5));
  EXPECT_EQ(dst.At(3, 3), src.At(6, 6));
  EXPECT_EQ(dst.At(0, 2), kWhite);
  EXPECT_EQ(dst.At(4, 2), kWhite);
  EXPECT_EQ(dst.At(1, 4), kWhite);
  // Partly off both surfaces: only the overlap is copied, nothing else moves.
  TSurface clipped(6, 6, kWhite);
  Blit(clipped, -2, 4, 10, 10, src, 5, 6);
  EXPECT_EQ(clipped.At(0, 4), src.At(7, 6));
  EXPECT_EQ(clipped.At(0, 5), src.At(7, 7));
  EXPECT_EQ(clipped.At(1, 4), kWhite);  // source column 8 does not exist
  EXPECT_EQ(Touched(clipped, kWhite), (TRect{0, 4, 1, 6}));
  // Entirely outside, or with a negative size: nothing.
  TSurface untouched(4, 4, kWhite);
  Blit(untouched, 10, 10, 4, 4, src, 0, 0);
  Blit(untouched, 0, 0, -4, 4, src, 0, 0);
  Blit(untouched, 0, 0, 4, 4, src, 100, 0);
  EXPECT_EQ(Touched(untouched, kWhite), TRect{});
  // Within one surface, overlapping downwards.
  TSurface self = Numbered(4, 4);
  const TSurface before = self;
  Blit(self, 0, 1, 4, 3, self, 0, 0);
  for (int32_t y = 1; y < 4; ++y) EXPECT_EQ(self.At(2, y), before.At(2, y - 1));
}

TEST(Surface, TransparentBlitSkipsOnlyTheKey) {
  TSurface glyphs(3, 1);
  glyphs.Row(0)[0] = MakeColor(255, 0, 255);  // the key
  glyphs.Row(0)[1] = kRed;
  glyphs.Row(0)[2] = MakeColor(255, 0, 254);  // one off the key: drawn
  TSurface dst(3, 1, kBlue);
  TransparentBlit(dst, 0, 0, 3, 1, glyphs, 0, 0, MakeColor(255, 0, 255));
  EXPECT_EQ(dst.At(0, 0), kBlue);
  EXPECT_EQ(dst.At(1, 0), kRed);
  EXPECT_EQ(dst.At(2, 0), MakeColor(255, 0, 254));
}

// Every width and source offset (the wide path takes four pixels at a
// time), against a pixel-by-pixel reference, with the key scattered.
TEST(Surface, TransparentBlitMatchesThePixelRuleAtEveryWidth) {
  const TColor key = MakeColor(255, 0, 255);
  TSurface src(23, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 23; ++x)
      src.Row(y)[x] = (x * 7 + y * 3) % 5 == 0 ? key : MakeColor(x * 9, y * 40, 3);
  for (int32_t w = 0; w <= 23; ++w)
    for (int32_t sx = 0; sx + w <= 23; sx += 3) {
      TSurface dst(30, 3, kBlue);
      TransparentBlit(dst, 2, 0, w, 3, src, sx, 0, key);
      for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 30; ++x) {
          const bool inside = x >= 2 && x < 2 + w;
          const TColor pixel = inside ? src.At(sx + x - 2, y) : key;
          ASSERT_EQ(dst.At(x, y), pixel == key ? kBlue : pixel)
              << "width " << w << ", source x " << sx << ", at " << x << "," << y;
        }
    }
}

// Rows are copied inline up to a length and by the C library beyond it:
// both copy exactly the pixels asked for, at every width and offset.
TEST(Surface, BlitCopiesExactlyTheRowsAtEveryWidth) {
  constexpr int32_t kWide = 700;
  TSurface src(kWide, 2);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < kWide; ++x) src.Row(y)[x] = MakeColor(x % 256, x / 256, y + 1);
  for (const int32_t w : {0, 1, 2, 3, 4, 5, 7, 8, 9, 511, 512, 513, 600}) {
    for (const int32_t sx : {0, 1, 3, 50}) {
      TSurface dst(kWide, 2, kBlue);
      Blit(dst, 5, 0, w, 2, src, sx, 0);
      for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < kWide; ++x) {
          const bool inside = x >= 5 && x < 5 + w && sx + x - 5 < kWide;
          ASSERT_EQ(dst.At(x, y), inside ? src.At(sx + x - 5, y) : kBlue)
              << "width " << w << ", source x " << sx << ", at " << x << "," << y;
        }
    }
  }
}

TEST(Surface, FillsRectanglesAndClip) {
  TSurface s(10, 10, kWhite);
  DrawRectangle(s, {1, 1, 6, 5}, kBlue, kRed);
  EXPECT_EQ(s.At(1, 1), kRed);
  EXPECT_EQ(s.At(5, 4), kRed);
  EXPECT_EQ(s.At(3, 1), kRed);
  EXPECT_EQ(s.At(2, 2), kBlue);
  EXPECT_EQ(s.At(4, 3), kBlue);
  EXPECT_EQ(s.At(6, 4), kWhite);
  EXPECT_EQ(Touched(s, kWhite), (TRect{1, 1, 6, 5}));
  s.SetClip({0, 0, 3, 3});
  FillRect(s, {0, 0, 10, 10}, 0);
  s.ResetClip();
  EXPECT_EQ(Touched(s, kWhite), (TRect{0, 0, 6, 5}));
  EXPECT_EQ(s.At(2, 2), 0u);
  EXPECT_EQ(s.At(3, 3), kBlue);
  FillRect(s, {0, 0, 10, 10}, clNone);  // no colour: nothing drawn
  EXPECT_EQ(s.At(9, 9), kWhite);
  s.Resize(12, 11, kRed);
  EXPECT_EQ(s.At(2, 2), 0u);
  EXPECT_EQ(s.At(11, 10), kRed);
}

TEST(Surface, PolygonFillsTheTriangleWithItsOutline) {
  // The list view's scroll arrow, for a control 100 pixels wide.
  TSurface s(100, 12, kWhite);
  DrawPolygon(s, {{91, 8}, {97, 8}, {94, 2}}, kBlue, 0);
  EXPECT_EQ(Touched(s, kWhite), (TRect{91, 2, 98, 9}));
  EXPECT_EQ(s.At(94, 2), 0u);  // the tip is on the outline
  EXPECT_EQ(s.At(91, 8), 0u);
  EXPECT_EQ(s.At(94, 6), kBlue);  // inside
  EXPECT_EQ(s.At(91, 3), kWhite);
  // Symmetric about the middle column.
  for (int32_t y = 0; y < 12; ++y) {
    for (int32_t d = 0; d <= 3; ++d) EXPECT_EQ(s.At(94 - d, y), s.At(94 + d, y)) << d << "," << y;
  }
  TSurface off(10, 10, kWhite);
  DrawPolygon(off, {{-50, -50}, {200, -40}, {5, 300}}, kBlue, clNone);  // huge: clipped, no crash
  EXPECT_EQ(off.At(0, 0), kBlue);
}

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    font = CreateFont("Verdana", 12);
    ASSERT_NE(font, nullptr) << "no font at all: install fonts-dejavu-core";
  }
  PFont font;
};

TEST_F(TextTest, MissingFontsFallBackToASansFont) {
  EXPECT_FALSE(FontFile(font).empty());
  const PFont sans = CreateFont("MS Sans Serif", -14);
  ASSERT_NE(sans, nullptr);
  EXPECT_GT(FontLineHeight(sans), 12);
  EXPECT_GT(FontAscent(sans), 0);
  EXPECT_GT(TextWidth(font, u"Title"), TextWidth(font, u"Ti"));
  EXPECT_EQ(TextWidth(font, u""), 0);
}

TEST_F(TextTest, TextStaysInsideItsRectangleWithTransparentBackground) {
  TSurface s(200, 40, kWhite);
  const TRect rect{10, 5, 190, 30};
  DrawText(s, font, u"Artist - Title", rect, 0);
  const TRect touched = Touched(s, kWhite);
  EXPECT_FALSE(touched.Empty());
  EXPECT_GE(touched.Left, rect.Left);
  EXPECT_LE(touched.Right, rect.Left + TextWidth(font, u"Artist - Title"));
  EXPECT_GE(touched.Top, rect.Top);
  // Transparent: the background between the letters is untouched.
  EXPECT_EQ(s.At(rect.Left + TextWidth(font, u"Artist") + 2, rect.Top + 2), kWhite);
  // Centred text has equal margins (within a pixel of rounding).
  TSurface c(200, 40, kWhite);
  DrawText(c, font, u"Next", {0, 0, 200, 40}, 0, dtCenter | dtVCenter);
  const TRect t = Touched(c, kWhite);
  EXPECT_NEAR(t.Left, 200 - t.Right, 3);
  EXPECT_NEAR(t.Top, 40 - t.Bottom, 4);
}

TEST_F(TextTest, LongTextEndsWithAnEllipsisInsideTheRectangle) {
  const std::u16string text = u"A very long file name that does not fit.mp3";
  const TRect rect{2, 0, 62, 15};
  TSurface cut(100, 15, kWhite);
  const int32_t width = DrawText(cut, font, text, rect, 0, dtEndEllipsis);
  EXPECT_LE(width, rect.Width());
  const TRect touched = Touched(cut, kWhite);
  EXPECT_GE(touched.Left, rect.Left);
  EXPECT_LE(touched.Right, rect.Right);
  // The cut text differs from the plain, clipped one.
  TSurface plain(100, 15, kWhite);
  DrawText(plain, font, text, rect, 0, dtLeft);
  EXPECT_NE(cut.ToImage().Pixels, plain.ToImage().Pixels);
  // Without the flag the text is just clipped at the right edge.
  EXPECT_LE(Touched(plain, kWhite).Right, rect.Right);
  EXPECT_GE(Touched(plain, kWhite).Right, rect.Right - 3);
  // An empty rectangle draws nothing.
  TSurface none(10, 10, kWhite);
  EXPECT_EQ(DrawText(none, font, text, {5, 5, 5, 9}, 0, dtEndEllipsis), 0);
  EXPECT_EQ(Touched(none, kWhite), TRect{});
}

TEST_F(TextTest, CentredTextOutAndSameTextSamePixels) {
  TSurface a(240, 30, kWhite), b(240, 30, kWhite);
  TextOut(a, font, 120, 5, u"Vesperon", 0, true);
  TextOut(b, font, 120 - TextWidth(font, u"Vesperon") / 2, 5, u"Vesperon", 0, false);
  EXPECT_EQ(a.ToImage().Pixels, b.ToImage().Pixels);
  // Characters outside the basic plane and lone surrogates do not crash.
  TextOut(a, font, 0, 0, u"\U0001F600 \xD800 x", 0);
}

}  // namespace
}  // namespace vesperon
