#pragma once
// Window shapes made from stencil images. A region is a list of disjoint
// rectangles (the windowing layer applies it as a window or control shape);
// an empty list means "no region": the window stays rectangular.
#include <cstdint>
#include <vector>

#include "platform/geometry.h"
#include "platform/image.h"

namespace vesperon {

using TRegion = std::vector<TRect>;

// The outline of every pixel whose colour differs from (r, g, b) in any of
// the three components: one rectangle per horizontal run of such pixels, in
// row order. Consecutive rows with the same runs are merged into taller
// rectangles, which covers the same pixels with fewer rectangles. Skins
// always pass white, so only pure white is cut away.
TRegion RegionFromMask(const TImage& mask, uint8_t r = 255, uint8_t g = 255, uint8_t b = 255);

// The union of a set of possibly overlapping rectangles as disjoint ones,
// sorted top to bottom, then left to right. Empty rectangles are dropped.
TRegion UnionOfRects(const std::vector<TRect>& rects);

// Moves every rectangle by (dx, dy).
TRegion OffsetRegion(TRegion region, int32_t dx, int32_t dy);

// The four corner masks of a framed standard window.
struct TCornerMasks {
  const TImage* TopLeft = nullptr;
  const TImage* TopRight = nullptr;
  const TImage* BottomLeft = nullptr;
  const TImage* BottomRight = nullptr;
};

// The shape of a framed window of width x height pixels: the full-height
// middle band between the corner columns, the left and right bands between
// the corner rows, and the four corner masks (white cut away) in the four
// corners. The corner size is the top-left mask's size; a missing mask
// leaves its corner square empty, and without a top-left mask the corners
// are taken as 0 x 0 (the window stays rectangular).
TRegion FramedWindowRegion(int32_t width, int32_t height, const TCornerMasks& corners);

}  // namespace vesperon
