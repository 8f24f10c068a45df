// The splash (480 x 320) and about (240 x 320) pictures: an evening sky
// over dark hills above a sheet of warm paper that carries the program's
// own text (the splash's progress line, the about box's scrolling credits).
#include <cmath>

#include "art.h"
#include "text.h"

namespace skinart {
namespace {

const TColor kPaperTop = Hex(0xf6f2ea);
const TColor kPaperBottom = Hex(0xebe4d8);

TPaint EveningSky(float horizon) {
  return GradientY({{0, Hex(0x12142f)},
                    {horizon * 0.45f, Hex(0x27285a)},
                    {horizon * 0.72f, Hex(0x5e3b76)},
                    {horizon * 0.9f, Hex(0xd9737c)},
                    {horizon, Hex(0xffb56e)}});
}

// Land below a gentle wave: inside where y lies below the curve.
TShape Hills(float base, float amplitude, float wavelength, float phase) {
  return [=](float x, float y) {
    const float h = base - amplitude * (0.6f * std::sin(x / wavelength + phase) +
                                        0.4f * std::sin(x / (wavelength * 0.47f) + phase * 1.7f));
    return h - y;
  };
}

void Stars(TCanvas& c, int count, float maxY, unsigned seed) {
  for (int i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    const float x = (seed >> 8) % c.Width();
    seed = seed * 1103515245u + 12345u;
    const float y = (seed >> 8) % static_cast<unsigned>(maxY);
    seed = seed * 1103515245u + 12345u;
    const float b = 0.25f + ((seed >> 8) % 100) / 160.0f;
    const float fade = 1.0f - y / maxY;
    c.Glow(Circle(x + 0.5f, y + 0.5f, 0.3f), Hex(0xdcd8ff), 1.8f, b * fade);
    c.Fill(Circle(x + 0.5f, y + 0.5f, 0.55f), Hex(0xf7f5ff), b * fade);
  }
}

void Moon(TCanvas& c, float x, float y, float r) {
  const TShape moon = Subtract(Circle(x, y, r), Circle(x + r * 0.5f, y - r * 0.35f, r * 0.85f));
  c.Glow(moon, Hex(0xffc98a), r * 1.6f, 0.12f);
  c.Glow(moon, Hex(0xffc07a), r * 0.5f, 0.3f);
  c.Fill(moon, LinearY(y - r, Hex(0xffe2b0), y + r, Hex(0xffb05a)));
}

void Landscape(TCanvas& c, float horizon, float scale) {
  c.Fill(Hills(horizon - 8 * scale, 9 * scale, 38 * scale, 0.7f), Hex(0x4a3468), 0.9f);
  c.Fill(Hills(horizon + 2 * scale, 11 * scale, 55 * scale, 2.1f), Hex(0x2a1f47));
  c.Fill(Hills(horizon + 12 * scale, 7 * scale, 30 * scale, 4.0f), Hex(0x17132d));
}

}  // namespace

void MakePictures(const std::filesystem::path& dir, const TFontFiles& fonts) {
  std::filesystem::create_directories(dir);
  {
    TCanvas c(480, 320);
    constexpr float horizon = 200;
    c.Fill(RoundRect(-1, -1, 481, 230, 0), EveningSky(horizon));
    Stars(c, 70, 150, 7);
    Moon(c, 392, 72, 26);
    Landscape(c, horizon, 1.0f);
    TFace title(fonts.SansBold, 46);
    c.Glow(RoundRect(60, 84, 290, 124, 20), Hex(0x8f7dff), 26, 0.12f);
    title.Draw(c, 58, 122, u"Vesperon", Hex(0xf6f2ff), 0.5f);
    TFace tagline(fonts.Sans, 14);
    tagline.Draw(c, 62, 148, u"music for the evening hours", Hex(0xd9d2ff), 0.6f, 0.85f);
    // The paper that carries the progress line.
    c.Fill(RoundRect(-1, 212, 481, 321, 0), LinearY(212, kPaperTop, 320, kPaperBottom));
    c.Fill(RoundRect(-1, 212, 481, 214, 0), LinearX(0, Hex(0xffb56e), 480, Hex(0xd9737c)));
    TFace small(fonts.Sans, 11);
    const std::u16string version = u"version 4.0.8 ALPHA 2";
    small.Draw(c, 468 - small.Measure(version), 306, version, Hex(0x8d8699));
    WriteBmp(dir / "splash.bmp", c.ToImage());
  }
  {
    TCanvas c(240, 320);
    c.Fill(RoundRect(-1, -1, 241, 71, 0), EveningSky(90));
    Stars(c, 14, 60, 3);
    Moon(c, 196, 26, 11);
    TFace title(fonts.SansBold, 24);
    title.DrawCentred(c, 108, 44, u"Vesperon", Hex(0xf6f2ff), 0.5f);
    c.Fill(RoundRect(-1, 70, 241, 245, 0), LinearY(70, kPaperTop, 245, kPaperBottom));
    c.Fill(RoundRect(-1, 70, 241, 71.5f, 0), LinearX(0, Hex(0xffb56e), 240, Hex(0xd9737c)));
    // Text slides under a soft edge at the top and bottom of the paper.
    c.Fill(RoundRect(-1, 71.5f, 241, 76, 0), LinearY(71.5f, Hex(0xd8cfc0), 76, kPaperTop), 0.6f);
    c.Fill(RoundRect(-1, 245, 241, 321, 0), EveningSky(245 + 80));
    c.Fill(RoundRect(-1, 245, 241, 321, 0), GradientY({{245, Hex(0x12142f)},
                                                       {275, Hex(0x5e3b76)},
                                                       {300, Hex(0xd9737c)},
                                                       {320, Hex(0xffb56e)}}));
    Stars(c, 6, 270, 11);
    Landscape(c, 305, 0.6f);
    WriteBmp(dir / "about.bmp", c.ToImage());
  }
}

}  // namespace skinart
