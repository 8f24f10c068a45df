// The "media.db" file: little-endian, no header. A signed 32-bit entry count,
// then one record per entry: six strings (16-bit length in UTF-16 units, then
// the units) and a 33-byte tail of fixed fields.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <istream>
#include <iterator>
#include <ostream>
#include <stdexcept>

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
  for (const std::u16string* s :
       {&e.Filename, &e.Artist, &e.Title, &e.Comment, &e.Album, &e.Genre}) {
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

struct TFileBytes {
  bool Missing = false;   // no file of that name
  bool Opened = false;    // a regular file that could be opened
  bool Complete = false;  // and every byte of it was read
  std::string Bytes;
};

// The whole file in one read. A name that is no regular file (a folder, a
// pipe: opened without blocking) or cannot be opened is not Opened; a read
// error leaves the bytes read so far.
TFileBytes ReadRegularFile(const std::filesystem::path& name) {
  TFileBytes file;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    file.Missing = errno == ENOENT;
    return file;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    file.Opened = true;
    file.Bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    bool failed = false;
    while (done < file.Bytes.size()) {
      const ssize_t n = ::read(fd, file.Bytes.data() + done, file.Bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      failed = n < 0;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    file.Bytes.resize(done);  // a file that shrank while being read
    file.Complete = !failed;
  }
  ::close(fd);
  return file;
}

void LogDamaged(std::u16string_view source, int loaded, std::int32_t count,
                std::u16string_view note) {
  LogWarning(u"Could not load mediadb completely. The file " + std::u16string(source) +
             u" is damaged after " + IntToU16(loaded) + u" of " + IntToU16(count) + u" entries" +
             std::u16string(note));
}

std::filesystem::path BackupName(const std::filesystem::path& name) {
  std::filesystem::path bak = name;
  bak += ".bak";
  return bak;
}

}  // namespace

bool TMediaDB::LoadFromBytes(std::string_view bytes, std::u16string_view source) {
  return LoadBytes(bytes, source, {});
}

bool TMediaDB::LoadBytes(std::string_view bytes, std::u16string_view source,
                         std::u16string_view damageNote) {
  Clear();
  ClearSortFlags();
  if (bytes.empty()) {
    LogWarning("Could not load mediadb. Stream is empty");
    return false;
  }
  TByteReader in(bytes);
  const std::int32_t count = in.I32();
  if (in.Failed()) {
    LogDamaged(source, 0, 0, damageNote);
    return false;
  }
  if (count < 1) return true;
  // The count is not trusted: reserve no more than the bytes can hold.
  const std::size_t fits = in.Remaining() / kMinRecordSize;
  const std::size_t expected =
      static_cast<std::size_t>(count) < fits ? static_cast<std::size_t>(count) : fits;
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
  if (!complete) LogDamaged(source, Count(), count, damageNote);
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
  Original = ofClean;
  const TFileBytes file = ReadRegularFile(name);
  const std::u16string shown = U16FromPath(name);
  if (file.Missing) {
    Clear();
    LogWarning(u"Could not load mediadb. The file " + shown + u" does not exists");
    return false;
  }
  if (!file.Opened) {
    Clear();
    Original = ofUnreadable;
    LogWarning(u"Could not load mediadb. The file " + shown +
               u" cannot be read. It is not replaced by an empty "
               u"database; a database with entries is saved after it is kept as " +
               U16FromPath(BackupName(name)));
    return false;
  }
  const std::u16string note = u". The original file is kept as " + U16FromPath(BackupName(name)) +
                              u" before the database is saved";
  bool loaded = false;
  try {
    loaded = LoadBytes(file.Bytes, shown, note);
  } catch (const std::exception&) {
    // Out of memory part way: the entries read so far are not indexed yet,
    // so none of them are kept.
    Clear();
    LogDamaged(shown, 0, 0, note);
  }
  // An empty file is an empty database, not a damaged one.
  if (!file.Complete && loaded) {
    LogWarning(u"Could not load mediadb completely. The file " + shown +
               u" could not be read to its end" + note);
  }
  if (!file.Complete || (!loaded && !file.Bytes.empty())) Original = ofDamaged;
  return loaded && file.Complete;
}

// Keeps the file a save is about to replace as "<name>.bak": a second name
// for the same file where the file system allows it, else the file moved
// aside (the save then writes a new one).
bool TMediaDB::KeepOriginal(const std::filesystem::path& name) const {
  const std::filesystem::path bak = BackupName(name);
  if (::unlink(bak.c_str()) != 0 && errno != ENOENT) return false;
  if (::link(name.c_str(), bak.c_str()) == 0 || errno == ENOENT) return true;
  return std::rename(name.c_str(), bak.c_str()) == 0;
}

// File operations end at this boundary: an exception (out of memory) is
// reported like any other failure.
bool TMediaDB::SaveToFile(const std::filesystem::path& name) const {
  try {
    if (Original == ofUnreadable && Entries.empty()) {
      // Nothing to save in place of a file nobody could read.
    } else if (Original != ofClean && !KeepOriginal(name)) {
      LogWarning(u"Could not keep the original mediadb as " + U16FromPath(BackupName(name)));
    } else if (WriteFileAtomically(name, SaveToBytes())) {
      Original = ofClean;
      return true;
    }
  } catch (const std::exception&) {
  }
  LogWarning(u"Could not save mediadb. The file " + U16FromPath(name) +
             u" keeps its previous contents");
  return false;
}

}  // namespace vesperon
