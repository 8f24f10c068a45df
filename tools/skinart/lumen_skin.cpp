// The sample skin "Lumen": a bright aluminium bar with a green LCD, a teal
// time bar and square keys; it shows what a differently shaped skin looks
// like and lets the user try switching skins.
#include <array>

#include "art.h"
#include "text.h"

namespace skinart {
namespace {

constexpr int kW = 320, kH = 100;
const TColor kLcd = Hex(0xc3d2bb);
const TColor kLcdInk = Hex(0x1b281f);
const TColor kTeal = Hex(0x149e9b);
const TColor kKeyGlyph = Hex(0x39424f);

struct TKey {
  const char* Name;
  int X, Y, W, H;
};
constexpr std::array<TKey, 5> kKeys = {{
    {"previous", 206, 18, 22, 22},
    {"play", 232, 18, 22, 22},
    {"stop", 258, 18, 22, 22},
    {"next", 284, 18, 22, 22},
    {"media", 206, 50, 100, 18},
}};
constexpr int kBarX = 16, kBarY = 72, kBarW = 176, kBarH = 10;

TShape BodyShape() { return RoundRect(0.5f, 0.5f, kW - 0.5f, kH - 0.5f, 22); }
TShape KeyShape(const TKey& k) { return RoundRect(0.5f, 0.5f, k.W - 0.5f, k.H - 0.5f, 5); }

TShape KeyGlyph(const TKey& k, float dy) {
  const float cx = k.W / 2.0f, cy = k.H / 2.0f + dy;
  const std::string n = k.Name;
  auto tri = [&](float x0, float dir, float h) {
    return Polygon({{x0, cy - h}, {x0 + dir * h * 1.2f, cy}, {x0, cy + h}});
  };
  auto bar = [&](float x0, float h) { return RoundRect(x0, cy - h, x0 + 1.8f, cy + h, 0.3f); };
  if (n == "play") return tri(cx - 2.5f, 1, 5);
  if (n == "stop") return RoundRect(cx - 4, cy - 4, cx + 4, cy + 4, 0.5f);
  if (n == "next") return Union(tri(cx - 4, 1, 4), bar(cx + 1.8f, 4));
  return Union(tri(cx + 4, -1, 4), bar(cx - 3.6f, 4));
}

enum TState { stNormal, stHover, stActive };

vesperon::TImage KeyImage(const TCanvas& bg, const TKey& k, TState state, const TFace& label) {
  TCanvas c = bg.Crop(k.X, k.Y, k.W, k.H);
  const TShape body = KeyShape(k);
  const TShape face = Offset(body, -1);
  const float dy = state == stActive ? 1 : 0;
  c.Fill(body, Hex(state == stHover ? 0x149e9b : 0x7d8796));
  if (state == stActive) {
    c.Fill(face, LinearY(0, Hex(0xb9c0ca), k.H, Hex(0xe0e4ea)));
  } else {
    c.Fill(face, LinearY(0, Hex(0xffffff), k.H, Hex(state == stHover ? 0xe2f4f3 : 0xdde1e7)));
  }
  const TColor ink = state == stHover ? Hex(0x0c6f73) : kKeyGlyph;
  if (std::string(k.Name) == "media") {
    label.DrawCentred(c, k.W / 2.0f, k.H / 2.0f + 3.5f + dy, u"LIBRARY", ink, 1.5f);
  } else {
    c.Fill(KeyGlyph(k, dy), ink);
  }
  return c.ToImage();
}

TShape BarShape() { return RoundRect(0.5f, 2, kBarW - 0.5f, kBarH - 2, 3); }

TCanvas Background(const TFontFiles& fonts) {
  TCanvas c(kW, kH, Hex(0x6f7786));
  c.Fill(BodyShape(), Hex(0x6f7786));
  c.Fill(Offset(BodyShape(), -1), LinearY(0, Hex(0xffffff), kH, Hex(0xa9b1bd)));
  c.Fill(Offset(BodyShape(), -2), LinearY(0, Hex(0xf1f3f6), kH, Hex(0xc8ced7)));
  // Fine horizontal brushing.
  for (int y = 3; y < kH - 3; y += 2)
    c.Fill(Intersect(Offset(BodyShape(), -2), RoundRect(0, y, kW, y + 1, 0)), Hex(0xffffff), 0.12f);
  // The LCD.
  const TShape lcd = RoundRect(12, 12, 194, 64, 6);
  c.Fill([&](float x, float y) { return lcd(x, y - 1); }, Hex(0xffffff), 0.9f);
  c.Fill(Offset(lcd, 1), Hex(0x7d8796));
  c.Fill(lcd, kLcd);
  c.Glow(lcd, Hex(0x51604f), 3.5f, 0.45f, true);
  // The time bar's track.
  const TShape track = [&](float x, float y) { return BarShape()(x - kBarX, y - kBarY); };
  c.Fill([&](float x, float y) { return track(x, y - 1); }, Hex(0xffffff), 0.8f);
  c.Fill(track, LinearY(kBarY + 2, Hex(0x9aa3b0), kBarY + kBarH - 2, Hex(0xc4cad3)));
  c.Glow(track, Hex(0x5b6472), 2, 0.4f, true);
  for (const auto& k : kKeys) {
    const TShape well = RoundRect(k.X - 1.5f, k.Y - 1.5f, k.X + k.W + 1.5f, k.Y + k.H + 1.5f, 6.5f);
    c.Fill([&](float x, float y) { return well(x, y - 1); }, Hex(0xffffff), 0.8f);
    c.Fill(well, Hex(0x9aa3b0), 0.7f);
  }
  TFace small(fonts.SansBold, 8);
  const float brandEnd = 207 + small.Measure(u"VESPERON", 1.0f);
  small.Draw(c, 207, 88, u"VESPERON", Hex(0x7d8796), 1.0f);
  small.Draw(c, brandEnd + 6, 88, u"LUMEN", kTeal, 1.0f);
  return c;
}

}  // namespace

void MakeLumenSkin(const std::filesystem::path& dir, const TFontFiles& fonts) {
  std::filesystem::create_directories(dir);
  const TCanvas bg = Background(fonts);
  WriteBmp(dir / "body.bmp", bg.ToImage());
  WriteBmp(dir / "body_mask.bmp", Stencil(kW, kH, BodyShape()));
  TFace label(fonts.SansBold, 8);
  for (const auto& k : kKeys) {
    const std::string n = k.Name;
    WriteBmp(dir / ("key_" + n + ".bmp"), KeyImage(bg, k, stNormal, label));
    WriteBmp(dir / ("key_" + n + "_lit.bmp"), KeyImage(bg, k, stHover, label));
    WriteBmp(dir / ("key_" + n + "_down.bmp"), KeyImage(bg, k, stActive, label));
    WriteBmp(dir / ("key_" + n + "_mask.bmp"), Stencil(k.W, k.H, KeyShape(k)));
  }
  TCanvas empty = bg.Crop(kBarX, kBarY, kBarW, kBarH);
  WriteBmp(dir / "bar_empty.bmp", empty.ToImage());
  TCanvas full = bg.Crop(kBarX, kBarY, kBarW, kBarH);
  full.Fill(BarShape(), LinearY(2, Hex(0x2cc2bd), kBarH - 2, Hex(0x0b7f83)));
  full.Fill(Intersect(BarShape(), RoundRect(0, 2.5f, kBarW, 4.5f, 1)), Hex(0xffffff), 0.35f);
  WriteBmp(dir / "bar_full.bmp", full.ToImage());
  WriteBmp(dir / "bar_mask.bmp", Stencil(kBarW, kBarH, BarShape()));
  WriteFramePieces(dir, {Hex(0x6f7786), Hex(0x6f7786), Hex(0xe9ecf0), Hex(0xfbfcfd), 8});
  // The framed windows' close button.
  const TKey close{"close", 0, 0, 14, 14};
  TCanvas closeBg(14, 14, Hex(0xe9ecf0));
  for (int s = 0; s < 3; ++s) {
    TCanvas c = closeBg;
    c.Fill(KeyShape(close), Hex(s == 1 ? 0x149e9b : 0x7d8796));
    c.Fill(Offset(KeyShape(close), -1), Hex(s == 2 ? 0xc3c9d2 : s == 1 ? 0xe2f4f3 : 0xf6f7f9));
    const TShape cross = Union(Polygon({{4, 3}, {11, 10}, {10, 11}, {3, 4}}),
                               Polygon({{10, 3}, {11, 4}, {4, 11}, {3, 10}}));
    c.Fill(cross, s == 1 ? Hex(0x0c6f73) : kKeyGlyph);
    WriteBmp(dir / (std::string("close_") +
                    (s == 0   ? "normal"
                     : s == 1 ? "hover"
                              : "active") +
                    ".bmp"),
             c.ToImage());
  }
  WriteBmp(dir / "close_mask.bmp", Stencil(14, 14, KeyShape(close)));
  TFace mono(fonts.MonoBold, 12);
  WriteBmp(dir / "lcd_font.bmp", FontSheet(mono, 12, kLcdInk, kLcd, Hex(0xff00ff), 0));
}

}  // namespace skinart
