// Scanning a generated tree of 10,000 tagged files in 100 folders (the
// --adddir path, tags included) against a plain loop that opens each file,
// seeks to its end minus 128 and reads 128 bytes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
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

std::string Tag(int n) {
  std::string tag = "TAG";
  auto field = [&](std::string s, std::size_t size) {
    s.resize(size, '\0');
    tag += s;
  };
  field("Title " + std::to_string(n), 30);
  field("Artist " + std::to_string(n % 97), 30);
  field("Album " + std::to_string(n % 13), 30);
  field("1999", 4);
  field("comment", 28);
  tag += std::string(2, '\0');
  tag += static_cast<char>(n % 148);
  return tag;
}

}  // namespace

int main() {
  const std::filesystem::path root =
      TempDir() / ("vesperon-bench-scan-" + std::to_string(::getpid()));
  const std::string audio(2048, '\x55');
  const std::vector<std::string> files =
      bench::WriteSongTree(root, [&](int n) { return audio + Tag(n); });
  std::unique_ptr<TMediaDB> db;
  long tagged = 0;
  const bench::TTiming t = bench::Compare(
      5, [&] { db = std::make_unique<TMediaDB>(); },
      [&] { db->AddDirectory(U16FromPath(root), true); },
      [&] {
        char block[128];
        for (const std::string& name : files) {
          const int fd = ::open(name.c_str(), O_RDONLY);
          ::lseek(fd, -128, SEEK_END);
          tagged += ::read(fd, block, sizeof block) == 128 && block[0] == 'T';
          ::close(fd);
        }
      });
  std::filesystem::remove_all(root);
  if (db->Count() != 10000 || db->FindByFilename(U16FromPath(files[5]))[0]->Title != u"Title 5")
    return 2;
  return bench::Report("scan 10,000 tagged files", t, 1.5) ? 0 : 1;
}
