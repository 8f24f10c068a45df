#include "media/taglib_tags.h"

#include <apetag.h>
#include <commentsframe.h>
#include <id3v2framefactory.h>
#include <id3v2synchdata.h>
#include <id3v2tag.h>
#include <infotag.h>
#include <textidentificationframe.h>
#include <tfile.h>
#include <tiostream.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "media/id3_tag.h"

namespace vesperon {
namespace {

// No single read TagLib asks for returns more than this. A larger tag is cut
// there (the frames past the cut are lost), so a lying tag size cannot make
// the reader hold more than this at once.
constexpr std::size_t kMaxBlock = std::size_t{16} << 20;
// A compressed ID3v2 frame can inflate to a thousand times its size, and
// TagLib then holds its text as 4 bytes per character. A tag may inflate
// this many compressed bytes of the frames the entry uses (at most about
// 4 MiB of text); its further compressed frames, and every compressed frame
// the entry does not use, are kept as unknown frames, never inflated.
constexpr unsigned kMaxCompressedBytes = 4u << 10;
// Read at once from the start of a file: tag headers and small tags.
constexpr std::size_t kHeadSize = 4096;
// Text longer than this is cut before it is decoded: a field keeps no more
// than 30 units, and control characters to be removed are rare.
constexpr unsigned kMaxTextUnits = 4096;
// An APE tag ends in a footer of this size.
constexpr std::size_t kApeFooterSize = 32;
// Chunks of a WAV file looked at; real files have a handful.
constexpr int kMaxWavChunks = 256;
// Reads TagLib may ask for one tag; past this it reads nothing. A tag takes
// two or three (an ID3v2 tag: its header, its frames, then a look for a
// repeated tag after it). TagLib takes every tag header that follows a tag
// as a repeat and reads it too, so a file of stacked tiny tag headers would
// otherwise cost one read per 10 bytes of the file.
constexpr int kMaxTagReads = 8;

// The file's bytes with its first and last bytes already read, so that the
// header and footer reads of TagLib cost no system call.
struct TCachedBytes {
  TTagBytes& Bytes;
  std::string_view Head;  // the bytes at offset 0
  std::string_view Tail;  // the file's last bytes

  std::size_t ReadAt(std::int64_t at, char* out, std::size_t n) const {
    if (n == 0) return 0;
    const std::int64_t end = at + static_cast<std::int64_t>(n);
    if (end <= static_cast<std::int64_t>(Head.size())) {
      std::memcpy(out, Head.data() + at, n);
      return n;
    }
    const std::int64_t tailAt = Bytes.Size() - static_cast<std::int64_t>(Tail.size());
    if (at >= tailAt && end <= Bytes.Size()) {
      std::memcpy(out, Tail.data() + (at - tailAt), n);
      return n;
    }
    return Bytes.ReadAt(at, out, n);
  }
};

// The file as a read-only TagLib stream.
class TTagStream final : public TagLib::IOStream {
 public:
  explicit TTagStream(const TCachedBytes& bytes) : Bytes(bytes), Length(bytes.Bytes.Size()) {}

  TagLib::FileName name() const override { return ""; }
  TagLib::ByteVector readBlock(unsigned long length) override {
    if (ReadsLeft == 0) return {};
    --ReadsLeft;
    const auto left = static_cast<std::uint64_t>(std::max<std::int64_t>(0, Length - Pos));
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>({length, left, kMaxBlock}));
    TagLib::ByteVector out(static_cast<unsigned>(n), '\0');
    const std::size_t got = Bytes.ReadAt(Pos, out.data(), n);
    out.resize(static_cast<unsigned>(got));
    Pos += static_cast<std::int64_t>(got);
    return out;
  }
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  // The reads of a tag begin.
  void StartTag() { ReadsLeft = kMaxTagReads; }
  bool isOpen() const override { return true; }
  void seek(long offset, Position p) override {
    const std::int64_t base = p == Beginning ? 0 : p == Current ? Pos : Length;
    std::int64_t to = 0;
    if (__builtin_add_overflow(base, static_cast<std::int64_t>(offset), &to))
      to = std::numeric_limits<long>::max();
    Pos = std::clamp<std::int64_t>(to, 0, std::numeric_limits<long>::max());
  }
  long tell() const override { return static_cast<long>(Pos); }
  long length() override { return static_cast<long>(Length); }
  void truncate(long) override {}

