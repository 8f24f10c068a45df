#pragma once
// Points and rectangles of the windowing layer, in pixels.
#include <cstdint>

namespace vesperon {

struct TPointI {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPointI&, const TPointI&) = default;
};

// Left and Top inclusive, Right and Bottom exclusive (as Win32 rectangles).
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(int32_t x, int32_t y) const {
    return x >= Left && x < Right && y >= Top && y < Bottom;
  }
  friend bool operator==(const TRect&, const TRect&) = default;
};

}  // namespace vesperon
