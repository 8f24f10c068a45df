// Audio files come from anywhere: opening and decoding arbitrary bytes must
// end in a refusal or a finite stream, never a crash or a hang.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audiolib/decoder.h"

// libvorbis (through libsndfile 1.2.0) leaks the header block of an Ogg
// stream whose headers are damaged; that leak is not ours to find.
extern "C" const char* __lsan_default_suppressions() { return "leak:vorbis_info_init\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The decoders open files by name; an in-memory file gives them one.
  const int fd = memfd_create("fuzz-audio", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  FMOD_RESULT error = FMOD_OK;
  auto decoder =
      vesperon::audiolib::OpenDecoder("/proc/self/fd/" + std::to_string(fd), true, error);
  if (decoder) {
    std::vector<float> buffer(1024 * static_cast<size_t>(decoder->Info().Channels));
    // A few seconds at most: a stream that decodes more from a small input
    // is not looping, just dense, and the rest adds nothing.
    for (int i = 0; i < 200 && decoder->Read(buffer.data(), 1024) > 0; ++i) {
    }
  }
  close(fd);
  return 0;
}
