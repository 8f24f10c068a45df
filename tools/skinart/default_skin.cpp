// The built-in skin "Vesper": a round night-blue disc with a recessed
// display, an amber-to-rose time bar and round glass buttons.
#include <array>

#include "art.h"
#include "text.h"

namespace skinart {
namespace {

const TColor kOutside = Hex(0x0b0c18);
const TColor kPanel = Hex(0x0c0e1d);  // what the labels' text sits on
const TColor kInk = Hex(0xe8e5ff);
const TColor kAmber = Hex(0xffb35c);
const TColor kRose = Hex(0xff6f91);
const TColor kGlyph = Hex(0xd9d5ff);

constexpr float kCentre = 100, kRadius = 99.5f;

struct TButtonPlace {
  const char* Name;
  int X, Y, W, H;
};
constexpr std::array<TButtonPlace, 5> kButtons = {{
    {"previous", 45, 134, 20, 20},
    {"play", 75, 134, 20, 20},
    {"stop", 105, 134, 20, 20},
    {"next", 135, 134, 20, 20},
    {"media", 85, 164, 30, 20},
}};
constexpr int kBarX = 50, kBarY = 110, kBarW = 100, kBarH = 15;

// The shape of a button inside its own image.
TShape ButtonShape(const TButtonPlace& b) {
  return RoundRect(0.5f, 0.5f, b.W - 0.5f, b.H - 0.5f, (b.H - 1) / 2.0f);
}

// The symbol on a button, in the button's coordinates.
TShape ButtonGlyph(const TButtonPlace& b, float dy) {
  const float cx = b.W / 2.0f, cy = b.H / 2.0f + dy;
  const std::string name = b.Name;
  auto tri = [&](float x0, float dir, float h) {
    return Polygon({{x0, cy - h}, {x0 + dir * h * 1.25f, cy}, {x0, cy + h}});
  };
  auto bar = [&](float x0, float h) { return RoundRect(x0, cy - h, x0 + 1.6f, cy + h, 0.4f); };
  if (name == "play") return tri(cx - 2.2f, 1, 4.2f);
  if (name == "stop") return RoundRect(cx - 3.3f, cy - 3.3f, cx + 3.3f, cy + 3.3f, 0.8f);
  if (name == "next")
    return Union(Union(tri(cx - 4.5f, 1, 3.4f), tri(cx - 0.3f, 1, 3.4f)), bar(cx + 3.6f, 3.4f));
  if (name == "previous")
    return Union(Union(tri(cx + 4.5f, -1, 3.4f), tri(cx + 0.3f, -1, 3.4f)), bar(cx - 5.2f, 3.4f));
  // media: a list (three lines with bullets)
  TShape s = RoundRect(cx - 3.5f, cy - 4.3f, cx + 6, cy - 2.9f, 0.6f);
  s = Union(s, RoundRect(cx - 3.5f, cy - 0.7f, cx + 6, cy + 0.7f, 0.6f));
  s = Union(s, RoundRect(cx - 3.5f, cy + 2.9f, cx + 6, cy + 4.3f, 0.6f));
  for (float y : {-3.6f, 0.0f, 3.6f}) s = Union(s, Circle(cx - 6, cy + y, 1.0f));
  return s;
}

enum TState { stNormal, stHover, stActive };

vesperon::TImage ButtonImage(const TCanvas& background, const TButtonPlace& b, TState state) {
  TCanvas c = background.Crop(b.X, b.Y, b.W, b.H);
  const TShape body = ButtonShape(b);
  const TShape inner = Offset(body, -1);
  const float dy = state == stActive ? 0.5f : 0;
  switch (state) {
    case stNormal:
      c.Fill(body, LinearY(0, Hex(0x666ead), b.H, Hex(0x15172d)));
      c.Fill(inner, Radial(b.W * 0.4f, 4, b.H, Hex(0x343b70), Hex(0x171a36)));
      c.Fill(ButtonGlyph(b, dy), kGlyph);
      break;
    case stHover:
      c.Fill(body, LinearY(0, kAmber, b.H, Scale(kRose, 0.8f)));
      c.Fill(inner, Radial(b.W * 0.4f, 4, b.H, Hex(0x444c8a), Hex(0x1d2142)));
      c.Glow(ButtonGlyph(b, dy), kAmber, 2.5f, 0.35f);
      c.Fill(ButtonGlyph(b, dy), Hex(0xffffff));
      break;
    case stActive:
      c.Fill(body, LinearY(0, Hex(0x7a4a3a), b.H, Hex(0x2a1a2a)));
      c.Fill(inner, LinearY(0, kAmber, b.H, kRose));
      c.Fill(Offset(inner, -1), LinearY(0, Hex(0xffc27a), b.H, Hex(0xff8298)), 0.6f);
      c.Fill(ButtonGlyph(b, dy), Hex(0x2a1433));
      break;
  }
  return c.ToImage();
}

TShape BarShape() { return RoundRect(0.5f, 3, kBarW - 0.5f, kBarH - 3, (kBarH - 6) / 2.0f); }

void DrawBarGroove(TCanvas& c, float x, float y) {
  const TShape groove = [&](float px, float py) { return BarShape()(px - x, py - y); };
  c.Fill([&](float px, float py) { return groove(px, py - 1); }, Hex(0xffffff),
         0.07f);  // lower bevel
  c.Fill(groove, LinearY(y + 3, Hex(0x05060d), y + kBarH - 3, Hex(0x10122a)));
  c.Glow(groove, Hex(0x000000), 2.5f, 0.5f, true);
}

TCanvas Background(const TFontFiles& fonts) {
  TCanvas c(200, 200, kOutside);
  const TShape disc = Circle(kCentre, kCentre, kRadius);
  c.Fill(disc, LinearY(0, Hex(0x9aa0dc), 200, Hex(0x1c1f3d)));
  const TShape face = Circle(kCentre, kCentre, kRadius - 2.5f);
  c.Fill(face, Radial(70, 40, 190, Hex(0x3d4588), Hex(0x171a38)));
  // A faint evening glow rising from the bottom of the face.
  c.Glow(Intersect(face, Circle(100, 250, 45)), Scale(kRose, 0.75f), 80, 0.4f);
  // Gloss across the top.
  c.Fill(Intersect(face, Circle(100, -70, 140)), LinearY(0, Hex(0xffffff), 70, Hex(0xffffff)),
         0.045f);

  // A few stars.
  const std::array<std::array<float, 3>, 11> stars = {{{32, 60, .5f},
                                                       {22, 96, .35f},
                                                       {175, 64, .45f},
                                                       {184, 102, .3f},
                                                       {60, 24, .4f},
                                                       {146, 28, .5f},
                                                       {30, 134, .3f},
                                                       {172, 140, .35f},
                                                       {52, 176, .25f},
                                                       {150, 178, .3f},
                                                       {121, 18, .3f}}};
  for (const auto& s : stars) {
    c.Glow(Circle(s[0], s[1], 0.3f), Hex(0xd8d4ff), 2.0f, s[2]);
    c.Fill(Circle(s[0], s[1], 0.6f), Hex(0xf4f2ff), s[2] + 0.3f);
  }

  // Crescent and wordmark.
  const TShape crescent = Subtract(Circle(100, 15, 5.2f), Circle(102.6f, 13.2f, 4.4f));
  c.Glow(crescent, kAmber, 4, 0.25f);
  c.Fill(crescent, LinearY(10, Hex(0xffd08a), 20, kAmber));
  TFace word(fonts.SansBold, 9);
  word.DrawCentred(c, 100, 34, u"VESPERON", Hex(0xd6d0fa), 2.2f);

  // The display.
  const TShape panel = RoundRect(28, 42, 172, 101, 9);
  c.Fill([&](float x, float y) { return panel(x, y - 1); }, Hex(0xffffff), 0.08f);
  c.Fill(panel, LinearY(42, Hex(0x090a16), 101, Hex(0x0f1123)));
  c.Glow(panel, Hex(0x000000), 4, 0.55f, true);
  c.Fill(RoundRect(40, 70.5f, 160, 71.5f, 0.5f), Hex(0xffffff), 0.06f);
  // The spectrum ornament where a visualisation would sit.
  const std::array<float, 7> levels = {0.45f, 0.8f, 0.6f, 1.0f, 0.7f, 0.4f, 0.55f};
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const float x = 127 + i * 5.0f, h = 14 * levels[i];
    c.Fill(RoundRect(x, 65 - h, x + 3, 65, 1), LinearY(51, kRose, 65, kAmber), 0.75f);
  }

