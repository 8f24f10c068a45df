// The BMP decoder meets bitmaps from any skin file: no input may crash it,
// hang it or make it read outside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "skin/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  vesperon::TImage image;
  std::string error;
  if (vesperon::DecodeBmp(file, image, error)) {
    if (image.Pixels.size() != static_cast<std::size_t>(image.Width) * image.Height * 4)
      std::abort();
    vesperon::RegionFromMask(image, 255, 255, 255);
  } else if (error.empty() || !image.Pixels.empty()) {
    std::abort();
  }
  return 0;
}
