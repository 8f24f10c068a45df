#pragma once
// Comparing a window's pixels with the picture it was drawn from.
#include "platform/platform.h"

namespace vesperon::testing {

// A picture of soft colour ramps with no dark pixel, so that black text on
// it stands out from every pixel of the picture.
inline TImage TestPicture(int32_t width, int32_t height) {
  TImage image;
  image.Width = width;
  image.Height = height;
  image.Pixels.resize(static_cast<std::size_t>(width) * height * 4);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = image.Pixel(x, y);
      p[0] = static_cast<uint8_t>(128 + (x + y) % 128);
      p[1] = static_cast<uint8_t>(y * 255 / height);
      p[2] = static_cast<uint8_t>(x * 255 / width);
    }
  }
  return image;
}

// How many pixels of `area` differ between the two surfaces.
inline int DifferingPixels(const TSurface& a, const TSurface& b, const TRect& area) {
  int n = 0;
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    for (int32_t x = area.Left; x < area.Right; ++x) n += a.At(x, y) != b.At(x, y);
  }
  return n;
}

// The first row of `area` (from the top) in which the surfaces differ, or -1.
inline int32_t FirstDifferingRow(const TSurface& a, const TSurface& b, const TRect& area) {
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    if (DifferingPixels(a, b, {area.Left, y, area.Right, y + 1}) > 0) return y;
  }
  return -1;
}

}  // namespace vesperon::testing
