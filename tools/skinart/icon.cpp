// The program icon: a round evening sky with a crescent moon over dark hills
// and a warm rim, the splash picture's scene in a disc. Drawn at every size
// on its own (not scaled down), so small sizes keep crisp edges.
//
// Written as RGBA PNG files for desktop icon themes (vesperon-N.png) and as
// one icon set in the layout of _NET_WM_ICON (icon.set): per size the width,
// the height and width x height pixels 0xAARRGGBB, each a 32-bit
// little-endian number. The program carries icon.set and reads it with
// DecodeIconSet (src/platform/icon.cpp).
#include <zlib.h>

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "art.h"

namespace skinart {
namespace {

// One drawn size: colours on a canvas and coverage (alpha) on another.
struct TIconPixels {
  TCanvas Colour;
  TCanvas Alpha;
};

TIconPixels DrawIcon(int size) {
  const float s = size / 64.0f;  // the design is made on a 64 x 64 grid
  const float c = size / 2.0f;
  const TShape disc = Circle(c, c, 31.5f * s);
  TCanvas colour(size, size, Hex(0x12142f));
  colour.Fill(disc, GradientY({{2 * s, Hex(0x1a1c43)},
                               {22 * s, Hex(0x3a2f6e)},
                               {38 * s, Hex(0x9c5787)},
                               {48 * s, Hex(0xffb56e)}}));
  // The moon: a crescent in the upper right, with a soft halo.
  const float mx = 40 * s, my = 20 * s, mr = 10 * s;
  const TShape moon =
      Subtract(Circle(mx, my, mr), Circle(mx + mr * 0.55f, my - mr * 0.35f, mr * 0.85f));
  colour.Glow(moon, Hex(0xffc98a), mr * 0.9f, 0.25f);
  colour.Fill(moon, LinearY(my - mr, Hex(0xffe2b0), my + mr, Hex(0xffb05a)));
  // Two stars where the sky is darkest (left out below 32 pixels).
  if (size >= 32) {
    colour.Fill(Circle(17 * s, 15 * s, 1.3f * s), Hex(0xf7f5ff), 0.9f);
    colour.Fill(Circle(25 * s, 9 * s, 0.9f * s), Hex(0xf7f5ff), 0.7f);
  }
  // Hills: a far violet ridge and a near dark one.
  auto hill = [&](float base, float amp, float wave, float phase) -> TShape {
    return [=](float x, float y) { return (base - amp * std::sin(x / wave + phase)) - y; };
  };
  colour.Fill(Intersect(disc, hill(44 * s, 3.5f * s, 9 * s, 0.8f)), Hex(0x4a3468));
  colour.Fill(Intersect(disc, hill(50 * s, 3 * s, 12 * s, 2.6f)), Hex(0x17132d));
  // The rim: a thin warm ring just inside the edge.
  colour.Fill(Intersect(disc, Ring(c, c, 30.5f * s, std::max(1.2f, 1.6f * s))),
              LinearY(0, Hex(0xffc98a), static_cast<float>(size), Hex(0xd9737c)), 0.9f);
  TCanvas alpha(size, size);
  alpha.Fill(disc, Hex(0xffffff));
  return {colour, alpha};
}

// Pixels 0xAARRGGBB, rows top-down.
std::vector<uint32_t> Argb(const TIconPixels& icon) {
  const vesperon::TImage rgb = icon.Colour.ToImage(false);
  const vesperon::TImage a = icon.Alpha.ToImage(false);
  std::vector<uint32_t> out;
  for (int y = 0; y < rgb.Height; ++y)
    for (int x = 0; x < rgb.Width; ++x) {
      const uint8_t* p = rgb.Pixel(x, y);
      out.push_back(static_cast<uint32_t>(a.Pixel(x, y)[2]) << 24 |
                    static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0]);
    }
  return out;
}

void PutBigEndian(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutLittleEndian(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PngChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  PutBigEndian(out, static_cast<uint32_t>(
                        crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

// An 8-bit RGBA PNG, every row with filter 0.
std::string EncodePng(int size, const std::vector<uint32_t>& argb) {
  std::string raw;
  for (int y = 0; y < size; ++y) {
    raw.push_back(0);
    for (int x = 0; x < size; ++x) {
      const uint32_t p = argb[static_cast<std::size_t>(y) * size + x];
      for (int shift : {16, 8, 0, 24}) raw.push_back(static_cast<char>((p >> shift) & 0xFF));
    }
  }
  uLongf packedSize = compressBound(raw.size());
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 9) != Z_OK) {
    throw std::runtime_error("cannot compress the icon");
  }
  packed.resize(packedSize);
  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(size));
  PutBigEndian(header, static_cast<uint32_t>(size));
  header += std::string("\x08\x06\x00\x00\x00",
                        5);  // 8 bits, RGBA, deflate, no filter choice, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  PngChunk(png, "IHDR", header);
  PngChunk(png, "IDAT", packed);
  PngChunk(png, "IEND", "");
  return png;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

void MakeProgramIcon(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  std::string set;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const std::vector<uint32_t> argb = Argb(DrawIcon(size));
    WriteFile(dir / ("vesperon-" + std::to_string(size) + ".png"), EncodePng(size, argb));
    // The program carries the sizes a window manager or tray shows.
    if (size > 64) continue;
    PutLittleEndian(set, static_cast<uint32_t>(size));
    PutLittleEndian(set, static_cast<uint32_t>(size));
    for (uint32_t p : argb) PutLittleEndian(set, p);
  }
  WriteFile(dir / "icon.set", set);
}

}  // namespace skinart
