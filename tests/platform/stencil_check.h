#pragma once
// Checks shared by the stencil fuzz target and its replay test: a stencil
// made of arbitrary bytes gives a region in normal form that holds exactly
// its opaque pixels, and drawing with coordinates taken from the bytes stays
// inside the surfaces.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace vesperon {

inline bool RegionIsNormal(const TRegion& region) {
  const auto& r = region.Rects();
  for (std::size_t i = 0; i < r.size(); ++i) {
    if (r[i].Empty()) return false;
    if (i == 0) continue;
    const TRect& a = r[i - 1];
    const TRect& b = r[i];
    const bool sameBand = a.Top == b.Top;
    if (sameBand && (a.Bottom != b.Bottom || a.Right >= b.Left)) return false;  // sorted, apart
    if (!sameBand && b.Top < a.Bottom) return false;  // bands do not overlap
  }
  return true;
}

inline bool CheckStencilBytes(const uint8_t* data, std::size_t size) {
  if (size < 2) return true;
  TImage image;
  image.Width = data[0] % 48;
  image.Height = data[1] % 48;
  image.Pixels.assign(data + 2, data + size);  // possibly shorter than the size says
  const TRegion region = RegionFromMask(image, 255, 255, 255);
  if (!RegionIsNormal(region)) return false;
  if (image.Pixels.size() >= static_cast<std::size_t>(image.Width) * image.Height * 4) {
    for (int32_t y = 0; y < image.Height; ++y) {
      for (int32_t x = 0; x < image.Width; ++x) {
        const uint8_t* p = image.Pixel(x, y);
        const bool opaque = !(p[0] == 255 && p[1] == 255 && p[2] == 255);
        if (region.Contains(x, y) != opaque) return false;
      }
    }
  } else if (!region.Empty()) {
    return false;
  }
  // Rectangles straight from the bytes: the union holds exactly their pixels.
  std::vector<TRect> rects;
  for (std::size_t i = 2; i + 4 <= size && rects.size() < 16; i += 4) {
    rects.push_back(
        {data[i] % 40 - 4, data[i + 1] % 40 - 4, data[i + 2] % 40 - 4, data[i + 3] % 40 - 4});
  }
  const TRegion u(rects);
  if (!RegionIsNormal(u)) return false;
  for (int32_t y = -5; y < 37; ++y) {
    for (int32_t x = -5; x < 37; ++x) {
      bool in = false;
      for (const TRect& r : rects) in = in || r.Contains(x, y);
      if (u.Contains(x, y) != in) return false;
    }
  }
  // Drawing with wild coordinates must stay inside the surfaces.
  TSurface src = TSurface::FromImage(image);
  TSurface dst(17, 13, 0);
  for (std::size_t i = 2; i + 6 <= size && i < 64; i += 6) {
    const int32_t a = static_cast<int8_t>(data[i]), b = static_cast<int8_t>(data[i + 1]);
    const int32_t c = static_cast<int8_t>(data[i + 2]), d = static_cast<int8_t>(data[i + 3]);
    Blit(dst, a, b, c, d, src, data[i + 4] - 100, data[i + 5] - 100);
    TransparentBlit(dst, b, a, d, c, src, data[i + 5] - 100, data[i + 4] - 100, 0xFFFFFF);
    DrawPolygon(dst, {{a, b}, {c, d}, {a * 7, d * 3}}, 0x123456, 0x654321);
    DrawRectangle(dst, {a, b, c, d}, 1, 2);
  }
  return true;
}

}  // namespace vesperon