 private:
  const TCachedBytes& Bytes;
  const std::int64_t Length;
  std::int64_t Pos = 0;
  int ReadsLeft = kMaxTagReads;
};

// The file as TagLib's tags see it. The tags are made directly at the
// places found here, which spares the searches of TagLib's file types.
class TTagFile final : public TagLib::File {
 public:
  explicit TTagFile(TTagStream& stream) : TagLib::File(&stream), Stream(stream) {}
  TagLib::Tag* tag() const override { return nullptr; }
  TagLib::AudioProperties* audioProperties() const override { return nullptr; }
  bool save() override { return false; }
  void StartTag() { Stream.StartTag(); }

 private:
  TTagStream& Stream;
};

// TagLib declares the frame header type protected; it is reached through
// the signature of the factory's hook.
struct TFactoryHook : TagLib::ID3v2::FrameFactory {
  using FrameFactory::updateFrame;
};
template <typename F>
struct THookArgument;
template <typename R, typename C, typename A>
struct THookArgument<R (C::*)(A) const> {
  using Type = A;
};
using PFrameHeader = THookArgument<decltype(&TFactoryHook::updateFrame)>::Type;
using TFrameHeader = std::remove_pointer_t<PFrameHeader>;

bool IsId(const TagLib::ByteVector& id, std::string_view name) {
  return id.size() == name.size() && std::memcmp(id.data(), name.data(), name.size()) == 0;
}

// TagLib's frame factory, with two changes. Frames the media entry does
// not use (pictures, private data, ...) are kept as unknown frames and not
// parsed. Compressed frames are inflated within a budget per tag (see
// kMaxCompressedBytes); a frame over the budget gets a header without flags,
// so it is kept as an unknown frame of the same size and the frames after it
// are still found.
class TFrameFactory final : public TagLib::ID3v2::FrameFactory {
 public:
  // Whether createFrame parses a frame with this uncompressed, unencrypted
  // header (else it keeps it as an unknown frame). May rename the header.
  bool Parses(PFrameHeader header) const { return updateFrame(header); }

 protected:
  bool updateFrame(PFrameHeader header) const override {
    // ID3v2.2 names are made 2.3 names by TagLib first, and the 2.3 year
    // frame a 2.4 one. TagLib renames none of the other frames used.
    bool used = false;
    if (header->version() <= 2) {
      used = FrameFactory::updateFrame(header) && Used(header->frameID());
    } else {
      const TagLib::ByteVector id = header->frameID();
      used = IsId(id, "TYER") ? FrameFactory::updateFrame(header) : Used(id);
    }
    if (!header->compression()) return used;
    if (used && header->frameSize() <= CompressedLeft) {
      CompressedLeft -= header->frameSize();
      return true;
    }
    const unsigned version = header->version();
    const TagLib::ByteVector size = version >= 4
                                        ? TagLib::ID3v2::SynchData::fromUInt(header->frameSize())
                                        : TagLib::ByteVector::fromUInt(header->frameSize());
    header->setData(header->frameID() + size + TagLib::ByteVector(2, '\0'), version);
    return false;
  }

 private:
  static bool Used(const TagLib::ByteVector& id) {
    for (const std::string_view used : {"TIT2", "TPE1", "TALB", "COMM", "TCON", "TDRC"}) {
      if (IsId(id, used)) return true;
    }
    return false;
  }

