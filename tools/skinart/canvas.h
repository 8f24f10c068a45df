#pragma once
// A small software painter for the product's artwork: a floating-point RGB
// canvas, shapes given as signed distance functions (negative inside), and
// paints given as functions of the position. Edges are anti-aliased by 4 x 4
// supersampling; gradients are dithered when the canvas becomes a TImage.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/image.h"

namespace skinart {

struct TColor {
  float R = 0, G = 0, B = 0;
};

// "#rrggbb" as a colour.
TColor Hex(uint32_t rgb);
TColor Mix(TColor a, TColor b, float t);
TColor Scale(TColor c, float k);

using TShape = std::function<float(float x, float y)>;  // signed distance, < 0 inside
using TPaint = std::function<TColor(float x, float y)>;

struct TBox {
  float X0, Y0, X1, Y1;
};

// Shapes.
TShape Circle(float cx, float cy, float r);
TShape RoundRect(float x0, float y0, float x1, float y1, float radius);
TShape Polygon(std::vector<std::pair<float, float>> points);
TShape Ring(float cx, float cy, float r, float width);
TShape Union(TShape a, TShape b);
TShape Subtract(TShape a, TShape b);
TShape Intersect(TShape a, TShape b);
TShape Offset(TShape s, float by);  // grows (by > 0) or shrinks the shape

// Paints.
TPaint Solid(TColor c);
TPaint LinearY(float y0, TColor c0, float y1, TColor c1);
TPaint LinearX(float x0, TColor c0, float x1, TColor c1);
TPaint Radial(float cx, float cy, float r, TColor inner, TColor outer);
// Several stops along y: {position, colour} in ascending position.
TPaint GradientY(std::vector<std::pair<float, TColor>> stops);

class TCanvas {
 public:
  TCanvas(int width, int height, TColor fill = {});
  int Width() const { return W_; }
  int Height() const { return H_; }

  // Paints the shape's inside, alpha-blended with `opacity`.
  void Fill(const TShape& shape, const TPaint& paint, float opacity = 1.0f);
  void Fill(const TShape& shape, TColor color, float opacity = 1.0f) {
    Fill(shape, Solid(color), opacity);
  }
  // A soft glow or shadow: full `opacity` inside the shape, fading to nothing
  // `radius` pixels outside it (or inside, with `inward`).
  void Glow(const TShape& shape, TColor color, float radius, float opacity, bool inward = false);
  void Blend(int x, int y, TColor c, float alpha);
  TColor At(int x, int y) const;
  void Set(int x, int y, TColor c);

  // A copy of the rectangle (x, y, w, h).
  TCanvas Crop(int x, int y, int w, int h) const;
  vesperon::TImage ToImage(bool dither = true) const;

 private:
  int W_, H_;
  std::vector<TColor> Px_;
};

// The stencil of a shape: black inside (at least half covered), white outside.
vesperon::TImage Stencil(int width, int height, const TShape& shape);

}  // namespace skinart
