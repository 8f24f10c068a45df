#pragma once
// Comparing a window's pixels with the picture it was drawn from.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "skin/bmp.h"

namespace vesperon::testing {

inline TSurface DecodedPicture(std::string_view file) {
  TImage image;
  std::string error;
  EXPECT_TRUE(DecodeBmp(file, image, error)) << error;
  return TSurface::FromImage(image);
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
