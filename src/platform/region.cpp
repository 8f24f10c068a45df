// Regions in banded normal form: rectangles grouped in horizontal bands of
// equal top and bottom, sorted by top and then by left, touching rectangles
// in a band merged, and vertically adjacent bands with equal spans merged.
// The X server keeps shapes in the same form, so a region read back from it
// compares equal rectangle for rectangle.
#include <algorithm>

#include "platform/platform.h"

namespace vesperon {
namespace {

struct TSpan {
  int32_t Left;
  int32_t Right;
};

// Sorts and merges overlapping or touching spans in place.
void MergeSpans(std::vector<TSpan>& spans) {
  if (spans.empty()) return;
  std::sort(spans.begin(), spans.end(),
            [](const TSpan& a, const TSpan& b) { return a.Left < b.Left; });
  std::size_t out = 0;
  for (std::size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].Left <= spans[out].Right) {
      spans[out].Right = std::max(spans[out].Right, spans[i].Right);
    } else {
      spans[++out] = spans[i];
    }
  }
  spans.resize(out + 1);
}

// Appends one band, or widens the previous band downwards when it touches it
// and has the same spans.
class TBandWriter {
 public:
  explicit TBandWriter(std::vector<TRect>& out) : Out_(out) {}

  void Add(int32_t top, int32_t bottom, const std::vector<TSpan>& spans) {
    if (spans.empty() || bottom <= top) return;
    if (SameAsLast(top, spans)) {
      for (std::size_t i = LastStart_; i < Out_.size(); ++i) Out_[i].Bottom = bottom;
      return;
    }
    LastStart_ = Out_.size();
    for (const TSpan& s : spans) Out_.push_back({s.Left, top, s.Right, bottom});
  }

 private:
  bool SameAsLast(int32_t top, const std::vector<TSpan>& spans) const {
    if (Out_.empty() || Out_.back().Bottom != top) return false;
    if (Out_.size() - LastStart_ != spans.size()) return false;
    for (std::size_t i = 0; i < spans.size(); ++i) {
      const TRect& r = Out_[LastStart_ + i];
      if (r.Left != spans[i].Left || r.Right != spans[i].Right) return false;
    }
    return true;
  }

  std::vector<TRect>& Out_;
  std::size_t LastStart_ = 0;
};

// Sweeps the rectangles from top to bottom: between two consecutive
// horizontal edges the set of covering rectangles does not change, so each
// such band is the merged spans of the rectangles active in it.
std::vector<TRect> Normalize(std::vector<TRect> rects) {
  rects.erase(std::remove_if(rects.begin(), rects.end(), [](const TRect& r) { return r.Empty(); }),
              rects.end());
  std::vector<TRect> out;
  if (rects.empty()) return out;
  std::sort(rects.begin(), rects.end(),
            [](const TRect& a, const TRect& b) { return a.Top < b.Top; });
  std::vector<int32_t> edges;
  edges.reserve(rects.size() * 2);
  for (const TRect& r : rects) {
    edges.push_back(r.Top);
    edges.push_back(r.Bottom);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

  TBandWriter writer(out);
  std::vector<const TRect*> active;
  std::vector<TSpan> spans;
  std::size_t next = 0;
  for (std::size_t e = 0; e + 1 < edges.size(); ++e) {
    const int32_t top = edges[e];
    const int32_t bottom = edges[e + 1];
    active.erase(std::remove_if(active.begin(), active.end(),
                                [top](const TRect* r) { return r->Bottom <= top; }),
                 active.end());
    while (next < rects.size() && rects[next].Top <= top) active.push_back(&rects[next++]);
    spans.clear();
    for (const TRect* r : active) spans.push_back({r->Left, r->Right});
    MergeSpans(spans);
    writer.Add(top, bottom, spans);
  }
  return out;
}

}  // namespace

TRegion::TRegion(const TRect& rect) {
  if (!rect.Empty()) Rects_.push_back(rect);
}

TRegion::TRegion(const std::vector<TRect>& rects) : Rects_(Normalize(rects)) {}