  mutable unsigned CompressedLeft = kMaxCompressedBytes;
};

// TagLib keeps text as UTF-16 units, which are taken as they are. Text
// stored as Latin-1 (TagLib maps each byte to one unit) is decoded again
// from its bytes the way ID3v1 fields are: as UTF-8 when valid, else as
// Windows-1252, because taggers often put either into Latin-1 fields.
std::u16string Units(const TagLib::String& text, bool latin1) {
  const TagLib::String s = text.size() > kMaxTextUnits ? text.substr(0, kMaxTextUnits) : text;
  const bool ascii = std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= 0 && c < 0x80; });
  if (latin1 && !ascii && s.isLatin1()) return DecodeTagField(s.to8Bit(false));
  std::u16string out;
  out.reserve(s.size());
  for (const wchar_t c : s) {
    const auto u = static_cast<std::uint32_t>(static_cast<char32_t>(c));
    if (u > 0xFFFF && u <= 0x10FFFF) {
      out += static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((u - 0x10000) & 0x3FF));
    } else {
      out += u > 0xFFFF ? u'\uFFFD' : static_cast<char16_t>(u);
    }
  }
  return out;
}

void Fill(std::u16string& field, const std::u16string& text, std::size_t limit) {
  if (field.empty()) field = FitTagText(text, limit);
}

// A year: the first four characters when they are ASCII digits, else 0.
int YearOf(std::u16string_view text) {
  if (text.size() < 4 || !std::all_of(text.begin(), text.begin() + 4,
                                      [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
    return 0;
  }
  int year = 0;
  for (const char16_t c : text.substr(0, 4)) year = year * 10 + (c - u'0');
  return year;
}

void FillFromTag(const TagLib::Tag& tag, bool latin1, TTagText& text) {
  Fill(text.Title, Units(tag.title(), latin1), kID3TextSize);
  Fill(text.Artist, Units(tag.artist(), latin1), kID3TextSize);
  Fill(text.Album, Units(tag.album(), latin1), kID3TextSize);
  Fill(text.Comment, Units(tag.comment(), latin1), kID3CommentSize);
  Fill(text.Genre, GenreFromText(Units(tag.genre(), latin1)), kID3TextSize);
  if (text.Year == 0 && tag.year() <= 9999) text.Year = static_cast<int>(tag.year());
}

bool IsLatin1(const TagLib::ID3v2::Frame* frame) {
  if (const auto* t = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
    return t->textEncoding() == TagLib::String::Latin1;
  }
  if (const auto* c = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame)) {
    return c->textEncoding() == TagLib::String::Latin1;
  }
  return false;
}

// A frame's text: the fields of a text frame joined by spaces, a comment's
// text. A frame of one field (the usual case) is taken without joining.
std::u16string FrameText(const TagLib::ID3v2::Frame* frame) {
  if (frame == nullptr) return {};
  if (const auto* t = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
    const TagLib::StringList fields = t->fieldList();
    return Units(fields.size() == 1 ? fields.front() : fields.toString(), IsLatin1(frame));
  }
  return Units(frame->toString(), IsLatin1(frame));
}

// Every genre of a genre frame, named and joined by " / ".
std::u16string GenreText(const TagLib::ID3v2::Frame* frame) {
  const auto* genres = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame);
  if (genres == nullptr) return {};
  std::u16string joined;
  for (const TagLib::String& field : genres->fieldList()) {
    const std::u16string genre = GenreFromText(Units(field, IsLatin1(genres)));
    if (genre.empty()) continue;
    if (!joined.empty()) joined += u" / ";
    joined += genre;
    if (joined.size() >= kID3TextSize) break;
  }
  return joined;
}

// The kinds of frames the entry takes its fields from.
enum TKind { kTitle, kArtist, kAlbum, kGenre, kYear, kComment, kOther, kKinds = kOther };

TKind KindOf(const TagLib::ByteVector& id) {
  return IsId(id, "TIT2")   ? kTitle
         : IsId(id, "TPE1") ? kArtist
         : IsId(id, "TALB") ? kAlbum
         : IsId(id, "TCON") ? kGenre
         : IsId(id, "TDRC") ? kYear
         : IsId(id, "COMM") ? kComment
                            : kOther;
}

