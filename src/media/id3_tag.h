#pragma once
// Reader of a file's song tag. First the 128-byte ID3 version 1 (and 1.1)
// tag at the end of a file; only when a file has none, the tags TagLib
// reads (ID3v2, APE, WAV INFO and ID3 chunks; see taglib_tags.h).
#include <array>
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

namespace vesperon {

constexpr std::size_t kID3TagSize = 128;
constexpr std::size_t kGenreCount = 148;
// The longest text of an ID3v1 title, artist or album, and of its comment;
// text from other tags is cut to the same lengths.
constexpr std::size_t kID3TextSize = 30;
constexpr std::size_t kID3CommentSize = 28;

// The ID3v1 genre list (0 to 79) followed by the common extension (80 to 147).
extern const std::array<std::u16string_view, kGenreCount> GenreNames;

// Removes every byte below 32 (NUL padding, tabs, line breaks) and keeps the
// others, spaces included, in order.
std::string StripControls(std::string_view bytes);

// Decodes one fixed-size tag field: StripControls, then UTF-8 when the bytes
// are valid UTF-8, otherwise Windows-1252. When UTF-8 text fills the field
// and its last character was cut off by the field's end, that partial
// character is dropped rather than turning the whole field into Windows-1252.
std::u16string DecodeTagField(std::string_view field);

class TTagBytes;
class TTagLibReader;

class TID3TagReader {
 public:
  TID3TagReader();
  ~TID3TagReader();
  TID3TagReader(TID3TagReader&&) noexcept;
  TID3TagReader& operator=(TID3TagReader&&) noexcept;

  // Fill the fields from the file's tag. A missing, unreadable or untagged
  // file, and anything but a regular file, leaves every string empty and
  // Year 0.
  void ReadFile(const std::u16string& fileName);
  // The same with the file's path as bytes, relative to an open directory
  // (AT_FDCWD: the current one); the directory scan reads this way.
  void ReadFileAt(int dirFd, const char* path);
  void ReadStream(std::istream& stream);
  // The same on a whole file in memory.
  void ReadBytes(std::string_view file);

  std::u16string Artist;
  std::u16string Album;
  std::u16string Title;
  std::u16string Comment;
  int Year = 0;  // 0 when absent or not four ASCII digits
  std::u16string Genre;

 private:
  void Clear();
  void Read(TTagBytes& bytes);
  void ParseBlock(std::string_view block);

  // The second stage, made when first needed and kept for later files.
  std::unique_ptr<TTagLibReader> TagLib;
};

}  // namespace vesperon
