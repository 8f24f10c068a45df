#include "media/id3_tag.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <istream>

#include "core/text.h"
#include "media/taglib_tags.h"

namespace vesperon {

// clang-format off
const std::array<std::u16string_view, kGenreCount> GenreNames = {
    u"Blues", u"Classic Rock", u"Country", u"Dance", u"Disco", u"Funk", u"Grunge", u"Hip-Hop",
    u"Jazz", u"Metal", u"New age", u"Oldies", u"Other", u"Pop", u"R&B", u"Rap", u"Reggae", u"Rock",
    u"Techno", u"Industrial", u"Alternative", u"Ska", u"Death metal", u"Pranks", u"Soundtrack",
    u"Euro-Techno", u"Ambient", u"Trip-Hop", u"Vocal", u"Jazz+Funk", u"Fusion", u"Trance",
    u"Classical", u"Instrumental", u"Acid", u"House", u"Game", u"Sound Clip", u"Gospel", u"Noise",
    u"Alt. Rock", u"Bass", u"Soul", u"Punk", u"Space", u"Meditative", u"Instrumental Pop",
    u"Instrumental Rock", u"Ethnic", u"Gothic", u"Darkwave", u"Techno-Industrial", u"Electronic",
    u"Pop-folk", u"Eurodance", u"Dream", u"Southern Rock", u"Comedy", u"Cult", u"Gangsta Rap",
    u"Top 40", u"Christian Rap", u"Pop/Funk", u"Jungle", u"Native American", u"Cabaret",
    u"New Wave", u"Psychadelic", u"Rave", u"Showtunes", u"Trailer", u"Lo-Fi", u"Tribal",
    u"Acid Punk", u"Acid Jazz", u"Polka", u"Retro", u"Musical", u"Rock & Roll", u"Hard Rock",
    u"Folk", u"Folk/Rock", u"National Folk", u"Swing", u"Fast-Fusion", u"Bebop", u"Latin",
    u"Revival", u"Celtic", u"Bluegrass", u"Avantgarde", u"Gothic Rock", u"Progressive Rock",
    u"Psychedelic Rock", u"Symphonic Rock", u"Slow Rock", u"Big Band", u"Chorus",
    u"Easy Listening", u"Acoustic", u"Humour", u"Speech", u"Chanson", u"Opera", u"Chamber Music",
    u"Sonata", u"Symphony", u"Booty Bass", u"Primus", u"Porn Groove", u"Satire", u"Slow Jam",
    u"Club", u"Tango", u"Samba", u"Folklore", u"Ballad", u"Power Ballad", u"Rhytmic Soul",
    u"Freestyle", u"Duet", u"Punk Rock", u"Drum Solo", u"A Capella", u"Euro-House", u"Dance Hall",
    u"Goa", u"Drum & Bass", u"Club-House", u"Hardcore", u"Terror", u"Indie", u"BritPop",
    u"Afro-Punk", u"Polsk Punk", u"Beat", u"Christian Gangsta Rap", u"Heavy Metal", u"Black Metal",
    u"Crossover", u"Contemporary Christian", u"Cristian Rock", u"Merengue", u"Salsa",
    u"Thrash Metal", u"Anime", u"JPop", u"Synthpop"
};
// clang-format on

namespace {

// Byte ranges of the fields inside the 128-byte block.
constexpr std::size_t kTitleAt = 3, kArtistAt = 33, kAlbumAt = 63, kYearAt = 93, kCommentAt = 97;
constexpr std::size_t kYearSize = 4, kGenreAt = 127;
// Files up to this size are read whole at once.
constexpr std::size_t kSmallFile = 4096;

// Length of the UTF-8 sequence a lead byte announces (0 for a non-lead byte).
std::size_t Utf8LeadLength(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// When `text` is valid UTF-8 with at least one multi-byte character except
// for a started but unfinished character at its end, the length without it;
// otherwise npos.
std::size_t Utf8WithoutCutTail(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto b = static_cast<unsigned char>(text[text.size() - back]);
    if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t keep = text.size() - back;
    if (Utf8LeadLength(b) <= back) return std::string_view::npos;
    const std::string_view head = text.substr(0, keep);
    bool multiByte = false;
    for (const char c : head) multiByte = multiByte || static_cast<unsigned char>(c) >= 0x80;
    return multiByte && IsValidUtf8(head) ? keep : std::string_view::npos;
  }
  return std::string_view::npos;
}

}  // namespace

std::string StripControls(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 32) out += c;
  }
  return out;
}

std::u16string DecodeTagField(std::string_view field) {
  // The common case first: plain ASCII text followed by NUL padding.
  std::size_t end = 0;
  while (end < field.size() && static_cast<unsigned char>(field[end]) - 32u < 95u) ++end;
  if (std::all_of(field.begin() + static_cast<std::ptrdiff_t>(end), field.end(),
                  [](char c) { return c == '\0'; })) {
    return std::u16string(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(end));
  }
  const std::string text = StripControls(field);
  if (IsValidUtf8(text)) return Utf8ToUtf16(text);
  const bool fillsField = !field.empty() && static_cast<unsigned char>(field.back()) >= 32;
  if (fillsField) {
    const std::size_t keep = Utf8WithoutCutTail(text);
    if (keep != std::string_view::npos) return Utf8ToUtf16(std::string_view(text).substr(0, keep));
  }
  return Cp1252ToUtf16(text);
}