// Takes the fields from frames handed over in tag order: the first frame of
// each kind and, of the comments, the first one without a description
// (others mostly hold players' private data), else the first. A frame's
// text is taken when it is handed over, so the frame object may be parsed
// again for a later frame.
class TFramePicker {
 public:
  // Whether a frame of this kind could still change the fields.
  bool Wants(TKind kind) const {
    return kind == kComment ? !HavePlainComment : kind != kOther && !Have[kind];
  }
  void Take(const TagLib::ID3v2::Frame& frame) { Take(KindOf(frame.frameID()), frame); }
  void Take(TKind kind, const TagLib::ID3v2::Frame& frame) {
    if (!Wants(kind)) return;
    if (kind == kComment) {
      const auto* c = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(&frame);
      HavePlainComment = c != nullptr && c->description().isEmpty();
      if (Have[kComment] && !HavePlainComment) return;
    }
    Have[kind] = true;
    Texts[kind] = kind == kGenre ? GenreText(&frame) : FrameText(&frame);
  }
  void Fill(TTagText& text) const {
    ::vesperon::Fill(text.Title, Texts[kTitle], kID3TextSize);
    ::vesperon::Fill(text.Artist, Texts[kArtist], kID3TextSize);
    ::vesperon::Fill(text.Album, Texts[kAlbum], kID3TextSize);
    ::vesperon::Fill(text.Comment, Texts[kComment], kID3CommentSize);
    ::vesperon::Fill(text.Genre, Texts[kGenre], kID3TextSize);
    if (text.Year == 0) text.Year = YearOf(Texts[kYear]);
  }

 private:
  bool Have[kKinds] = {};
  bool HavePlainComment = false;
  std::u16string Texts[kKinds];
};

// The whole ID3v2 tag that starts at `at`, read by TagLib's tag class.
void ReadWholeId3v2(TTagFile& file, std::int64_t at, TTagText& text) {
  const TFrameFactory factory;
  file.StartTag();
  const TagLib::ID3v2::Tag tag(&file, static_cast<long>(at), &factory);
  TFramePicker picker;
  for (const TagLib::ID3v2::Frame* frame : tag.frameList()) picker.Take(*frame);
  picker.Fill(text);
}

// A frame TagLib's tag would hand to its frame factory and parse plainly:
// a name (`id`, as its header gives it) of four capitals or digits, a size
// that fits in the frame data left, no flag that changes how its bytes are
// read.
bool IsPlainFrame(const TFrameHeader& header, const TagLib::ByteVector& id, unsigned left) {
  if (id.size() != 4 || !std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      })) {
    return false;
  }
  return header.frameSize() > 0 && header.frameSize() <= left && !header.compression() &&
         !header.encryption() && !header.unsynchronisation() && !header.dataLengthIndicator() &&
         !header.groupingIdentity();
}

// A TagLib frame object parsed again by TagLib for frame after frame of its
// class. TagLib's constructors parse a frame in two steps, its header, then
// its fields from the bytes after the header; Parse does the second step on
// this object, with the header the walk had TagLib parse for the frame
// (lent for the one parse; the object keeps its own for its end).
template <typename Base>
class TKeptFrame final : public Base {
 public:
  template <typename... Args>
  explicit TKeptFrame(Args&&... args) : Base(std::forward<Args>(args)...), Own(this->header()) {}
  ~TKeptFrame() override { this->setHeader(Own, false); }
  TKeptFrame(const TKeptFrame&) = delete;
  TKeptFrame& operator=(const TKeptFrame&) = delete;

  // Parses the frame `bytes` begin with and hands the frame to `use`.
  template <typename Use>
  void Parse(PFrameHeader header, const TagLib::ByteVector& bytes, const Use& use) {
    this->setHeader(header, false);
    this->parseFields(this->fieldData(bytes));
    use(static_cast<const Base&>(*this));
    this->setHeader(Own, false);
  }

