#pragma once
// Builds ID3v1 tags, raw ID3v2 tags (for damaged ones that no tagging tool
// writes) and small tagged files for the tests.
#include <cstdint>
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
  std::string tag = std::string(magic) + field(f.Title, 30) + field(f.Artist, 30) +
                    field(f.Album, 30) + field(f.Year, 4) + field(f.Comment, 28) +
                    std::string(2, '\0') + std::string(1, static_cast<char>(f.Genre));
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

// A 32-bit number in 7-bit bytes, as ID3v2 writes its sizes.
inline std::string SyncSafe(std::uint32_t n) {
  return {static_cast<char>((n >> 21) & 0x7F), static_cast<char>((n >> 14) & 0x7F),
          static_cast<char>((n >> 7) & 0x7F), static_cast<char>(n & 0x7F)};
}

inline std::string BigEndian32(std::uint32_t n) {
  return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
          static_cast<char>(n)};
}

// One ID3v2.3 or 2.4 frame; `size` overrides the size the header gives.
inline std::string Id3v2Frame(std::string_view id, std::string_view body, int version = 3,
                              std::string_view flags = std::string_view("\0\0", 2),
                              std::int64_t size = -1) {
  const auto n =
      static_cast<std::uint32_t>(size < 0 ? static_cast<std::int64_t>(body.size()) : size);
  return std::string(id) + (version == 4 ? SyncSafe(n) : BigEndian32(n)) + std::string(flags) +
         std::string(body);
}

// A text frame in Latin-1 (encoding byte 0) or another encoding.
inline std::string Id3v2Text(std::string_view id, std::string_view text, int version = 3,
                             char encoding = 0) {
  return Id3v2Frame(id, std::string(1, encoding) + std::string(text), version);
}

// The tag around `frames`; `size` overrides the size the header gives.
inline std::string Id3v2Tag(std::string_view frames, int version = 3, char flags = 0,
                            std::int64_t size = -1) {
  const auto n =
      static_cast<std::uint32_t>(size < 0 ? static_cast<std::int64_t>(frames.size()) : size);
  return "ID3" + std::string{static_cast<char>(version), 0, flags} + SyncSafe(n) +
         std::string(frames);
}

// A tag followed by bytes standing in for audio.
inline std::string Id3v2File(std::string_view tag) {
  return std::string(tag) + std::string(600, '\x55');
}

// A mono 16-bit PCM WAV file of `samples` silent samples.
inline std::string PcmWav(std::uint32_t samples) {
  auto le32 = [](std::uint32_t n) {
    return std::string{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                       static_cast<char>(n >> 24)};
  };
  const std::uint32_t data = samples * 2;
  return "RIFF" + le32(36 + data) + "WAVEfmt " + le32(16) + std::string("\x01\0\x01\0", 4) +
         le32(8000) + le32(16000) + std::string("\x02\0\x10\0", 4) + "data" + le32(data) +
         std::string(data, '\0');
}

}  // namespace vesperon
