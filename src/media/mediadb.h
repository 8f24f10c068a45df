#pragma once
// The media database: the player's catalogue of known songs, one entry per
// file, kept in "media.db" beside the executable.
//
// One TMediaDB lives for the whole run (CreateMediaDB at start-up,
// FreeMediaDB at shutdown; MediaDB() is nullptr outside that span). Playback
// keeps PMediaEntry pointers; they stay valid until the database is freed or
// reloaded, because sorting only reorders the pointers.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/random.h"
#include "media/id3_tag.h"
#include "media/name_index.h"

namespace vesperon {

// Days since 1899-12-30, the fraction being the time of day, local time
// (NowAsDateTime gives the current one).
using TDateTime = double;

// Stored as an unsigned 32-bit value; values other than these three are
// kept unchanged through loading and saving.
enum TMediaTyp : std::uint32_t { mtFile = 0, mtStream = 1, mtPlaylist = 2 };

struct TMediaEntry {
  std::u16string Filename;  // full path; the identity of the entry
  std::u16string Artist;
  std::u16string Title;
  std::u16string Comment;
  std::u16string Album;
  std::uint32_t Spare1 = 0;
  std::u16string Genre;
  std::uint8_t Spare2 = 0;
  std::uint16_t Spare3 = 0;
  std::uint16_t Spare4 = 0;
  TMediaTyp MediaTyp = mtFile;
  TDateTime Added = 0.0;
  std::uint16_t PlayCountA = 0;
  std::uint16_t PlayCountB = 0;
  double Spare5 = 0.0;

  bool operator==(const TMediaEntry&) const = default;
};

using PMediaEntry = TMediaEntry*;
using TPMEArray = std::vector<PMediaEntry>;

// Compares UTF-16 code unit values, no case folding, no locale: negative
// when A comes first, 0 when equal, positive when B comes first (negated
// when Descending).
int CompareWide(std::u16string_view a, std::u16string_view b, bool descending = false);

// Longest string the file can hold; longer strings are cut on saving.
constexpr std::size_t kMaxStoredStringLength = 65535;

class TMediaDB {
 public:
  TMediaDB();
  ~TMediaDB();
  TMediaDB(const TMediaDB&) = delete;
  TMediaDB& operator=(const TMediaDB&) = delete;

  int Count() const { return static_cast<int>(Entries.size()); }

  // Copies entry Index into `entry` when 0 <= Index < Count and returns
  // true; otherwise leaves `entry` untouched and returns false.
  bool GetEntry(int index, TMediaEntry& entry) const;
  // The entry's pointer when 0 <= Index < Count, else nullptr. Its Filename
  // must not be changed through the pointer (the name index relies on it).
  PMediaEntry GetEntryPtr(int index) const;

  // Every entry whose Filename equals `name` exactly (case-sensitive), in
  // Entries order. Looked up in a hash index, not by scanning.
  TPMEArray FindByFilename(const std::u16string& name) const;
  bool HasFilename(const std::u16string& name) const;
  // Position in Entries of the first entry of that name (what the list
  // view selects when a song starts), or -1.
  int IndexOfFilename(const std::u16string& name) const;

  // Appends a copy of the entry and clears the sort state.
  void Add(const TMediaEntry& entry);
  // Adds one file with its tag unless an entry of that name exists already.
  // False when the file was refused as a duplicate.
  bool AddFile(const std::u16string& name);
  // Adds every file with a known extension in Dir (and, when Recursive, in
  // its sub-directories). False when Dir is not a directory.
  bool AddDirectory(const std::u16string& dir, bool recursive);

  // Reorder Entries by one key; nothing is done when the database is
  // already in that order and direction.
  void SortByTitle(bool descending);
  void SortByArtist(bool descending);
  void SortByFilename(bool descending);
  void SortByAdded(bool descending);
  void SortByGenre(bool descending);
  void SortByAlbum(bool descending);

  // The "media.db" format. Loading replaces the contents; a damaged file
  // keeps the complete entries before the damage and logs a warning. Saving
  // a file goes through a temporary file renamed into place. All four
  // return false when something went wrong (and say so in the log where
  // the program's users expect it).
  // A file that exists but was not read completely is not lost at the next
  // save: the first save after such a load first keeps the original as
  // "<name>.bak" (a later clean load and save leave that copy alone), and a
  // file that could not be read at all is never replaced by an empty
  // database.
  bool LoadFromFile(const std::filesystem::path& name);
  bool SaveToFile(const std::filesystem::path& name) const;
  bool LoadFromStream(std::istream& stream);
  bool SaveToStream(std::ostream& stream) const;
  // The same on bytes in memory; `source` names them in warnings.
  bool LoadFromBytes(std::string_view bytes, std::u16string_view source);
  std::string SaveToBytes() const;

  // Sort state: at most one flag is set; it says Entries is in that order.
  bool SortedByTitle = false;
  bool SortedByArtist = false;
  bool SortedByFilename = false;
  bool SortedByAdded = false;
  bool SortedByGenre = false;
  bool SortedByAlbum = false;
  bool SortDescending = false;

  TID3TagReader TagReader;

 private:
  static constexpr std::size_t kBlockSize = 256;

  PMediaEntry NewEntry();
  void Append(PMediaEntry entry);
  void Append(PMediaEntry entry, std::size_t nameHash);
  void Clear();
  void ClearSortFlags();
  bool LoadBytes(std::string_view bytes, std::u16string_view source,
                 std::u16string_view damageNote);
  bool KeepOriginal(const std::filesystem::path& name) const;
  bool AddFile(std::u16string name, int dirFd, const char* path);
  void ScanDirectory(int dirFd, const std::u16string& dir, bool recursive);
  template <typename Key, typename KeyOf, typename Before, typename After>
  void SortBy(KeyOf keyOf, Before before, After after);

  // The entries live in blocks that never move, so PMediaEntry pointers
  // stay valid while Entries is sorted or grows; Entries holds them in the
  // current order.
  TPMEArray Entries;
  // What the last LoadFromFile left on disk that a save must not lose; the
  // state of the file, not of the contents, so a const save may clear it.
  enum TOriginal { ofClean, ofDamaged, ofUnreadable };
  mutable TOriginal Original = ofClean;
  std::vector<std::unique_ptr<TMediaEntry[]>> Blocks;
  std::size_t BlockUsed = kBlockSize;  // slots taken in the last block
  TNameIndex NameIndex;
};

// The process-wide database. Start-up creates it, shutdown frees it;
// nullptr while it does not exist.
TMediaDB* MediaDB();
TMediaDB& CreateMediaDB();
void FreeMediaDB();

// Where start-up loads and shutdown saves: "media.db" in the executable's folder.
std::filesystem::path MediaDBPath();

}  // namespace vesperon
