// Filling the database from the file system: one file with its tag, or a
// directory tree.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string_view>

#include "core/log.h"
#include "core/text.h"
#include "media/mediadb.h"

namespace vesperon {
namespace {

// ".GG" is the three-character extension, not the one of Ogg files.
constexpr std::array<std::string_view, 6> kMediaExtensions = {".MP3", ".MP2", ".MP1",
                                                              ".WAV", ".GG",  ".M3U"};

bool HasMediaExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string ext = AsciiUpper(name.substr(dot));
  return std::find(kMediaExtensions.begin(), kMediaExtensions.end(), ext) != kMediaExtensions.end();
}

struct TDirItem {
  std::string Name;
  unsigned char Type;  // DT_* as the directory listing reported it
};

enum class TFound { Skip, File, Directory };

// What a directory entry is for the scan. Directories count only when they
// are real (not symbolic links, which also keeps the scan out of link loops)
// and not hidden; files count when they are regular files, also through a
// link. Sockets, FIFOs and devices are never read.
TFound Classify(int dirFd, const TDirItem& item) {
  unsigned char type = item.Type;
  if (type == DT_UNKNOWN) {
    struct stat st {};
    if (::fstatat(dirFd, item.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return TFound::Skip;
    type = S_ISDIR(st.st_mode)   ? DT_DIR
           : S_ISLNK(st.st_mode) ? DT_LNK
           : S_ISREG(st.st_mode) ? DT_REG
                                 : DT_FIFO;
  }
  if (type == DT_DIR) return item.Name.front() == '.' ? TFound::Skip : TFound::Directory;
  if (!HasMediaExtension(item.Name)) return TFound::Skip;
  if (type == DT_REG) return TFound::File;
  struct stat target {};
  if (type == DT_LNK && ::fstatat(dirFd, item.Name.c_str(), &target, 0) == 0 &&
      S_ISREG(target.st_mode)) {
    return TFound::File;
  }
  return TFound::Skip;
}

// The entries of an open directory without "." and "..", in byte order of
// their names.
std::vector<TDirItem> ListDirectory(DIR* d) {
  std::vector<TDirItem> items;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") items.push_back({std::string(name), e->d_type});
  }
  std::sort(items.begin(), items.end(),
            [](const TDirItem& a, const TDirItem& b) { return a.Name < b.Name; });
  return items;
}

}  // namespace

bool TMediaDB::AddFile(const std::u16string& name) {
  return AddFile(name, AT_FDCWD, Utf16ToUtf8(name).c_str());
}

// `path` names the same file as `name`, as bytes relative to `dirFd`.
bool TMediaDB::AddFile(std::u16string name, int dirFd, const char* path) {
  const std::size_t hash = TNameIndex::Hash(name);
  if (NameIndex.Find(name, hash) != nullptr) {
    Log(u"there is already an entry for " + name);
    return false;
  }
  // Indexed at once, while the index slot just probed is still in cache;
  // the tag fields follow.
  const PMediaEntry entry = NewEntry();
  entry->Filename = std::move(name);
  entry->Added = NowAsDateTime();
  Append(entry, hash);
  TagReader.ReadFileAt(dirFd, path);
  entry->Title = std::move(TagReader.Title);
  entry->Artist = std::move(TagReader.Artist);
  entry->Album = std::move(TagReader.Album);
  entry->Comment = std::move(TagReader.Comment);
  entry->Genre = std::move(TagReader.Genre);
  return true;
}

bool TMediaDB::AddDirectory(const std::u16string& dir, bool recursive) {
  const int fd = ::open(Utf16ToUtf8(dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      LogError(u"Directory " + dir + u" does not exist!");
      return false;
    }
    LogWarning(u"Could not read directory " + dir);
    return true;
  }
  ScanDirectory(fd, dir, recursive);
  return true;
}

// Files are opened relative to their directory, which spares the kernel
// walking the whole path again for every file. Takes over `dirFd`.
void TMediaDB::ScanDirectory(int dirFd, const std::u16string& dir, bool recursive) {
  DIR* d = ::fdopendir(dirFd);
  if (d == nullptr) {
    ::close(dirFd);
    LogWarning(u"Could not read directory " + dir);
    return;
  }
  for (const TDirItem& item : ListDirectory(d)) {
    // The separator is always inserted, also after a Dir ending in "/".
    switch (Classify(dirFd, item)) {
      case TFound::Directory:
        if (recursive) {
          const std::u16string sub = dir + u"/" + Utf8ToUtf16(item.Name);
          // O_NOFOLLOW: a directory replaced by a link since the listing is
          // still not followed.
          const int fd =
              ::openat(dirFd, item.Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
          if (fd >= 0) {
            ScanDirectory(fd, sub, true);
          } else {
            LogWarning(u"Could not read directory " + sub);
          }
        }
        break;
      case TFound::File:
        AddFile(dir + u"/" + Utf8ToUtf16(item.Name), dirFd, item.Name.c_str());
        break;
      case TFound::Skip: break;
    }
  }
  ::closedir(d);
}

}  // namespace vesperon
