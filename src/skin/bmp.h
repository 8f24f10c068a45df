#pragma once
// Windows BMP files to and from TImage (32-bit pixels: blue, green, red, 0,
// rows top-down).
//
// The decoder reads uncompressed files of 1, 4, 8, 16, 24 and 32 bits per
// pixel (16 and 32 also with bit-field masks), bottom-up or top-down, with
// the 12-byte core header or any of the 40- to 124-byte info headers. RLE,
// JPEG and PNG compression are refused. Every header field is checked
// against the file's size and the limits below before it is used, so a
// truncated or lying file yields an error and never a read out of bounds or
// a huge allocation.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/image.h"

namespace vesperon {

// Largest width or height accepted, and largest pixel count (256 MiB of
// decoded pixels).
inline constexpr int32_t kMaxBmpDimension = 32768;
inline constexpr int64_t kMaxBmpPixels = int64_t{64} * 1024 * 1024;

// What the header says about the source, kept beside the decoded image.
struct TBmpFormat {
  int32_t BitCount = 0;
  int32_t Planes = 0;
};

// Decodes one BMP file held in memory. On failure returns false, leaves
// `image` empty and sets `error` to a short description of the problem.
bool DecodeBmp(std::string_view file, TImage& image, std::string& error,
               TBmpFormat* format = nullptr);

// Writes the image as an uncompressed 24-bit bottom-up BMP file with a
// 40-byte info header (the form every skin tool reads).
std::string EncodeBmp24(const TImage& image);

}  // namespace vesperon
