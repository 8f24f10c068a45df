// The packed skin reader meets files from anywhere. The first byte chooses
// whether the rest is the compressed file or its decompressed layout, so the
// fuzzer also reaches the record parser without having to forge Adler-32
// checksums.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "skin/packed_skin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  vesperon::TPackedSkin skin;
  if (data[0] & 1) {
    std::string error;
    if (!vesperon::ReadPackedLayout(rest, skin, error) && (error.empty() || !skin.Images.empty()))
      std::abort();
  } else {
    vesperon::ReadPackedSkin(rest, "fuzz", skin);
  }
  for (const auto& image : skin.Images)
    if (image.Image.Pixels.size() !=
        static_cast<std::size_t>(image.Image.Width) * image.Image.Height * 4)
      std::abort();
  return 0;
}
