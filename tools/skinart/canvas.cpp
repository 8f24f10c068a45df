#include "canvas.h"

namespace skinart {
namespace {

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Coverage of the pixel (x, y) by the shape, from 16 samples.
float Coverage(const TShape& shape, int x, int y) {
  const float centre = shape(x + 0.5f, y + 0.5f);
  if (centre < -1.0f) return 1.0f;  // well inside
  if (centre > 1.0f) return 0.0f;   // well outside
  int inside = 0;
  for (int sy = 0; sy < 4; ++sy)
    for (int sx = 0; sx < 4; ++sx)
      if (shape(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4) <= 0) ++inside;
  return inside / 16.0f;
}

uint8_t ToByte(float v, float dither) {
  return static_cast<uint8_t>(std::clamp(v * 255.0f + dither, 0.0f, 255.0f));
}

}  // namespace

TColor Hex(uint32_t rgb) {
  return {((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f};
}
TColor Mix(TColor a, TColor b, float t) {
  return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}
TColor Scale(TColor c, float k) { return {c.R * k, c.G * k, c.B * k}; }

TShape Circle(float cx, float cy, float r) {
  return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}

TShape RoundRect(float x0, float y0, float x1, float y1, float radius) {
  const float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  const float hx = (x1 - x0) / 2 - radius, hy = (y1 - y0) / 2 - radius;
  return [=](float x, float y) {
    const float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) -
           radius;
  };
}

TShape Polygon(std::vector<std::pair<float, float>> pts) {
  return [pts = std::move(pts)](float x, float y) {
    // Distance to the nearest edge, negative inside (even-odd rule).
    float best = 1e9f;
    bool inside = false;
    for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
      const auto [xi, yi] = pts[i];
      const auto [xj, yj] = pts[j];
      const float ex = xj - xi, ey = yj - yi;
      const float t = std::clamp(((x - xi) * ex + (y - yi) * ey) / (ex * ex + ey * ey), 0.0f, 1.0f);
      best = std::min(best, std::hypot(x - xi - ex * t, y - yi - ey * t));
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside ? -best : best;
  };
}

TShape Ring(float cx, float cy, float r, float width) {
  return [=](float x, float y) { return std::fabs(std::hypot(x - cx, y - cy) - r) - width / 2; };
}
TShape Union(TShape a, TShape b) {
  return [=](float x, float y) { return std::min(a(x, y), b(x, y)); };
}
TShape Subtract(TShape a, TShape b) {
  return [=](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}
TShape Intersect(TShape a, TShape b) {
  return [=](float x, float y) { return std::max(a(x, y), b(x, y)); };
}
TShape Offset(TShape s, float by) {
  return [=](float x, float y) { return s(x, y) - by; };
}

TPaint Solid(TColor c) {
  return [=](float, float) { return c; };
}
TPaint LinearY(float y0, TColor c0, float y1, TColor c1) {
  return [=](float, float y) { return Mix(c0, c1, Clamp01((y - y0) / (y1 - y0))); };
}
TPaint LinearX(float x0, TColor c0, float x1, TColor c1) {
  return [=](float x, float) { return Mix(c0, c1, Clamp01((x - x0) / (x1 - x0))); };
}
TPaint Radial(float cx, float cy, float r, TColor inner, TColor outer) {
  return
      [=](float x, float y) { return Mix(inner, outer, Clamp01(std::hypot(x - cx, y - cy) / r)); };
}
TPaint GradientY(std::vector<std::pair<float, TColor>> stops) {
  return [stops = std::move(stops)](float, float y) {
    if (y <= stops.front().first) return stops.front().second;
    for (std::size_t i = 1; i < stops.size(); ++i)
      if (y <= stops[i].first) {
        const float t = (y - stops[i - 1].first) / (stops[i].first - stops[i - 1].first);
        return Mix(stops[i - 1].second, stops[i].second, t);
      }
    return stops.back().second;
  };
}

TCanvas::TCanvas(int width, int height, TColor fill)
    : W_(width), H_(height), Px_(width * height, fill) {}

void TCanvas::Blend(int x, int y, TColor c, float alpha) {
  if (x < 0 || y < 0 || x >= W_ || y >= H_ || alpha <= 0) return;
  TColor& p = Px_[y * W_ + x];
  p = Mix(p, c, Clamp01(alpha));
}

TColor TCanvas::At(int x, int y) const { return Px_[y * W_ + x]; }
void TCanvas::Set(int x, int y, TColor c) { Px_[y * W_ + x] = c; }

void TCanvas::Fill(const TShape& shape, const TPaint& paint, float opacity) {
  for (int y = 0; y < H_; ++y)
    for (int x = 0; x < W_; ++x) {
      const float cov = Coverage(shape, x, y);
      if (cov > 0) Blend(x, y, paint(x + 0.5f, y + 0.5f), cov * opacity);
    }
}

void TCanvas::Glow(const TShape& shape, TColor color, float radius, float opacity, bool inward) {
  for (int y = 0; y < H_; ++y)
    for (int x = 0; x < W_; ++x) {
      float d = shape(x + 0.5f, y + 0.5f);
      if (inward) {
        if (d > 0) continue;  // an inner shadow stays inside
        d = -d;               // depth: full shade at the edge, none `radius` inside
      }
      if (d >= radius) continue;
      const float t = d <= 0 ? 1.0f : 1.0f - d / radius;
      Blend(x, y, color, opacity * t * t);
    }
}

TCanvas TCanvas::Crop(int x0, int y0, int w, int h) const {
  TCanvas out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.Px_[y * w + x] = Px_[(y0 + y) * W_ + x0 + x];
  return out;
}

vesperon::TImage TCanvas::ToImage(bool dither) const {
  vesperon::TImage img;
  img.Width = W_;
  img.Height = H_;
  img.Pixels.resize(static_cast<std::size_t>(W_) * H_ * 4);
  for (int y = 0; y < H_; ++y)
    for (int x = 0; x < W_; ++x) {
      // An ordered 4 x 4 dither keeps long gradients free of bands.
      static const int kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
      const float d = dither ? (kBayer[(y % 4) * 4 + x % 4] + 0.5f) / 16.0f : 0.5f;
      const TColor c = Px_[y * W_ + x];
      uint8_t* p = img.Pixel(x, y);
      p[0] = ToByte(c.B, d);
      p[1] = ToByte(c.G, d);
      p[2] = ToByte(c.R, d);
      p[3] = 0;
    }
  return img;
}

vesperon::TImage Stencil(int width, int height, const TShape& shape) {
  TCanvas c(width, height, {1, 1, 1});
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (Coverage(shape, x, y) >= 0.5f) c.Set(x, y, {0, 0, 0});
  return c.ToImage(false);
}

}  // namespace skinart
