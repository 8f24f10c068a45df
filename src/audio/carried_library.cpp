// The bytes of "fmodex.so" that the executable carries (see CMakeLists.txt:
// the built library is embedded after it is linked).
#include <cstdint>

#include "audio/audio_binding.h"

extern "C" const unsigned char vesperon_fmodex_so[];
extern "C" const std::uint64_t vesperon_fmodex_so_size;  // counted by the assembler

namespace vesperon {

std::string_view CarriedAudioLibrary() {
  return {reinterpret_cast<const char*>(vesperon_fmodex_so),
          static_cast<std::size_t>(vesperon_fmodex_so_size)};
}

}  // namespace vesperon
