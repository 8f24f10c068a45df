#include "text.h"

#include <stdexcept>

#include "core/text.h"

namespace skinart {

TFace::TFace(const std::string& path, int pixelSize, bool mono) : Mono_(mono) {
  if (FT_Init_FreeType(&Lib_) != 0) throw std::runtime_error("FreeType does not start");
  if (FT_New_Face(Lib_, path.c_str(), 0, &Face_) != 0)
    throw std::runtime_error("cannot open font " + path);
  FT_Set_Pixel_Sizes(Face_, 0, pixelSize);
}

TFace::~TFace() {
  if (Face_) FT_Done_Face(Face_);
  if (Lib_) FT_Done_FreeType(Lib_);
}

bool TFace::Load(char32_t c) const {
  const FT_UInt index = FT_Get_Char_Index(Face_, c);
  if (index == 0) return false;
  const FT_Int32 flags = FT_LOAD_RENDER | (Mono_ ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
  return FT_Load_Glyph(Face_, index, flags) == 0;
}

namespace {

// Coverage (0..1) of the rendered glyph's pixel (x, y).
float GlyphCoverage(const FT_Bitmap& bm, int x, int y) {
  const unsigned char* row = bm.buffer + y * bm.pitch;
  if (bm.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x / 8] >> (7 - x % 8)) & 1 ? 1.0f : 0.0f;
  return row[x] / 255.0f;
}

}  // namespace

float TFace::Measure(const std::u16string& text, float spacing) const {
  float w = 0;
  for (char16_t c : text)
    if (Load(c)) w += Face_->glyph->advance.x / 64.0f + spacing;
  return text.empty() ? 0 : w - spacing;
}

void TFace::Draw(TCanvas& canvas, float x, float baseline, const std::u16string& text, TColor ink,
                 float spacing, float opacity) const {
  for (char16_t c : text) {
    if (!Load(c)) continue;
    const FT_GlyphSlot g = Face_->glyph;
    const int left = static_cast<int>(std::lround(x)) + g->bitmap_left;
    const int top = static_cast<int>(std::lround(baseline)) - g->bitmap_top;
    for (unsigned y = 0; y < g->bitmap.rows; ++y)
      for (unsigned gx = 0; gx < g->bitmap.width; ++gx)
        canvas.Blend(left + gx, top + y, ink, GlyphCoverage(g->bitmap, gx, y) * opacity);
    x += g->advance.x / 64.0f + spacing;
  }
}

vesperon::TImage FontSheet(const TFace& face, int baseline, TColor ink, TColor ground, TColor key,
                           int extraAdvance) {
  TCanvas sheet(256, 256, key);
  std::array<int, 256> widths{};
  int spaceWidth = 3;
  for (int cell = 1; cell < 256; ++cell) {
    const int code = cell + 31;
    if (code > 255) break;
    const std::u16string u = vesperon::Cp1252ToUtf16(std::string(1, static_cast<char>(code)));
    if (u.size() != 1 || !face.Load(u[0])) {
      widths[cell] = spaceWidth;  // bytes with no character advance like a space
      continue;
    }
    const FT_GlyphSlot g = face.Slot();
    widths[cell] =
        std::clamp(static_cast<int>(std::lround(g->advance.x / 64.0)) + extraAdvance, 1, 16);
    if (code == ' ') spaceWidth = widths[cell];
    const int cx = (cell % 16) * 16, cy = (cell / 16) * 16;
    const int left = std::max(0, static_cast<int>(g->bitmap_left));
    const int top = baseline - g->bitmap_top;
    for (unsigned y = 0; y < g->bitmap.rows; ++y)
      for (unsigned x = 0; x < g->bitmap.width; ++x) {
        const int px = left + static_cast<int>(x), py = top + static_cast<int>(y);
        if (px < 0 || py < 0 || px >= 16 || py >= 16) continue;
        const float cov = GlyphCoverage(g->bitmap, x, y);
        if (cov > 0.02f) sheet.Set(cx + px, cy + py, Mix(ground, ink, cov));
      }
  }
  for (int i = 0; i < 256; ++i) sheet.Set(i % 16, i / 16, {widths[i] / 255.0f, key.G, key.B});
  return sheet.ToImage(false);
}

}  // namespace skinart
