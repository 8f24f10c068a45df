// The bytes of "fmodex.so" that the executable carries (see CMakeLists.txt:
// the built library is embedded after it is linked).
#include <cstdint>

#include "audio/audio_binding.h"

extern "C" const unsigned char vesperon_fmodex_so[];
extern "C" const unsigned char vesperon_fmodex_so_end[];

namespace vesperon {

std::string_view CarriedAudioLibrary() {
  // The two symbols are distinct objects to the compiler, so the size comes
  // from their addresses rather than from subtracting the pointers.
  return {reinterpret_cast<const char*>(vesperon_fmodex_so),
          static_cast<size_t>(reinterpret_cast<std::uintptr_t>(vesperon_fmodex_so_end) -
                              reinterpret_cast<std::uintptr_t>(vesperon_fmodex_so))};
}

}  // namespace vesperon
