#pragma once
// Helpers shared by the skin tests: images, temporary folders, log capture.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/log.h"
#include "platform/image.h"

namespace vesperon::test {

inline TImage MakeImage(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  TImage img;
  img.Width = w;
  img.Height = h;
  img.Pixels.resize(static_cast<std::size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = img.Pixel(x, y);
      p[0] = b;
      p[1] = g;
      p[2] = r;
      p[3] = 0;
    }
  return img;
}

inline void SetRgb(TImage& img, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  uint8_t* p = img.Pixel(x, y);
  p[0] = b;
  p[1] = g;
  p[2] = r;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TTempDir {
 public:
  TTempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vesperon-skin-XXXXXX").string();
    Path_ = mkdtemp(tmpl.data());
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path_, ec);
  }
  const std::filesystem::path& Path() const { return Path_; }

 private:
  std::filesystem::path Path_;
};

// Collects every log line written while it lives.
class TLogCapture {
 public:
  TLogCapture() {
    SetLogObserver([this](std::string_view line) { Lines.emplace_back(line); });
  }
  ~TLogCapture() { SetLogObserver({}); }
  std::string All() const {
    std::string s;
    for (const auto& l : Lines) s += l + "\n";
    return s;
  }
  std::vector<std::string> Lines;
};

}  // namespace vesperon::test
