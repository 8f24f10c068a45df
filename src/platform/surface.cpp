// Software drawing into 32-bit surfaces: copies, colour-keyed copies, fills,
// rectangles, lines and polygons. Every operation clips to the destination's
// clip rectangle and to the source, so out-of-range coordinates are safe.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/platform.h"

#include "core/idle_path.h"

namespace vesperon {
namespace {

VESPERON_IDLE_PATH TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.Empty()) return {};
  return r;
}

// Clips a copy of w x h pixels from (sx, sy) to (dx, dy) against the source
// bounds and the destination clip; false when nothing is left.
VESPERON_IDLE_PATH bool ClipCopy(const TSurface& dst, const TSurface& src, int32_t& dx, int32_t& dy,
                                 int32_t& w, int32_t& h, int32_t& sx, int32_t& sy) {
  if (w <= 0 || h <= 0) return false;
  TRect target = Intersect({dx, dy, dx + w, dy + h}, dst.Clip());
  TRect source = Intersect({sx, sy, sx + w, sy + h}, {0, 0, src.Width(), src.Height()});
  // Bring the source rectangle into destination coordinates and intersect.
  source = {source.Left - sx + dx, source.Top - sy + dy, source.Right - sx + dx,
            source.Bottom - sy + dy};
  TRect r = Intersect(target, source);
  if (r.Empty()) return false;
  sx += r.Left - dx;
  sy += r.Top - dy;
  dx = r.Left;
  dy = r.Top;
  w = r.Width();
  h = r.Height();
  return true;
}

// Copies one row of `w` pixels between surfaces that do not overlap. The
// short rows of a control (a scrolling label copies its background on every
// step) are copied here, not by the C library, whose call costs more than
// the copy of a few hundred bytes.
void CopyRow(uint32_t* d, const uint32_t* s, int32_t w) {
  constexpr int32_t kLongRow = 512;
  if (w > kLongRow) {
    std::memcpy(d, s, static_cast<std::size_t>(w) * 4);
    return;
  }
  int32_t x = 0;
#if defined(__SSE2__)
  for (; x + 4 <= w; x += 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x)));
  }
#endif
  for (; x < w; ++x) d[x] = s[x];
}

void PutPixel(TSurface& dst, int32_t x, int32_t y, TColor color) {
  if (dst.Clip().Contains(x, y)) dst.Row(y)[x] = color;
}

}  // namespace

TSurface::TSurface(int32_t width, int32_t height, TColor fill)
    : Width_(std::max(width, 0)),
      Height_(std::max(height, 0)),
      Pixels_(static_cast<std::size_t>(Width_) * Height_, fill & 0xFFFFFF),
      Clip_{0, 0, Width_, Height_} {}

TSurface TSurface::FromImage(const TImage& image) {
  TSurface s(image.Width, image.Height);
  const std::size_t bytes = s.Pixels_.size() * 4;
  // An empty surface has no pixel buffer to copy into (memcpy needs one).
  if (bytes > 0 && image.Pixels.size() >= bytes) {
    std::memcpy(s.Pixels_.data(), image.Pixels.data(), bytes);
    for (uint32_t& p : s.Pixels_) p &= 0xFFFFFF;  // the fourth byte is always 0
  }
  return s;
}

TImage TSurface::ToImage() const {
  TImage image;
  image.Width = Width_;
  image.Height = Height_;
  image.Pixels.resize(Pixels_.size() * 4);
  if (!Pixels_.empty()) std::memcpy(image.Pixels.data(), Pixels_.data(), image.Pixels.size());
  return image;
}

void TSurface::Resize(int32_t width, int32_t height, TColor fill) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == Width_ && height == Height_) return;
  std::vector<uint32_t> pixels(static_cast<std::size_t>(width) * height, fill & 0xFFFFFF);
  const int32_t w = std::min(width, Width_);
  // A surface 0 pixels wide has no buffer to copy into (or from).
  for (int32_t y = 0; w > 0 && y < std::min(height, Height_); ++y) {
    std::memcpy(pixels.data() + static_cast<std::size_t>(y) * width, Row(y),
                static_cast<std::size_t>(w) * 4);
  }
  Pixels_ = std::move(pixels);
  Width_ = width;
  Height_ = height;
  Clip_ = {0, 0, Width_, Height_};
}

void TSurface::SetClip(const TRect& clip) { Clip_ = Intersect(clip, {0, 0, Width_, Height_}); }

void TSurface::ResetClip() { Clip_ = {0, 0, Width_, Height_}; }

VESPERON_IDLE_PATH void Blit(TSurface& dst, int32_t dx, int32_t dy, int32_t w, int32_t h,
                             const TSurface& src, int32_t sx, int32_t sy) {
  if (!ClipCopy(dst, src, dx, dy, w, h, sx, sy)) return;
  if (&dst == &src) {
    // Overlapping copy within one surface: memmove row by row in a safe order.
    if (dy > sy) {
      for (int32_t y = h - 1; y >= 0; --y)
        std::memmove(dst.Row(dy + y) + dx, src.Row(sy + y) + sx, static_cast<std::size_t>(w) * 4);
      return;
    }
    for (int32_t y = 0; y < h; ++y)
      std::memmove(dst.Row(dy + y) + dx, src.Row(sy + y) + sx, static_cast<std::size_t>(w) * 4);
    return;
  }
  for (int32_t y = 0; y < h; ++y) CopyRow(dst.Row(dy + y) + dx, src.Row(sy + y) + sx, w);
}