void TRegion::Union(const TRect& rect) {
  if (rect.Empty()) return;
  std::vector<TRect> all = Rects_;
  all.push_back(rect);
  Rects_ = Normalize(std::move(all));
}

void TRegion::Union(const TRegion& other) {
  if (other.Empty()) return;
  if (Empty()) {
    Rects_ = other.Rects_;
    return;
  }
  std::vector<TRect> all = Rects_;
  all.insert(all.end(), other.Rects_.begin(), other.Rects_.end());
  Rects_ = Normalize(std::move(all));
}

void TRegion::Offset(int32_t dx, int32_t dy) {
  for (TRect& r : Rects_) {
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
  }
}

bool TRegion::Contains(int32_t x, int32_t y) const {
  for (const TRect& r : Rects_) {
    if (r.Top > y) break;  // bands are sorted by top
    if (r.Contains(x, y)) return true;
  }
  return false;
}

TRect TRegion::Bounds() const {
  if (Rects_.empty()) return {};
  TRect b = Rects_.front();
  for (const TRect& r : Rects_) {
    b.Left = std::min(b.Left, r.Left);
    b.Right = std::max(b.Right, r.Right);
    b.Bottom = std::max(b.Bottom, r.Bottom);
  }
  return b;
}

TRegion RegionFromMask(const TImage& mask, uint8_t r, uint8_t g, uint8_t b) {
  TRegion region;
  if (mask.Width <= 0 || mask.Height <= 0 ||
      mask.Pixels.size() < static_cast<std::size_t>(mask.Width) * mask.Height * 4) {
    return region;
  }
  // Rows come in order and their runs are sorted and disjoint, so every row
  // is already a band; only the vertical merge of equal rows remains.
  std::vector<TRect> out;
  TBandWriter writer(out);
  std::vector<TSpan> spans;
  for (int32_t y = 0; y < mask.Height; ++y) {
    spans.clear();
    const uint8_t* p = mask.Pixel(0, y);
    int32_t start = -1;
    for (int32_t x = 0; x < mask.Width; ++x, p += 4) {
      const bool key = p[0] == b && p[1] == g && p[2] == r;
      if (!key && start < 0) {
        start = x;
      } else if (key && start >= 0) {
        spans.push_back({start, x});
        start = -1;
      }
    }
    if (start >= 0) spans.push_back({start, mask.Width});
    writer.Add(y, y + 1, spans);
  }
  region.Rects_ = std::move(out);
  return region;
}

TRegion FramedWindowRegion(int32_t width, int32_t height, const TCornerMasks& corners) {
  const int32_t cw = corners.TopLeft ? corners.TopLeft->Width : 0;
  const int32_t ch = corners.TopLeft ? corners.TopLeft->Height : 0;
  const TRect window{0, 0, width, height};
  // Every piece is clipped to the window: one smaller than its corners
  // would otherwise reach outside itself.
  auto clipped = [&window](TRect r) {
    return TRect{std::max(r.Left, window.Left), std::max(r.Top, window.Top),
                 std::min(r.Right, window.Right), std::min(r.Bottom, window.Bottom)};
  };
  std::vector<TRect> rects = {
      clipped({cw, 0, width - cw, height}),           // middle band, full height
      clipped({0, ch, cw, height - ch}),              // left band between the corners
      clipped({width - cw, ch, width, height - ch}),  // right band
  };
  auto addCorner = [&](const TImage* mask, int32_t dx, int32_t dy) {
    if (mask == nullptr) return;
    TRegion corner = RegionFromMask(*mask, 255, 255, 255);
    corner.Offset(dx, dy);
    for (const TRect& r : corner.Rects()) rects.push_back(clipped(r));
  };
  addCorner(corners.TopLeft, 0, 0);
  addCorner(corners.TopRight, width - cw, 0);
  addCorner(corners.BottomLeft, 0, height - ch);
  addCorner(corners.BottomRight, width - cw, height - ch);
  return TRegion(rects);
}

}  // namespace vesperon
