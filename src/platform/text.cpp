// Text through fontconfig (choosing the font file) and FreeType (rendering
// anti-aliased glyphs), blended into surfaces in software so that every
// backend shows the same pixels.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <unordered_map>

#include "core/log.h"
#include "platform/platform.h"

namespace vesperon {

struct TGlyph {
  int32_t Left = 0;     // from the pen position to the bitmap's left edge
  int32_t Top = 0;      // from the baseline up to the bitmap's top row
  int32_t Advance = 0;  // pixels to the next pen position
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Coverage;  // Width * Height, 0..255
};

class TTextFont {
 public:
  ~TTextFont() {
    if (Face) FT_Done_Face(Face);
  }
  const TGlyph& Glyph(char32_t code);

  FT_Face Face = nullptr;
  std::string File;
  int32_t Ascent = 0;
  int32_t LineHeight = 0;

 private:
  std::unordered_map<char32_t, TGlyph> Cache_;
};

namespace {

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) l = nullptr;
    return l;
  }();
  return library;
}

// Asks fontconfig for the best file for the name; it substitutes a present
// font when the name is not installed.
bool MatchFont(const std::string& name, int32_t pixelHeight, bool bold, std::string& file,
               int& index) {
  if (!FcInit()) return false;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  // Windows' classic UI faces are sans fonts; make fontconfig fall back to
  // sans rather than its default serif when they are missing.
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixelHeight);
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8* path = nullptr;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
  if (ok) {
    file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  }
  FcPatternDestroy(match);
  return ok;
}

// The code points of UTF-16 text (lone surrogates become U+FFFD).
std::u32string CodePoints(std::u16string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    out.push_back(c);
  }
  return out;
}

int32_t Width(TTextFont& font, const std::u32string& codes) {
  int32_t w = 0;
  for (char32_t c : codes) w += font.Glyph(c).Advance;
  return w;
}

uint32_t Blend(uint32_t dst, uint32_t src, uint32_t alpha) {
  const uint32_t inv = 255 - alpha;
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t d = (dst >> shift) & 0xFF, s = (src >> shift) & 0xFF;
    out |= ((s * alpha + d * inv + 127) / 255) << shift;
  }
  return out;
}

void DrawGlyph(TSurface& dst, const TGlyph& g, int32_t penX, int32_t baseline, TColor color) {
  const TRect& clip = dst.Clip();
  const int32_t x0 = penX + g.Left, y0 = baseline - g.Top;
  for (int32_t y = 0; y < g.Height; ++y) {
    const int32_t ty = y0 + y;
    if (ty < clip.Top || ty >= clip.Bottom) continue;
    uint32_t* row = dst.Row(ty);
    const uint8_t* cov = g.Coverage.data() + static_cast<std::size_t>(y) * g.Width;
    for (int32_t x = 0; x < g.Width; ++x) {
      const int32_t tx = x0 + x;
      if (tx < clip.Left || tx >= clip.Right || cov[x] == 0) continue;
      row[tx] = cov[x] == 255 ? color : Blend(row[tx], color, cov[x]);
    }
  }
}

void DrawCodes(TSurface& dst, TTextFont& font, int32_t x, int32_t top, const std::u32string& codes,
               TColor color) {
  const int32_t baseline = top + font.Ascent;
  for (char32_t c : codes) {
    const TGlyph& g = font.Glyph(c);
    DrawGlyph(dst, g, x, baseline, color & 0xFFFFFF);
    x += g.Advance;
  }
}

}  // namespace

