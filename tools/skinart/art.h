#pragma once
// The product's artwork, drawn by code: the built-in skin, the sample skin,
// the splash and about pictures and the program icon.
#include <filesystem>
#include <string>

#include "canvas.h"

namespace skinart {

// Font files the artwork uses (DejaVu, from fonts-dejavu-core).
struct TFontFiles {
  std::string Sans, SansBold, Serif, SerifBold, Mono, MonoBold;
};

void WriteBmp(const std::filesystem::path& path, const vesperon::TImage& image);

// The pieces of a framed standard window (twelve 12 x 12 BMPs) cut from one
// drawn frame: the eight frame pieces and the four corner masks.
struct TFrameStyle {
  TColor Outer, Edge, Body, Highlight;
  float Radius;
};
void WriteFramePieces(const std::filesystem::path& dir, const TFrameStyle& style);

void MakeDefaultSkin(const std::filesystem::path& dir, const TFontFiles& fonts);
void MakeLumenSkin(const std::filesystem::path& dir, const TFontFiles& fonts);
void MakePictures(const std::filesystem::path& dir, const TFontFiles& fonts);
// The program icon: vesperon-N.png for icon themes and icon.set for the program.
void MakeProgramIcon(const std::filesystem::path& dir);

}  // namespace skinart