VESPERON_IDLE_PATH void TransparentBlit(TSurface& dst, int32_t dx, int32_t dy, int32_t w, int32_t h,
                                        const TSurface& src, int32_t sx, int32_t sy, TColor key) {
  if (!ClipCopy(dst, src, dx, dy, w, h, sx, sy)) return;
  key &= 0xFFFFFF;
#if defined(__SSE2__)
  // Four pixels at a time (labels draw their glyphs this way on every
  // scroll step): where the source equals the key the destination stays.
  const __m128i keys = _mm_set1_epi32(static_cast<int>(key));
#endif
  for (int32_t y = 0; y < h; ++y) {
    uint32_t* d = dst.Row(dy + y) + dx;
    const uint32_t* s = src.Row(sy + y) + sx;
    int32_t x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= w; x += 4) {
      const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
      const __m128i under = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x));
      const __m128i keyed = _mm_cmpeq_epi32(pixels, keys);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x),
                       _mm_or_si128(_mm_and_si128(keyed, under), _mm_andnot_si128(keyed, pixels)));
    }
#endif
    for (; x < w; ++x) {
      const uint32_t pixel = s[x];
      d[x] = pixel != key ? pixel : d[x];
    }
  }
}

void FillRect(TSurface& dst, const TRect& rect, TColor color) {
  if (color == clNone) return;
  const TRect r = Intersect(rect, dst.Clip());
  if (r.Empty()) return;
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    std::fill_n(dst.Row(y) + r.Left, r.Width(), color & 0xFFFFFF);
}

void DrawRectangle(TSurface& dst, const TRect& rect, TColor fill, TColor outline) {
  if (rect.Empty()) return;
  FillRect(dst, {rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1}, fill);
  if (outline == clNone) return;
  FillRect(dst, {rect.Left, rect.Top, rect.Right, rect.Top + 1}, outline);
  FillRect(dst, {rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom}, outline);
  FillRect(dst, {rect.Left, rect.Top, rect.Left + 1, rect.Bottom}, outline);
  FillRect(dst, {rect.Right - 1, rect.Top, rect.Right, rect.Bottom}, outline);
}

void DrawLine(TSurface& dst, TPointI from, TPointI to, TColor color) {
  if (color == clNone) return;
  // Bresenham; both end points are drawn. Drawn from the upper end, so
  // that a line and its mirror image get mirrored pixels.
  if (from.Y > to.Y || (from.Y == to.Y && from.X > to.X)) std::swap(from, to);
  int32_t x = from.X, y = from.Y;
  const int32_t ddx = std::abs(to.X - x), ddy = -std::abs(to.Y - y);
  const int32_t stepX = x < to.X ? 1 : -1, stepY = y < to.Y ? 1 : -1;
  int32_t err = ddx + ddy;
  for (int32_t guard = 0; guard <= ddx - ddy + 1; ++guard) {
    PutPixel(dst, x, y, color & 0xFFFFFF);
    if (x == to.X && y == to.Y) break;
    const int32_t e2 = 2 * err;
    if (e2 >= ddy) {
      err += ddy;
      x += stepX;
    }
    if (e2 <= ddx) {
      err += ddx;
      y += stepY;
    }
  }
}

void DrawPolygon(TSurface& dst, const std::vector<TPointI>& points, TColor fill, TColor outline) {
  if (points.size() < 2) return;
  if (fill != clNone && points.size() >= 3) {
    // Scan line fill: a pixel is inside when its centre is inside the
    // polygon by the even-odd rule.
    int32_t top = points[0].Y;
    int32_t bottom = top;
    for (const TPointI& p : points) {
      top = std::min(top, p.Y);
      bottom = std::max(bottom, p.Y);
    }
    top = std::max(top, dst.Clip().Top);
    bottom = std::min(bottom, dst.Clip().Bottom - 1);
    std::vector<double> xs;
    for (int32_t y = top; y <= bottom; ++y) {
      const double cy = y + 0.5;
      xs.clear();
      for (std::size_t i = 0; i < points.size(); ++i) {
        const TPointI& a = points[i];
        const TPointI& b = points[(i + 1) % points.size()];
        if ((a.Y <= cy && b.Y > cy) || (b.Y <= cy && a.Y > cy)) {
          xs.push_back(a.X + (cy - a.Y) * (b.X - a.X) / static_cast<double>(b.Y - a.Y));
        }
      }
      std::sort(xs.begin(), xs.end());
      for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
        // Pixels whose centre x + 0.5 lies in [xs[i], xs[i+1]).
        const int32_t x0 = static_cast<int32_t>(std::ceil(xs[i] - 0.5));
        const int32_t x1 = static_cast<int32_t>(std::ceil(xs[i + 1] - 0.5));
        FillRect(dst, {x0, y, x1, y + 1}, fill);
      }
    }
  }
  if (outline != clNone) {
    for (std::size_t i = 0; i < points.size(); ++i)
      DrawLine(dst, points[i], points[(i + 1) % points.size()], outline);
  }
}

}  // namespace vesperon