 private:
  const PFrameHeader Own;
};

}  // namespace

// A frame object can be parsed again only where a new one would come out
// the same: TagLib's parse of a text frame sets the encoding and the list of
// fields once the frame holds 2 bytes, that of a comment the encoding from 5
// bytes on, and its description and text only when the bytes hold both, so
// a comment's description and text are emptied before. Shorter frames,
// where TagLib leaves the object as it was, get a new object.
struct TTagLibReader::TFrames {
  static constexpr unsigned kMinText = 2, kMinComment = 5;
  TKeptFrame<TagLib::ID3v2::TextIdentificationFrame> Text{TagLib::ByteVector("TIT2"),
                                                          TagLib::String::Latin1};
  TKeptFrame<TagLib::ID3v2::CommentsFrame> Comment;
  const TagLib::String Empty;
};

namespace {

// Whether the genres of a genre frame come out the same after TagLib's frame
// factory has rewritten them, so that a frame parsed without the factory
// serves. The factory keeps every genre that is not "(" and ")" around
// something, and makes "(N)" "N", or drops it when its genre table has no
// name for N (past 255). Both give the same genre here (GenreFromText) as
// long as N is one to three digits and the factory's table names every
// genre GenreNames does. Genres like "(N)Text", "(N)(M)" or "(Text)" are
// rewritten otherwise, and their frames are left to the factory.
bool FactoryKeepsGenres(const TagLib::StringList& genres) {
  return std::all_of(genres.begin(), genres.end(), [](const TagLib::String& genre) {
    const auto close = std::find(genre.begin(), genre.end(), L')');
    if (genre.isEmpty() || genre[0] != L'(' || close == genre.end()) return true;
    const auto digits = close - genre.begin() - 1;
    return close + 1 == genre.end() && digits >= 1 && digits <= 3 &&
           std::all_of(genre.begin() + 1, close, [](wchar_t c) { return c >= L'0' && c <= L'9'; });
  });
}

// Parses the frame `rest` begins with, whose header TagLib parsed into
// `header`, as TagLib's frame factory would, and hands it to the picker:
// into a kept object where that comes out the same, else into a new one.
// False when the factory makes no frame of it.
bool ParseFrame(TKind kind, PFrameHeader header, const TagLib::ByteVector& rest,
                const TFrameFactory& factory, const TagLib::ID3v2::Header& tagHeader,
                TTagLibReader::TFrames& kept, TFramePicker& picker) {
  const auto take = [&](const TagLib::ID3v2::Frame& frame) { picker.Take(kind, frame); };
  const unsigned size = header->frameSize();
  if (kind != kComment && size >= TTagLibReader::TFrames::kMinText) {
    bool taken = false;
    kept.Text.Parse(header, rest, [&](const TagLib::ID3v2::TextIdentificationFrame& frame) {
      taken = kind != kGenre || FactoryKeepsGenres(frame.fieldList());
      if (taken) take(frame);
    });
    if (taken) return true;
  }
  if (kind == kComment && size >= TTagLibReader::TFrames::kMinComment) {
    kept.Comment.setDescription(kept.Empty);
    kept.Comment.setText(kept.Empty);
    kept.Comment.Parse(header, rest, take);
    return true;
  }
  const std::unique_ptr<TagLib::ID3v2::Frame> frame(factory.createFrame(rest, &tagHeader));
  if (frame == nullptr || frame->size() != size) return false;
  take(*frame);
  return true;
}

// The ID3v2 tag that starts at `at`, when it has the plain form nearly all
// taggers write: version 2.3 or 2.4, no unsynchronisation, extended header,
// footer or experimental flag, complete, and only plain frames up to its
// padding. TagLib parses the tag header, every frame header and every frame
// the entry uses (see ParseFrame); this code only steps from frame to frame
// by the sizes TagLib's frame headers give, as TagLib's tag does, and skips
// the frames the entry does not use or no longer needs. That spares the
// tag's own bookkeeping and most frame objects. Returns false, having filled
// nothing, for any other tag: it is then read whole.
bool WalkPlainId3v2(TTagFile& file, std::int64_t at, TTagLibReader::TFrames& kept, TTagText& text) {
  constexpr unsigned kFrameHeaderSize = 10;
  file.StartTag();
  file.seek(static_cast<long>(at));
  const TagLib::ID3v2::Header tagHeader(file.readBlock(TagLib::ID3v2::Header::size()));
  const unsigned version = tagHeader.majorVersion();
  if ((version != 3 && version != 4) || tagHeader.unsynchronisation() ||
      tagHeader.extendedHeader() || tagHeader.footerPresent() ||
      tagHeader.experimentalIndicator() || tagHeader.tagSize() == 0) {
    return false;
  }
  const TagLib::ByteVector data = file.readBlock(tagHeader.tagSize());
  if (data.size() != tagHeader.tagSize()) return false;
  const TFrameFactory factory;
  TFrameHeader header(TagLib::ByteVector(), version);
  TFramePicker picker;
  for (unsigned pos = 0; pos + kFrameHeaderSize < data.size();) {
    // TagLib's tag takes a zero byte where a frame would start as the
    // start of the padding, and ends its frames there.
    if (data[static_cast<int>(pos)] == 0) break;
    // TagLib's frame header may look past the frame (a 2.4 size written
    // unsynchsafe), so it gets the rest of the tag, as in the whole tag.
    const TagLib::ByteVector rest = data.mid(pos);
    header.setData(rest, version);
    const unsigned size = header.frameSize();
    const TagLib::ByteVector id = header.frameID();
    if (!IsPlainFrame(header, id, data.size() - pos - kFrameHeaderSize)) return false;
    if (factory.Parses(&header)) {
      // Of the frames used, the factory renames only the 2.3 year frame.
      const TKind kind = KindOf(IsId(id, "TYER") ? header.frameID() : id);
      if (picker.Wants(kind) &&
          !ParseFrame(kind, &header, rest, factory, tagHeader, kept, picker)) {
        return false;
      }
    }
    pos += kFrameHeaderSize + size;
  }
  picker.Fill(text);
  return true;
}

// The ID3v2 tag that starts at `at`.
void ReadId3v2(TTagFile& file, std::int64_t at, TId3v2Reading reading, TTagLibReader::TFrames& kept,
               TTagText& text, int* walked) {
  if (reading == TId3v2Reading::WalkPlainTags && WalkPlainId3v2(file, at, kept, text)) {
    if (walked != nullptr) ++*walked;
    return;
  }
  ReadWholeId3v2(file, at, text);
}

std::uint32_t LittleEndian32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

// The first ID3 chunk, then the first INFO list of a RIFF WAVE file.
void ReadWav(const TCachedBytes& bytes, TTagFile& file, TId3v2Reading reading,
             TTagLibReader::TFrames& kept, TTagText& text, int* walked) {
  const std::int64_t size = bytes.Bytes.Size();
  std::int64_t id3At = -1, infoAt = -1, infoLength = 0;
  std::int64_t at = 12;
  for (int i = 0; i < kMaxWavChunks && size - at >= 8; ++i) {
    char header[12];
    const std::size_t got =
        bytes.ReadAt(at, header, static_cast<std::size_t>(std::min<std::int64_t>(12, size - at)));
    if (got < 8) break;
    const std::string_view id(header, 4), start(header + 8, got - 8);
    const std::uint32_t chunkSize = LittleEndian32(header + 4);
    if ((id == "ID3 " || id == "id3 ") && id3At < 0 && start.substr(0, 3) == "ID3") {
      id3At = at + 8;
    } else if (id == "LIST" && start == "INFO" && infoAt < 0) {
      infoAt = at + 8;
      infoLength = std::min<std::int64_t>({chunkSize, size - infoAt, kMaxBlock});
    }
    at += 8 + static_cast<std::int64_t>(chunkSize) + (chunkSize & 1);
  }
  if (id3At >= 0) ReadId3v2(file, id3At, reading, kept, text, walked);
  if (infoAt >= 0) {
    TagLib::ByteVector list(static_cast<unsigned>(infoLength), '\0');
    list.resize(static_cast<unsigned>(bytes.ReadAt(infoAt, list.data(), list.size())));
    FillFromTag(TagLib::RIFF::Info::Tag(list), true, text);
  }
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The genre a number of up to three digits names.
std::u16string GenreNumber(std::u16string_view digits) {
  int n = 0;
  for (const char16_t c : digits) n = n * 10 + (c - u'0');
  return n < static_cast<int>(kGenreCount) ? std::u16string(GenreNames[static_cast<std::size_t>(n)])
                                           : u"";
}

bool IsGenreNumber(std::u16string_view s) {
  // The view outlives this call: callers pass temporaries that live to the
  // end of their full expression, and GenreFromText returns an owned string.
  // cppcheck-suppress danglingTemporaryLifetime
  return !s.empty() && s.size() <= 3 && std::all_of(s.begin(), s.end(), IsDigit);
}

}  // namespace

std::u16string FitTagText(std::u16string_view text, std::size_t limit) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size() && out.size() < limit; ++i) {
    const char16_t c = text[i];
    if (c < 32) continue;
    const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      if (out.size() + 2 > limit) break;
      out += c;
      out += text[++i];
    } else {
      out += high || low ? u'\uFFFD' : c;
    }
  }
  return out;
}