const TGlyph& TTextFont::Glyph(char32_t code) {
  auto it = Cache_.find(code);
  if (it != Cache_.end()) return it->second;
  TGlyph g;
  const FT_UInt index = FT_Get_Char_Index(Face, code);
  if (FT_Load_Glyph(Face, index, FT_LOAD_DEFAULT) == 0 &&
      FT_Render_Glyph(Face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
    const FT_GlyphSlot slot = Face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    g.Left = slot->bitmap_left;
    g.Top = slot->bitmap_top;
    g.Advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      g.Width = static_cast<int32_t>(bm.width);
      g.Height = static_cast<int32_t>(bm.rows);
      g.Coverage.resize(static_cast<std::size_t>(g.Width) * g.Height);
      for (int32_t y = 0; y < g.Height; ++y) {
        const uint8_t* src = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
        std::copy_n(src, g.Width, g.Coverage.data() + static_cast<std::size_t>(y) * g.Width);
      }
    }
  }
  return Cache_.emplace(code, std::move(g)).first->second;
}

PFont CreateFont(const std::string& name, int32_t pixelHeight, bool bold) {
  pixelHeight = std::clamp(pixelHeight < 0 ? -pixelHeight : pixelHeight, 1, 512);
  std::string file;
  int index = 0;
  if (!Library() || !MatchFont(name, pixelHeight, bold, file, index)) {
    LogError("no font found for " + name);
    return nullptr;
  }
  auto font = std::make_shared<TTextFont>();
  if (FT_New_Face(Library(), file.c_str(), index, &font->Face) != 0) {
    font->Face = nullptr;
    LogError("could not load font file " + file);
    return nullptr;
  }
  if (FT_Set_Pixel_Sizes(font->Face, 0, pixelHeight) != 0 && font->Face->num_fixed_sizes > 0) {
    FT_Select_Size(font->Face, 0);
  }
  font->File = file;
  const FT_Size_Metrics& m = font->Face->size->metrics;
  font->Ascent = static_cast<int32_t>((m.ascender + 63) >> 6);
  font->LineHeight = std::max<int32_t>(1, static_cast<int32_t>((m.height + 63) >> 6));
  return font;
}

std::string FontFile(const PFont& font) { return font ? font->File : std::string(); }
int32_t FontAscent(const PFont& font) { return font ? font->Ascent : 0; }
int32_t FontLineHeight(const PFont& font) { return font ? font->LineHeight : 0; }

int32_t TextWidth(const PFont& font, std::u16string_view text) {
  return font ? Width(*font, CodePoints(text)) : 0;
}

int32_t DrawText(TSurface& dst, const PFont& font, std::u16string_view text, const TRect& rect,
                 TColor color, uint32_t flags) {
  if (!font || rect.Empty()) return 0;
  std::u32string codes = CodePoints(text);
  int32_t width = Width(*font, codes);
  if ((flags & dtEndEllipsis) && width > rect.Width()) {
    // Keep as many leading characters as fit together with the dots.
    const std::u32string dots = U"...";
    const int32_t room = rect.Width() - Width(*font, dots);
    int32_t used = 0;
    std::size_t keep = 0;
    while (keep < codes.size() && used + font->Glyph(codes[keep]).Advance <= room) {
      used += font->Glyph(codes[keep]).Advance;
      ++keep;
    }
    codes.resize(keep);
    codes += dots;
    width = used + Width(*font, dots);
  }
  int32_t x = rect.Left;
  if (flags & dtCenter) x = rect.Left + (rect.Width() - width) / 2;
  int32_t top = rect.Top;
  if (flags & dtVCenter) top = rect.Top + (rect.Height() - font->LineHeight) / 2;
  const TRect saved = dst.Clip();
  dst.SetClip({std::max(saved.Left, rect.Left), std::max(saved.Top, rect.Top),
               std::min(saved.Right, rect.Right), std::min(saved.Bottom, rect.Bottom)});
  if (!dst.Clip().Empty()) DrawCodes(dst, *font, x, top, codes, color);
  dst.SetClip(saved);
  return std::min(width, rect.Width());
}

void TextOut(TSurface& dst, const PFont& font, int32_t x, int32_t y, std::u16string_view text,
             TColor color, bool centred) {
  if (!font) return;
  const std::u32string codes = CodePoints(text);
  if (centred) x -= Width(*font, codes) / 2;
  DrawCodes(dst, *font, x, y, codes, color);
}

}  // namespace vesperon
