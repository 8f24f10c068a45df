// Any file in a scanned folder reaches the tag reader: its last 128 bytes
// (ID3v1) and, without an ID3v1 tag, the tags TagLib reads (ID3v2 and APE,
// WAV chunks). Any bytes must give well-defined fields without crashing,
// hanging or holding much memory. The frame walk of plain ID3v2 tags must
// give exactly the fields TagLib's whole tag gives, also with the frame
// objects one reader keeps from input to input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/text.h"
#include "media/id3_tag.h"
#include "media/taglib_tags.h"

namespace {

// Tag text holds no control characters and no unpaired surrogates, and is
// no longer than an ID3v1 field.
bool Plausible(const std::u16string& s, std::size_t limit) {
  if (s.size() > limit) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c < 32) return false;
    if (c >= 0xDC00 && c <= 0xDFFF) return false;  // a low half without its high half
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vesperon;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static TID3TagReader r;  // kept, as in a scan
  r.ReadBytes(bytes);
  if (r.Year < 0 || r.Year > 9999) std::abort();
  const bool id3v1 = size >= kID3TagSize && bytes.substr(size - kID3TagSize, 3) == "TAG";
  if (id3v1 && !r.Genre.empty() &&
      r.Genre != GenreNames[static_cast<unsigned char>(bytes[size - 1])])
    std::abort();
  if (!Plausible(r.Title, kID3TextSize) || !Plausible(r.Artist, kID3TextSize) ||
      !Plausible(r.Album, kID3TextSize) || !Plausible(r.Comment, kID3TextSize) ||
      !Plausible(r.Genre, kID3TextSize)) {
    std::abort();
  }
  if (r.Comment.size() > kID3CommentSize) std::abort();
  // Both ways of reading ID3v2 tags, on every input (not only those
  // without an ID3v1 tag).
  TTagMemory memory(bytes);
  static TTagLibReader reader;
  const TTagText walked = reader.Read(memory, {}, TId3v2Reading::WalkPlainTags);
  const TTagText whole = ReadTagLibTags(memory, {}, TId3v2Reading::WholeTag);
  if (!(walked == whole)) std::abort();
  // A single field of any length, as DecodeTagField is also used alone.
  const std::u16string field = DecodeTagField(bytes);
  if (field.size() > size) std::abort();
  return 0;
}
