// Filling the database from the file system: one file with its tag, or a
// directory tree.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "media/mediadb.h"

namespace vesperon {
namespace {

// ".GG" is the three-character extension, not the one of Ogg files.
constexpr std::array<std::string_view, 6> kMediaExtensions = {".MP3", ".MP2", ".MP1", ".WAV", ".GG", ".M3U"};

bool HasMediaExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string ext = AsciiUpper(name.substr(dot));
  return std::find(kMediaExtensions.begin(), kMediaExtensions.end(), ext) != kMediaExtensions.end();
}

enum class TFound { Skip, File, Directory };

// What a directory entry is for the scan. Directories count only when they
// are real (not symbolic links, which also keeps the scan out of link loops)
// and not hidden; files count when they are regular files, also through a
// link. Sockets, FIFOs and devices are never read.
TFound Classify(const std::string& path, std::string_view name, unsigned char type) {
  if (type == DT_UNKNOWN) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return TFound::Skip;
    type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_FIFO;
  }
  if (type == DT_DIR) return name.front() == '.' ? TFound::Skip : TFound::Directory;
  if (!HasMediaExtension(name)) return TFound::Skip;
  if (type == DT_REG) return TFound::File;
  struct stat target {};
  if (type == DT_LNK && ::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode)) return TFound::File;
  return TFound::Skip;
}

struct TDirItem {
  std::string Name;
  unsigned char Type;
};

// The directory's entries without "." and "..", in byte order of their names.
bool ListDirectory(const std::string& dir, std::vector<TDirItem>& items) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return false;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") items.push_back({std::string(name), e->d_type});
  }
  ::closedir(d);
  std::sort(items.begin(), items.end(), [](const TDirItem& a, const TDirItem& b) { return a.Name < b.Name; });
  return true;
}

}  // namespace

bool TMediaDB::AddFile(const std::u16string& name) {
  if (NameIndex.contains(name)) {
    Log(u"there is already an entry for " + name);
    return false;
  }
  AddNew(name);
  return true;
}

void TMediaDB::AddNew(const std::u16string& name) {
  auto entry = std::make_unique<TMediaEntry>();
  entry->Filename = name;
  entry->Added = NowAsDateTime();
  TagReader.ReadFile(name);
  entry->Title = TagReader.Title;
  entry->Artist = TagReader.Artist;
  entry->Album = TagReader.Album;
  entry->Comment = TagReader.Comment;
  entry->Genre = TagReader.Genre;
  Append(std::move(entry));
}

bool TMediaDB::AddDirectory(const std::u16string& dir, bool recursive) {
  const std::string dirBytes = Utf16ToUtf8(dir);
  struct stat st {};
  if (::stat(dirBytes.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    LogError(u"Directory " + dir + u" does not exist!");
    return false;
  }
  std::vector<TDirItem> items;
  if (!ListDirectory(dirBytes, items)) {
    LogWarning(u"Could not read directory " + dir);
    return true;
  }
  for (const TDirItem& item : items) {
    // The separator is always inserted, also after a Dir ending in "/".
    const std::string path = dirBytes + "/" + item.Name;
    switch (Classify(path, item.Name, item.Type)) {
      case TFound::Directory:
        if (recursive) AddDirectory(dir + u"/" + Utf8ToUtf16(item.Name), true);
        break;
      case TFound::File:
        AddFile(dir + u"/" + Utf8ToUtf16(item.Name));
        break;
      case TFound::Skip:
        break;
    }
  }
  return true;
}

}  // namespace vesperon
