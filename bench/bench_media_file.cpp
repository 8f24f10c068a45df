// Saving and loading a database of 100,000 entries against writing and
// reading the same number of bytes in one piece. The baseline writes with
// the same atomic writer the database uses (temporary file, fsync, rename),
// so that both sides pay for the same durability, and reads with one read().
#include <fcntl.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "bench_media_timing.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/mediadb.h"

using namespace vesperon;

namespace {

std::u16string Words(std::mt19937& rng, int minLen, int maxLen) {
  std::uniform_int_distribution<int> len(minLen, maxLen), letter(0, 25);
  std::u16string s;
  for (int n = len(rng); n > 0; --n) s += static_cast<char16_t>(u'a' + letter(rng));
  return s;
}

// Into a new buffer each time, as loading reads into new memory too.
std::size_t ReadInOnePiece(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::string into(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
  const ssize_t n = ::pread(fd, into.data(), into.size(), 0);
  ::close(fd);
  return n == static_cast<ssize_t>(into.size()) ? into.size() : 0;
}

}  // namespace

int main() {
  const std::filesystem::path dir =
      TempDir() / ("vesperon-bench-file-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::mt19937 rng(7);
  TMediaDB db;
  for (int i = 0; i < 100000; ++i) {
    TMediaEntry e;
    e.Filename = u"/home/user/Music/" + Words(rng, 5, 20) + u"/" + Words(rng, 5, 30) + u".mp3";
    e.Artist = Words(rng, 3, 25);
    e.Title = Words(rng, 3, 30);
    e.Comment = Words(rng, 0, 20);
    e.Album = Words(rng, 3, 25);
    e.Genre = GenreNames[static_cast<std::size_t>(i) % kGenreCount];
    e.Added = 45000.0 + i / 1000.0;
    db.Add(e);
  }
  const std::string same = std::string(db.SaveToBytes().size(), 'x');
  std::printf("database file: %zu bytes\n", same.size());
  std::unique_ptr<TMediaDB> loaded;
  std::size_t readBack = 0;
  const bench::TTiming t = bench::Compare(
      11, [&] { loaded = std::make_unique<TMediaDB>(); },
      [&] {
        db.SaveToFile(dir / "media.db");
        loaded->LoadFromFile(dir / "media.db");
      },
      [&] {
        WriteFileAtomically(dir / "same.bin", same);
        readBack = ReadInOnePiece(dir / "same.bin");
      });
  std::filesystem::remove_all(dir);
  if (loaded->Count() != db.Count() || readBack != same.size()) return 2;
  return bench::Report("save+load 100,000 entries", t, 3.0) ? 0 : 1;
}
