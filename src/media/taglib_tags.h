#pragma once
// The tag reader's second stage, used when a file has no ID3v1 tag: the
// tags TagLib reads. ID3v2.2, 2.3 and 2.4 and APE tags of MPEG files, the
// INFO list and the ID3 chunk of WAV files. Audio properties are never read,
// so no audio frame is decoded or counted.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vesperon {

// A file's bytes, read at any offset: an open file, a stream or memory.
class TTagBytes {
 public:
  virtual ~TTagBytes() = default;
  virtual std::int64_t Size() const = 0;
  // Copies up to `n` bytes from offset `at` to `out`; returns how many.
  virtual std::size_t ReadAt(std::int64_t at, char* out, std::size_t n) = 0;
};

// Bytes held in memory.
class TTagMemory final : public TTagBytes {
 public:
  explicit TTagMemory(std::string_view bytes) : Bytes(bytes) {}
  std::int64_t Size() const override { return static_cast<std::int64_t>(Bytes.size()); }
  std::size_t ReadAt(std::int64_t at, char* out, std::size_t n) override {
    if (at < 0 || at >= Size()) return 0;
    return Bytes.copy(out, n, static_cast<std::size_t>(at));
  }

 private:
  const std::string_view Bytes;
};

// How ID3v2 tags are read. WalkPlainTags: a tag of the plain form nearly
// all taggers write (version 2.3 or 2.4 without unsynchronisation, extended
// header, footer, compressed, encrypted or otherwise flagged frames) is
// walked frame by frame, TagLib parsing each frame header and each frame
// used; any other tag is read by TagLib's tag class. WholeTag: every tag is
// read by TagLib's tag class. Both give the same fields; the walk is faster.
enum class TId3v2Reading { WalkPlainTags, WholeTag };

// The text fields of a tag, as they go into a media entry.
struct TTagText {
  std::u16string Title, Artist, Album, Comment, Genre;
  int Year = 0;  // 0 when absent or not a year
  friend bool operator==(const TTagText&, const TTagText&) = default;
};

class TTagLibReader;

// Reads the tags TagLib knows from `bytes`. Each field comes from the first
// tag that has it: in MPEG files the ID3v2 tag, then the APE tag; in WAV
// files the ID3 chunk, then the INFO list. Fields keep the limits of ID3v1
// fields (see FitTagText). Damaged tags give empty or cut fields. `tail`
// holds the file's last bytes when the caller has read them already.
// `walked`, when given, counts the ID3v2 tags that were walked.
TTagText ReadTagLibTags(TTagBytes& bytes, std::string_view tail = {},
                        TId3v2Reading reading = TId3v2Reading::WalkPlainTags,
                        int* walked = nullptr);

// ReadTagLibTags for file after file. TagLib's objects for the text and
// comment frames nearly every tag has are kept from one frame to the next
// and parsed again by TagLib for each (building one costs dozens of memory
// allocations); the fields are the same as with ReadTagLibTags.
class TTagLibReader {
 public:
  TTagLibReader();
  ~TTagLibReader();
  TTagLibReader(const TTagLibReader&) = delete;
  TTagLibReader& operator=(const TTagLibReader&) = delete;

  TTagText Read(TTagBytes& bytes, std::string_view tail = {},
                TId3v2Reading reading = TId3v2Reading::WalkPlainTags, int* walked = nullptr);

  struct TFrames;  // the kept frame objects

 private:
  std::unique_ptr<TFrames> Frames;
};

// Text as a tag field holds it: characters below 32 removed, unpaired
// surrogates replaced by U+FFFD, cut to `limit` UTF-16 units (one less when
// the cut would split a surrogate pair).
std::u16string FitTagText(std::u16string_view text, std::size_t limit);

// A genre as tags write it: a number ("17") or a number in parentheses
// ("(17)") is named from GenreNames (numbers past the table give an empty
// genre); "(17)Text" keeps the text; anything else is kept as it is.
std::u16string GenreFromText(std::u16string_view text);

}  // namespace vesperon
