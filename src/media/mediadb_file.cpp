// The "media.db" file: little-endian, no header. A signed 32-bit entry count,
// then one record per entry: six strings (16-bit length in UTF-16 units, then
// the units) and a 33-byte tail of fixed fields.
#include <istream>
#include <iterator>
#include <ostream>

#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "media/byte_io.h"
#include "media/mediadb.h"

namespace vesperon {
namespace {

// The smallest record: six empty strings and the fixed tail.
constexpr std::size_t kMinRecordSize = 6 * 2 + 33;

std::u16string ReadString(TByteReader& in) { return in.U16String(in.U16()); }

// Strings are cut to what the 16-bit length can say; a surrogate pair is
// never split, so the stored text stays well-formed.
void WriteString(TByteWriter& out, std::u16string_view s) {
  if (s.size() > kMaxStoredStringLength) {
    s = s.substr(0, kMaxStoredStringLength);
    if (s.back() >= 0xD800 && s.back() <= 0xDBFF) s.remove_suffix(1);
  }
  out.U16(static_cast<std::uint16_t>(s.size()));
  out.U16Units(s);
}

// Fills `e` from one record; false when the bytes end inside it.
bool ReadRecord(TByteReader& in, TMediaEntry& e) {
  e.Filename = ReadString(in);
  e.Artist = ReadString(in);
  e.Title = ReadString(in);
  e.Comment = ReadString(in);
  e.Album = ReadString(in);
  e.Genre = ReadString(in);
  e.Spare1 = in.U32();
  e.Spare2 = in.U8();
  e.Spare3 = in.U16();
  e.Spare4 = in.U16();
  e.MediaTyp = static_cast<TMediaTyp>(in.U32());
  e.Added = in.F64();
  e.PlayCountA = in.U16();
  e.PlayCountB = in.U16();
  e.Spare5 = in.F64();
  return !in.Failed();
}

void WriteRecord(TByteWriter& out, const TMediaEntry& e) {
  WriteString(out, e.Filename);
  WriteString(out, e.Artist);
  WriteString(out, e.Title);
  WriteString(out, e.Comment);
  WriteString(out, e.Album);
  WriteString(out, e.Genre);
  out.U32(e.Spare1);
  out.U8(e.Spare2);
  out.U16(e.Spare3);
  out.U16(e.Spare4);
  out.U32(e.MediaTyp);
  out.F64(e.Added);
  out.U16(e.PlayCountA);
  out.U16(e.PlayCountB);
  out.F64(e.Spare5);
}

void LogDamaged(std::u16string_view source, int loaded, std::int32_t count) {
  LogWarning(u"Could not load mediadb completely. The file " + std::u16string(source) + u" is damaged after " +
             IntToU16(loaded) + u" of " + IntToU16(count) + u" entries");
}

}  // namespace

bool TMediaDB::LoadFromBytes(std::string_view bytes, std::u16string_view source) {
  Clear();
  ClearSortFlags();
  if (bytes.empty()) {
    LogWarning("Could not load mediadb. Stream is empty");
    return false;
  }
  TByteReader in(bytes);
  const std::int32_t count = in.I32();
  if (in.Failed()) {
    LogDamaged(source, 0, 0);
    return false;
  }
  if (count < 1) return true;
  // The count is not trusted: reserve no more than the bytes can hold.
  const std::size_t fits = in.Remaining() / kMinRecordSize;
  const std::size_t expected = static_cast<std::size_t>(count) < fits ? static_cast<std::size_t>(count) : fits;
  Entries.reserve(expected);
  NameIndex.reserve(expected);
  for (std::int32_t i = 0; i < count; ++i) {
    auto entry = std::make_unique<TMediaEntry>();
    if (!ReadRecord(in, *entry)) {
      LogDamaged(source, Count(), count);
      return false;
    }
    Append(std::move(entry));
  }
  return true;
}

std::string TMediaDB::SaveToBytes() const {
  std::string bytes;
  if (Entries.empty()) return bytes;
  std::size_t size = 4;
  for (const auto& e : Entries) {
    size += kMinRecordSize + 2 * (e->Filename.size() + e->Artist.size() + e->Title.size() + e->Comment.size() +
                                  e->Album.size() + e->Genre.size());
  }
  bytes.reserve(size);
  TByteWriter out(bytes);
  out.I32(Count());
  for (const auto& e : Entries) WriteRecord(out, *e);
  return bytes;
}

bool TMediaDB::LoadFromStream(std::istream& stream) {
  stream.seekg(0);
  const std::string bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  return LoadFromBytes(bytes, u"stream");
}

bool TMediaDB::SaveToStream(std::ostream& stream) const {
  const std::string bytes = SaveToBytes();
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(stream);
}

bool TMediaDB::LoadFromFile(const std::filesystem::path& name) {
  std::error_code ec;
  if (!std::filesystem::exists(name, ec)) {
    Clear();
    LogWarning(u"Could not load mediadb. The file " + U16FromPath(name) + u" does not exists");
    return false;
  }
  const std::optional<std::string> bytes =
      std::filesystem::is_regular_file(name, ec) ? ReadWholeFile(name) : std::nullopt;
  if (!bytes) {
    Clear();
    LogWarning(u"Could not load mediadb. The file " + U16FromPath(name) + u" cannot be read");
    return false;
  }
  return LoadFromBytes(*bytes, U16FromPath(name));
}

bool TMediaDB::SaveToFile(const std::filesystem::path& name) const {
  if (WriteFileAtomically(name, SaveToBytes())) return true;
  LogWarning(u"Could not save mediadb. The file " + U16FromPath(name) + u" keeps its previous contents");
  return false;
}

}  // namespace vesperon
