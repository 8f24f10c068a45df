#include <fstream>
#include <stdexcept>

#include "art.h"
#include "skin/bmp.h"

namespace skinart {

void WriteBmp(const std::filesystem::path& path, const vesperon::TImage& image) {
  const std::string bytes = vesperon::EncodeBmp24(image);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteFramePieces(const std::filesystem::path& dir, const TFrameStyle& s) {
  // One 36 x 36 framed window, cut into a 3 x 3 grid of 12 x 12 pieces.
  const TShape outer = RoundRect(0, 0, 36, 36, s.Radius);
  TCanvas frame(36, 36, s.Outer);
  frame.Fill(outer, s.Edge);
  // Flat colours only: the side pieces are repeated along the edges.
  frame.Fill(RoundRect(1, 1, 35, 35, s.Radius - 1), s.Highlight);
  frame.Fill(RoundRect(2, 2, 34, 34, s.Radius - 2), s.Body);
  const vesperon::TImage mask = Stencil(36, 36, outer);
  const struct {
    const char* Name;
    int X, Y;
  } pieces[] = {{"topleft", 0, 0},  {"top", 12, 0},         {"topright", 24, 0},
                {"left", 0, 12},    {"right", 24, 12},      {"bottomleft", 0, 24},
                {"bottom", 12, 24}, {"bottomright", 24, 24}};
  for (const auto& p : pieces)
    WriteBmp(dir / (std::string("frame_") + p.Name + ".bmp"),
             frame.Crop(p.X, p.Y, 12, 12).ToImage());
  const struct {
    const char* Name;
    int X, Y;
  } masks[] = {
      {"topleft", 0, 0}, {"topright", 24, 0}, {"bottomleft", 0, 24}, {"bottomright", 24, 24}};
  for (const auto& m : masks) {
    vesperon::TImage piece;
    piece.Width = piece.Height = 12;
    piece.Pixels.resize(12 * 12 * 4);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 12; ++x)
        for (int k = 0; k < 4; ++k) piece.Pixel(x, y)[k] = mask.Pixel(m.X + x, m.Y + y)[k];
    WriteBmp(dir / (std::string("mask_") + m.Name + ".bmp"), piece);
  }
}

}  // namespace skinart
