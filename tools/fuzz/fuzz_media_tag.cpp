// The last 128 bytes of any file in a scanned folder reach the tag reader:
// any bytes must give well-defined fields without crashing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/text.h"
#include "media/id3_tag.h"

namespace {

// Tag text never holds control characters (they are stripped before
// decoding) and comes out of a field of at most 30 bytes.
bool Plausible(const std::u16string& s) {
  if (s.size() > 30) return false;
  for (const char16_t c : s) {
    if (c < 32) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vesperon;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TID3TagReader r;
  r.ReadTail(bytes);
  if (r.Year < 0 || r.Year > 9999) std::abort();
  if (!r.Genre.empty() && r.Genre != GenreNames[static_cast<unsigned char>(bytes[size - 1])]) std::abort();
  if (!Plausible(r.Title) || !Plausible(r.Artist) || !Plausible(r.Album) || !Plausible(r.Comment)) std::abort();
  // A single field of any length, as DecodeTagField is also used alone.
  const std::u16string field = DecodeTagField(bytes);
  if (field.size() > size) std::abort();
  return 0;
}
