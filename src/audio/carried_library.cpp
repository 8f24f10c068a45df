// The bytes of "fmodex.so" that the executable carries (see CMakeLists.txt:
// the built library is embedded after it is linked).
#include "audio/audio_binding.h"

#ifdef VESPERON_CARRIES_AUDIOLIB
extern "C" const unsigned char vesperon_fmodex_so[];
extern "C" const unsigned char vesperon_fmodex_so_end[];
#endif

namespace vesperon {

std::string_view CarriedAudioLibrary() {
#ifdef VESPERON_CARRIES_AUDIOLIB
  return {reinterpret_cast<const char*>(vesperon_fmodex_so),
          static_cast<size_t>(vesperon_fmodex_so_end - vesperon_fmodex_so)};
#else
  return {};
#endif
}

}  // namespace vesperon
