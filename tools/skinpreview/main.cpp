// Renders a packed skin's main window as it looks in the player, for
// checking artwork without a display:
//   vesperon_skinpreview SKIN.vsf OUT.bmp [normal|hover|active] [TITLE]
// Buttons show the given state, labels show their text (the title label
// TITLE, if given) in the skin's font, and time bars are 40 % full.
#include <fstream>
#include <iostream>
#include <string>

#include "core/files.h"
#include "core/text.h"
#include "skin/bmp.h"
#include "skin/packed_skin.h"

namespace {

using namespace vesperon;

std::string Lower(const pugi::xml_node& n) { return AsciiLower(n.name()); }
pugi::xml_node Child(const pugi::xml_node& n, const char* name) {
  for (pugi::xml_node c : n.children())
    if (Lower(c) == name) return c;
  return {};
}
const TImage* Image(const TPackedSkin& skin, const pugi::xml_node& n, const char* name) {
  const int32_t i = FindImage(skin.Images, Child(n, name).child_value());
  return i < 0 ? nullptr : &skin.Images[i].Image;
}

// Copies a w x h block; with `key`, pixels of that colour are skipped.
void Blit(TImage& dst, int dx, int dy, const TImage& src, int sx, int sy, int w, int h,
          const uint8_t* key = nullptr) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (dx + x < 0 || dy + y < 0 || dx + x >= dst.Width || dy + y >= dst.Height) continue;
      if (sx + x >= src.Width || sy + y >= src.Height) continue;
      const uint8_t* s = src.Pixel(sx + x, sy + y);
      if (key && s[0] == key[2] && s[1] == key[1] && s[2] == key[0]) continue;
      uint8_t* d = dst.Pixel(dx + x, dy + y);
      for (int k = 0; k < 4; ++k) d[k] = s[k];
    }
}

void DrawLabel(TImage& out, const TPackedSkin& skin, const pugi::xml_node& label,
               const std::string& text) {
  const pugi::xml_node font = Child(skin.Document.child("skin"), "font");
  const TImage* sheet = Image(skin, font, "normal");
  if (!sheet) return;
  const std::string t = Child(font, "transparent").child_value();
  const uint8_t key[3] = {static_cast<uint8_t>(std::stoi(t.substr(1, 2), nullptr, 16)),
                          static_cast<uint8_t>(std::stoi(t.substr(3, 2), nullptr, 16)),
                          static_cast<uint8_t>(std::stoi(t.substr(5, 2), nullptr, 16))};
  const pugi::xml_node pos = Child(label, "position");
  const int x0 = pos.attribute("x").as_int(), y0 = pos.attribute("y").as_int();
  const int width = std::stoi(Child(label, "width").child_value());
  const int size = Child(label, "font").attribute("size").as_int(10);
  int offset = 0;
  for (unsigned char c : Utf16ToCp1252(Utf8ToUtf16(text))) {
    int g = c - 31;
    if (g < 1) g = 1;
    if (offset > width) break;
    const int w = std::min(size, width - offset);
    if (w > 0) Blit(out, x0 + offset, y0, *sheet, (g % 16) * 16, (g / 16) * 16, w, size, key);
    offset += sheet->Pixel(g % 16, g / 16)[2];
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: vesperon_skinpreview SKIN.vsf OUT.bmp [normal|hover|active] [TITLE]\n";
    return 2;
  }
  const std::string state = argc > 3 ? argv[3] : "normal";
  const auto file = ReadWholeFile(argv[1]);
  TPackedSkin skin;
  if (!file || !ReadPackedSkin(*file, argv[1], skin)) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 1;
  }
  const pugi::xml_node window = Child(skin.Document.child("skin"), "window");
  const TImage* bg = Image(skin, window, "background");
  if (!bg) return 1;
  TImage out = *bg;
  for (pugi::xml_node item : window.children()) {
    const pugi::xml_node pos = Child(item, "position");
    const int x = pos.attribute("x").as_int(), y = pos.attribute("y").as_int();
    if (Lower(item) == "button") {
      if (const TImage* img = Image(skin, item, state.c_str()))
        Blit(out, x, y, *img, 0, 0, img->Width, img->Height);
    } else if (Lower(item) == "progressbar") {
      const TImage* empty = Image(skin, item, "empty");
      const TImage* filled = Image(skin, item, "filled");
      if (!empty || !filled) continue;
      const int split = empty->Width * 2 / 5;
      Blit(out, x, y, *filled, 0, 0, split, filled->Height);
      Blit(out, x + split, y, *empty, split, 0, empty->Width - split, empty->Height);
    } else if (Lower(item) == "label") {
      std::string text = Child(item, "text").child_value();
      if (argc > 4 && std::string(Child(item, "name").child_value()) == "ltitle") text = argv[4];
      if (std::string(Child(item, "name").child_value()) == "ltime") text = "-2:47";
      DrawLabel(out, skin, item, text);
    }
  }
  std::ofstream(argv[2], std::ios::binary) << EncodeBmp24(out);
  return 0;
}