  DrawBarGroove(c, kBarX, kBarY);
  // Sockets under the buttons.
  for (const auto& b : kButtons) {
    const TShape socket =
        RoundRect(b.X - 1.5f, b.Y - 1.5f, b.X + b.W + 1.5f, b.Y + b.H + 1.5f, b.H / 2.0f + 1.5f);
    c.Fill([&](float x, float y) { return socket(x, y - 0.8f); }, Hex(0xffffff), 0.07f);
    c.Fill(socket, Hex(0x070812), 0.8f);
  }
  return c;
}

void WriteBar(const std::filesystem::path& dir, const TCanvas& background) {
  TCanvas empty = background.Crop(kBarX, kBarY, kBarW, kBarH);
  WriteBmp(dir / "time_empty.bmp", empty.ToImage());
  TCanvas filled = background.Crop(kBarX, kBarY, kBarW, kBarH);
  const TShape fill = Offset(BarShape(), -1);
  filled.Fill(fill, LinearX(0, kAmber, kBarW, kRose));
  filled.Fill(Intersect(fill, RoundRect(0, 4, kBarW, 7.5f, 2)), Hex(0xffffff), 0.3f);
  WriteBmp(dir / "time_filled.bmp", filled.ToImage());
  WriteBmp(dir / "time_stencil.bmp", Stencil(kBarW, kBarH, BarShape()));
}

}  // namespace

void MakeDefaultSkin(const std::filesystem::path& dir, const TFontFiles& fonts) {
  std::filesystem::create_directories(dir);
  const TCanvas bg = Background(fonts);
  WriteBmp(dir / "main.bmp", bg.ToImage());
  WriteBmp(dir / "main_stencil.bmp", Stencil(200, 200, Circle(kCentre, kCentre, kRadius)));
  for (const auto& b : kButtons) {
    const std::string n = b.Name;
    WriteBmp(dir / (n + "_normal.bmp"), ButtonImage(bg, b, stNormal));
    WriteBmp(dir / (n + "_hover.bmp"), ButtonImage(bg, b, stHover));
    WriteBmp(dir / (n + "_active.bmp"), ButtonImage(bg, b, stActive));
    WriteBmp(dir / (n + "_stencil.bmp"), Stencil(b.W, b.H, ButtonShape(b)));
  }
  WriteBar(dir, bg);
  WriteFramePieces(dir, {kOutside, Hex(0x0b0c18), Hex(0x181a33), Hex(0x3c4275), 10});
  TFace face(fonts.Sans, 11);
  WriteBmp(dir / "font.bmp", FontSheet(face, 12, kInk, kPanel, Hex(0xff00ff), 0));
}

}  // namespace skinart
