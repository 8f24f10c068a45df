// The "media.db" file: little-endian, no header. A signed 32-bit entry count,
// then one record per entry: six strings (16-bit length in UTF-16 units, then
// the units) and a 33-byte tail of fixed fields.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <istream>
#include <stdexcept>
#include <iterator>
#include <ostream>

#include "core/byte_io.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "media/mediadb.h"

namespace vesperon {
namespace {

// The smallest record: six empty strings and the fixed tail.
constexpr std::size_t kMinRecordSize = 6 * 2 + 33;

std::u16string ReadString(TByteReader& in) { return in.U16String(in.U16()); }

// Strings are cut to what the 16-bit length can say; a surrogate pair is
// never split, so the stored text stays well-formed.
std::u16string_view StoredPart(std::u16string_view s) {
  if (s.size() > kMaxStoredStringLength) {
    s = s.substr(0, kMaxStoredStringLength);
    if (s.back() >= 0xD800 && s.back() <= 0xDBFF) s.remove_suffix(1);
  }
  return s;
}

void WriteString(TByteWriter& out, std::u16string_view s) {
  s = StoredPart(s);
  out.U16(static_cast<std::uint16_t>(s.size()));
  out.U16Units(s);
}

std::size_t RecordSize(const TMediaEntry& e) {
  std::size_t units = 0;
  for (const std::u16string* s : {&e.Filename, &e.Artist, &e.Title, &e.Comment, &e.Album, &e.Genre}) {
    units += StoredPart(*s).size();
  }
  return kMinRecordSize + 2 * units;
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

// The whole file in one read; nothing when it is not a readable regular file.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    bytes.emplace(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes->size()) {
      const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    bytes->resize(done);  // a file that shrank while being read
  }
  ::close(fd);
  return bytes;
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
  std::vector<std::size_t> hashes;
  hashes.reserve(expected);
  bool complete = true;
  for (std::int32_t i = 0; i < count && complete; ++i) {
    const PMediaEntry entry = NewEntry();
    complete = ReadRecord(in, *entry);
    if (complete) {
      Entries.push_back(entry);
      hashes.push_back(TNameIndex::Hash(entry->Filename));
    } else {
      *entry = TMediaEntry{};  // no half-read entry is kept
    }
  }
  NameIndex.InsertAll(Entries, hashes);
  if (!complete) LogDamaged(source, Count(), count);
  return complete;
}

std::string TMediaDB::SaveToBytes() const {
  std::string bytes;
  if (Entries.empty()) return bytes;
  std::size_t size = 4;
  for (const PMediaEntry e : Entries) size += RecordSize(*e);
  bytes.resize(size);
  TByteWriter out(bytes.data(), bytes.data() + bytes.size());
  out.I32(Count());
  for (const PMediaEntry e : Entries) WriteRecord(out, *e);
  // The sizes above and the writer agree by construction; should they ever
  // not, an exception beats a file that loads as damaged.
  if (out.Failed() || !out.Full()) throw std::logic_error("media.db record sizes disagree");
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
  const std::optional<std::string> bytes = ReadRegularFile(name);
  if (!bytes) {
    Clear();
    LogWarning(u"Could not load mediadb. The file " + U16FromPath(name) + u" cannot be read");
    return false;
  }
  try {
    return LoadFromBytes(*bytes, U16FromPath(name));
  } catch (const std::exception&) {
    // Out of memory part way: the entries read so far are not indexed yet,
    // so none of them are kept.
    Clear();
    LogDamaged(U16FromPath(name), 0, 0);
    return false;
  }
}

// File operations end at this boundary: an exception (out of memory) is
// reported like any other failure.
bool TMediaDB::SaveToFile(const std::filesystem::path& name) const {
  try {
    if (WriteFileAtomically(name, SaveToBytes())) return true;
  } catch (const std::exception&) {
  }
  LogWarning(u"Could not save mediadb. The file " + U16FromPath(name) + u" keeps its previous contents");
  return false;
}

}  // namespace vesperon