std::u16string GenreFromText(std::u16string_view text) {
  if (IsGenreNumber(text)) return GenreNumber(text);
  const std::size_t close = text.find(u')');
  if (!text.empty() && text.front() == u'(' && close != std::u16string_view::npos) {
    const std::u16string_view number = text.substr(1, close - 1), rest = text.substr(close + 1);
    if (IsGenreNumber(number)) return rest.empty() ? GenreNumber(number) : std::u16string(rest);
  }
  return std::u16string(text);
}

TTagLibReader::TTagLibReader() : Frames(std::make_unique<TFrames>()) {}
TTagLibReader::~TTagLibReader() = default;

TTagText ReadTagLibTags(TTagBytes& bytes, std::string_view tail, TId3v2Reading reading,
                        int* walked) {
  return TTagLibReader().Read(bytes, tail, reading, walked);
}

TTagText TTagLibReader::Read(TTagBytes& bytes, std::string_view tail, TId3v2Reading reading,
                             int* walked) {
  TTagText text;
  const std::int64_t size = bytes.Size();
  char headBuffer[kHeadSize];
  const std::string_view head(headBuffer,
                              bytes.ReadAt(0, headBuffer, std::min<std::size_t>(kHeadSize, size)));
  char footerBuffer[kApeFooterSize];
  if (tail.size() < kApeFooterSize && size >= static_cast<std::int64_t>(kApeFooterSize)) {
    tail = std::string_view(footerBuffer,
                            bytes.ReadAt(size - kApeFooterSize, footerBuffer, kApeFooterSize));
  }
  const TCachedBytes cached{bytes, head, tail};
  TTagStream stream(cached);
  TTagFile file(stream);
  if (head.size() >= 12 && head.substr(0, 4) == "RIFF" && head.substr(8, 4) == "WAVE") {
    ReadWav(cached, file, reading, *Frames, text, walked);
    return text;
  }
  if (head.substr(0, 3) == "ID3") ReadId3v2(file, 0, reading, *Frames, text, walked);
  if (tail.size() >= kApeFooterSize && tail.substr(tail.size() - kApeFooterSize, 8) == "APETAGEX") {
    file.StartTag();
    const TagLib::APE::Tag ape(&file, static_cast<long>(size - kApeFooterSize));
    FillFromTag(ape, false, text);
  }
  return text;
}

}  // namespace vesperon
