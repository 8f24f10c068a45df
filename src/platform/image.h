#pragma once
// A decoded bitmap: 32-bit pixels, bytes blue, green, red, 0, rows top-down.
// Made by the BMP decoder, drawn by the windowing layer.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesperon {

struct TImage {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Pixels;  // Width * Height * 4 bytes

  const uint8_t* Pixel(int32_t x, int32_t y) const {
    return Pixels.data() + (static_cast<std::size_t>(y) * Width + x) * 4;
  }
  uint8_t* Pixel(int32_t x, int32_t y) {
    return Pixels.data() + (static_cast<std::size_t>(y) * Width + x) * 4;
  }
};

}  // namespace vesperon