void TID3TagReader::Clear() {
  Artist.clear();
  Album.clear();
  Title.clear();
  Comment.clear();
  Year = 0;
  Genre.clear();
}

void TID3TagReader::ParseBlock(std::string_view block) {
  if (block.substr(0, 3) != "TAG") return;
  Title = DecodeTagField(block.substr(kTitleAt, kID3TextSize));
  Artist = DecodeTagField(block.substr(kArtistAt, kID3TextSize));
  Album = DecodeTagField(block.substr(kAlbumAt, kID3TextSize));
  Comment = DecodeTagField(block.substr(kCommentAt, kID3CommentSize));
  int year = 0;
  for (const char c : block.substr(kYearAt, kYearSize)) {
    if (c < '0' || c > '9') {
      year = 0;
      break;
    }
    year = year * 10 + (c - '0');
  }
  Year = year;
  const auto genre = static_cast<unsigned char>(block[kGenreAt]);
  if (genre < kGenreCount) Genre = GenreNames[genre];
}

namespace {

// An open regular file, read with pread.
class TFileBytes final : public TTagBytes {
 public:
  TFileBytes(int fd, std::int64_t size) : Fd(fd), FileSize(size) {}
  std::int64_t Size() const override { return FileSize; }
  std::size_t ReadAt(std::int64_t at, char* out, std::size_t n) override {
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r =
          ::pread(Fd, out + got, n - got, static_cast<off_t>(at) + static_cast<off_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    return got;
  }

 private:
  const int Fd;
  const std::int64_t FileSize;
};

class TStreamBytes final : public TTagBytes {
 public:
  explicit TStreamBytes(std::istream& stream) : Stream(stream) {
    Stream.seekg(0, std::ios::end);
    StreamSize = Stream ? static_cast<std::int64_t>(Stream.tellg()) : 0;
  }
  std::int64_t Size() const override { return StreamSize; }
  std::size_t ReadAt(std::int64_t at, char* out, std::size_t n) override {
    Stream.clear();
    if (!Stream.seekg(at)) return 0;
    Stream.read(out, static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(Stream.gcount());
  }

 private:
  std::istream& Stream;
  std::int64_t StreamSize = 0;
};

}  // namespace

TID3TagReader::TID3TagReader() = default;
TID3TagReader::~TID3TagReader() = default;
TID3TagReader::TID3TagReader(TID3TagReader&&) noexcept = default;
TID3TagReader& TID3TagReader::operator=(TID3TagReader&&) noexcept = default;

// The ID3v1 tag when there is one, else the tags TagLib reads. A failure in
// the second stage (memory running out) leaves its fields empty. A file no
// larger than kSmallFile is read whole at once, which serves the ID3v1 tag
// and every other tag from one read.
void TID3TagReader::Read(TTagBytes& bytes) {
  Clear();
  char small[kSmallFile];
  const std::int64_t fileSize = bytes.Size();
  const bool whole = fileSize >= 0 && fileSize <= static_cast<std::int64_t>(kSmallFile);
  TTagMemory smallBytes(
      whole ? std::string_view(small, bytes.ReadAt(0, small, static_cast<std::size_t>(fileSize)))
            : std::string_view());
  TTagBytes& from = whole ? static_cast<TTagBytes&>(smallBytes) : bytes;
  const std::int64_t size = from.Size();
  char block[kID3TagSize];
  std::string_view tail;
  if (size >= static_cast<std::int64_t>(kID3TagSize) &&
      from.ReadAt(size - static_cast<std::int64_t>(kID3TagSize), block, kID3TagSize) ==
          kID3TagSize) {
    tail = std::string_view(block, kID3TagSize);
    if (tail.substr(0, 3) == "TAG") {
      ParseBlock(tail);
      return;
    }
  }
  try {
    if (TagLib == nullptr) TagLib = std::make_unique<TTagLibReader>();
    TTagText text = TagLib->Read(from, tail);
    Title = std::move(text.Title);
    Artist = std::move(text.Artist);
    Album = std::move(text.Album);
    Comment = std::move(text.Comment);
    Genre = std::move(text.Genre);
    Year = text.Year;
  } catch (const std::exception&) {
    Clear();
    TagLib.reset();  // its frame objects may be half parsed
  }
}

void TID3TagReader::ReadBytes(std::string_view file) {
  TTagMemory bytes(file);
  Read(bytes);
}

void TID3TagReader::ReadStream(std::istream& stream) {
  TStreamBytes bytes(stream);
  Read(bytes);
}

void TID3TagReader::ReadFile(const std::u16string& fileName) {
  ReadFileAt(AT_FDCWD, Utf16ToUtf8(fileName).c_str());
}

void TID3TagReader::ReadFileAt(int dirFd, const char* path) {
  Clear();
  // Non-blocking open, so that a FIFO that happens to carry an audio
  // extension cannot stall the scan; only regular files are read.
  const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    TFileBytes bytes(fd, st.st_size);
    Read(bytes);
  }
  ::close(fd);
}

}  // namespace vesperon
