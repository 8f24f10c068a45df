#pragma once
// Builds ID3v1 tags and small tagged files for the tests.
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace vesperon {

struct TTagFields {
  std::string Title{}, Artist{}, Album{}, Year{}, Comment{};
  int Genre = 255;
  char Pad = '\0';
};

// The 128-byte block, each field padded with `Pad` to its size.
inline std::string MakeTag(const TTagFields& f, std::string_view magic = "TAG") {
  auto field = [&](const std::string& s, std::size_t n) {
    std::string out = s.substr(0, n);
    out.resize(n, f.Pad);
    return out;
  };
  std::string tag = std::string(magic) + field(f.Title, 30) + field(f.Artist, 30) + field(f.Album, 30) +
                    field(f.Year, 4) + field(f.Comment, 28) + std::string(2, '\0') +
                    std::string(1, static_cast<char>(f.Genre));
  return tag;
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A file of some audio-looking bytes followed by the tag.
inline void WriteTaggedFile(const std::filesystem::path& path, const TTagFields& f) {
  WriteBytes(path, std::string(300, '\x55') + MakeTag(f));
}

}  // namespace vesperon
