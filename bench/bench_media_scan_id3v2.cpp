// Scanning a generated tree of 10,000 MP3s that carry only an ID3v2.3 tag
// (the --adddir path; the tag reader's second stage through TagLib) against
// a plain loop that opens each file and reads its first 4 KiB.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_media_timing.h"
#include "core/files.h"
#include "core/paths.h"
#include "media/mediadb.h"

using namespace vesperon;

namespace {

std::string BigEndian32(std::uint32_t n) {
  return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
          static_cast<char>(n)};
}

// A Latin-1 text frame of ID3v2.3.
std::string Frame(const char* id, const std::string& text) {
  return id + BigEndian32(static_cast<std::uint32_t>(text.size() + 1)) + std::string(2, '\0') +
         '\0' + text;
}

// The tag as taggers write it: text frames, a comment, then padding.
std::string Tag(int n) {
  std::string frames = Frame("TIT2", "Title " + std::to_string(n)) +
                       Frame("TPE1", "Artist " + std::to_string(n % 97)) +
                       Frame("TALB", "Album " + std::to_string(n % 13)) +
                       Frame("TCON", "(" + std::to_string(n % 148) + ")") +
                       Frame("COMM", std::string("eng\0comment", 11));
  frames.resize(frames.size() + 512, '\0');
  const auto size = static_cast<std::uint32_t>(frames.size());
  const std::string syncSafe{static_cast<char>((size >> 21) & 0x7F),
                             static_cast<char>((size >> 14) & 0x7F),
                             static_cast<char>((size >> 7) & 0x7F), static_cast<char>(size & 0x7F)};
  return std::string("ID3\x03\0\0", 6) + syncSafe + frames;
}

}  // namespace

int main() {
  const std::filesystem::path root =
      TempDir() / ("vesperon-bench-id3v2-" + std::to_string(::getpid()));
  const std::string audio(2048, '\x55');
  const std::vector<std::string> files =
      bench::WriteSongTree(root, [&](int n) { return Tag(n) + audio; });
  std::unique_ptr<TMediaDB> db;
  long tagged = 0;
  const bench::TTiming t = bench::Compare(
      5, [&] { db = std::make_unique<TMediaDB>(); },
      [&] { db->AddDirectory(U16FromPath(root), true); },
      [&] {
        char head[4096];
        for (const std::string& name : files) {
          const int fd = ::open(name.c_str(), O_RDONLY);
          tagged += ::read(fd, head, sizeof head) > 3 && head[0] == 'I';
          ::close(fd);
        }
      });
  std::filesystem::remove_all(root);
  const TMediaEntry* e =
      db->Count() == 10000 ? db->FindByFilename(U16FromPath(files[5]))[0] : nullptr;
  if (e == nullptr || e->Title != u"Title 5" || e->Artist != u"Artist 5" || e->Genre != u"Funk")
    return 2;
  return bench::Report("scan 10,000 ID3v2-only files", t, 3.0) ? 0 : 1;
}
