#pragma once
// The skin's image list: every bitmap of a packed skin, decoded, under the
// name by which the description referenced it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/image.h"

namespace vesperon {

// Image names are short strings of at most this many bytes.
inline constexpr std::size_t kShortStringMax = 255;

struct TSkinImage {
  TImage Image;
  std::string Name;      // as written in the description (UTF-8 bytes), case-sensitive
  bool IsMask = false;   // packed as a stencil or corner mask
  int32_t BitCount = 0;  // of the source bitmap
  int32_t Planes = 0;
};

// The first `kShortStringMax` bytes of a name, as it is stored in a record.
inline std::string_view ShortString(std::string_view name) {
  return name.substr(0, kShortStringMax);
}

// Index of the first image whose Name equals `name` (cut to a short string),
// or -1 when there is none.
int32_t FindImage(const std::vector<TSkinImage>& images, std::string_view name);

}  // namespace vesperon
