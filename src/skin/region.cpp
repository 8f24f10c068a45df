#include "skin/region.h"

#include <algorithm>
#include <utility>

namespace vesperon {
namespace {

using TSpans = std::vector<std::pair<int32_t, int32_t>>;  // [left, right) runs of one row or band

TSpans RowRuns(const TImage& mask, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
  TSpans runs;
  const uint8_t* p = mask.Pixel(0, y);
  bool inRun = false;
  int32_t start = 0;
  for (int32_t x = 0; x < mask.Width; ++x, p += 4) {
    const bool opaque = p[0] != b || p[1] != g || p[2] != r;
    if (opaque && !inRun) {
      inRun = true;
      start = x;
    } else if (!opaque && inRun) {
      inRun = false;
      runs.emplace_back(start, x);
    }
  }
  if (inRun) runs.emplace_back(start, mask.Width);
  return runs;
}

// Appends one band's spans; when the previous band ends where this one
// starts and has the same spans, its rectangles grow downwards instead.
void AddBand(TRegion& out, std::size_t& lastBandStart, TSpans& lastSpans, const TSpans& spans, int32_t top,
             int32_t bottom) {
  if (!spans.empty() && spans == lastSpans && lastBandStart < out.size() && out[lastBandStart].Bottom == top) {
    for (std::size_t i = lastBandStart; i < out.size(); ++i) out[i].Bottom = bottom;
    return;
  }
  lastBandStart = out.size();
  lastSpans = spans;
  for (const auto& [left, right] : spans) out.push_back({left, top, right, bottom});
}

}  // namespace

TRegion RegionFromMask(const TImage& mask, uint8_t r, uint8_t g, uint8_t b) {
  TRegion out;
  if (mask.Pixels.size() < static_cast<std::size_t>(mask.Width) * mask.Height * 4) return out;
  std::size_t lastBandStart = 0;
  TSpans lastSpans;
  for (int32_t y = 0; y < mask.Height; ++y) AddBand(out, lastBandStart, lastSpans, RowRuns(mask, y, r, g, b), y, y + 1);
  return out;
}

TRegion UnionOfRects(const std::vector<TRect>& rects) {
  std::vector<int32_t> edges;
  for (const TRect& r : rects) {
    if (r.Empty()) continue;
    edges.push_back(r.Top);
    edges.push_back(r.Bottom);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  TRegion out;
  std::size_t lastBandStart = 0;
  TSpans lastSpans;
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    const int32_t top = edges[i], bottom = edges[i + 1];
    TSpans spans;
    for (const TRect& r : rects)
      if (!r.Empty() && r.Top <= top && r.Bottom >= bottom) spans.emplace_back(r.Left, r.Right);
    std::sort(spans.begin(), spans.end());
    TSpans merged;
    for (const auto& s : spans) {
      if (!merged.empty() && s.first <= merged.back().second) {
        merged.back().second = std::max(merged.back().second, s.second);
      } else {
        merged.push_back(s);
      }
    }
    if (merged.empty()) {
      lastSpans.clear();
      continue;
    }
    AddBand(out, lastBandStart, lastSpans, merged, top, bottom);
  }
  return out;
}

TRegion OffsetRegion(TRegion region, int32_t dx, int32_t dy) {
  for (TRect& r : region) r = {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
  return region;
}

TRegion FramedWindowRegion(int32_t width, int32_t height, const TCornerMasks& corners) {
  const int32_t cw = corners.TopLeft ? corners.TopLeft->Width : 0;
  const int32_t ch = corners.TopLeft ? corners.TopLeft->Height : 0;
  std::vector<TRect> rects = {
      {cw, 0, width - cw, height},           // middle band, full height
      {0, ch, cw, height - ch},              // left band between the corners
      {width - cw, ch, width, height - ch},  // right band
  };
  auto addCorner = [&](const TImage* mask, int32_t dx, int32_t dy) {
    if (!mask) return;
    for (const TRect& r : OffsetRegion(RegionFromMask(*mask), dx, dy)) rects.push_back(r);
  };
  addCorner(corners.TopLeft, 0, 0);
  addCorner(corners.TopRight, width - cw, 0);
  addCorner(corners.BottomLeft, 0, height - ch);
  addCorner(corners.BottomRight, width - cw, height - ch);
  // A window smaller than its corners would otherwise reach outside itself.
  for (TRect& r : rects)
    r = {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, width), std::min(r.Bottom, height)};
  return UnionOfRects(rects);
}

}  // namespace vesperon
