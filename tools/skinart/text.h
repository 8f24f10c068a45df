#pragma once
// Text for the artwork through FreeType: drawing lines onto a canvas, and
// the glyph sheets of the skins' bitmap fonts.
#include <array>
#include <cstdint>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "canvas.h"

namespace skinart {

class TFace {
 public:
  TFace(const std::string& path, int pixelSize, bool mono = false);
  ~TFace();
  TFace(const TFace&) = delete;
  TFace& operator=(const TFace&) = delete;

  // Width of the text in pixels, with `spacing` extra pixels between letters.
  float Measure(const std::u16string& text, float spacing = 0) const;
  // Draws the text with its baseline at y, starting at x.
  void Draw(TCanvas& canvas, float x, float baseline, const std::u16string& text, TColor ink,
            float spacing = 0, float opacity = 1) const;
  void DrawCentred(TCanvas& canvas, float cx, float baseline, const std::u16string& text,
                   TColor ink, float spacing = 0, float opacity = 1) const {
    Draw(canvas, cx - Measure(text, spacing) / 2, baseline, text, ink, spacing, opacity);
  }

  // Loads the glyph of a character (rendered); false when the font lacks it.
  bool Load(char32_t c) const;
  FT_GlyphSlot Slot() const { return Face_->glyph; }

 private:
  FT_Library Lib_ = nullptr;
  FT_Face Face_ = nullptr;
  bool Mono_ = false;
};

// A 256 x 256 glyph sheet of 16 x 16 cells: cell n holds Windows-1252
// character n + 31 with its baseline at `baseline` rows from the cell's top,
// drawn in `ink` over `ground` (anti-aliased edges are mixed with `ground`,
// the colour the labels sit on); every other pixel is `key`, the font's
// transparent colour. Cell 0 carries the advance widths in its red bytes:
// pixel (x, y) holds the width of cell y * 16 + x.
vesperon::TImage FontSheet(const TFace& face, int baseline, TColor ink, TColor ground, TColor key,
                           int extraAdvance);

}  // namespace skinart
