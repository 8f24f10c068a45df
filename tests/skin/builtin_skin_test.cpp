// The artwork carried in the executable: the built-in skin's structure and
// the splash and about pictures.
#include <gtest/gtest.h>

#include <map>

#include "core/files.h"
#include "core/text.h"
#include "platform/platform.h"
#include "resources/pictures/pictures.h"
#include "resources/skins/builtin_skin.h"
#include "script/scriptengine.h"
#include "skin/bmp.h"
#include "skin/packed_skin.h"
#include "skin_test_util.h"

namespace vesperon {
namespace {

std::string Lower(const pugi::xml_node& n) { return AsciiLower(n.name()); }

std::vector<pugi::xml_node> Children(const pugi::xml_node& n, const std::string& name) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node c : n.children())
    if (Lower(c) == name) out.push_back(c);
  return out;
}

class BuiltinSkin : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Skin = new TPackedSkin;
    ASSERT_TRUE(ReadPackedSkin(BuiltinSkinFile(), "(built-in)", *Skin));
  }
  static void TearDownTestSuite() { delete Skin; }

  // The image an element's child names; fails the test when it is absent.
  static const TSkinImage& ImageOf(const pugi::xml_node& element, const char* child) {
    const int32_t i = FindImage(Skin->Images, element.child_value(child));
    EXPECT_GE(i, 0) << element.name() << "/" << child;
    static const TSkinImage none;
    return i < 0 ? none : Skin->Images[i];
  }
  static TPackedSkin* Skin;
};
TPackedSkin* BuiltinSkin::Skin = nullptr;

TEST_F(BuiltinSkin, HoldsFortyTwentyFourBitImages) {
  ASSERT_EQ(Skin->Images.size(), 40u);
  int masks = 0;
  for (const TSkinImage& img : Skin->Images) {
    EXPECT_EQ(img.BitCount, 24) << img.Name;
    masks += img.IsMask;
  }
  EXPECT_EQ(masks, 1 + 5 + 1 + 4);  // window, buttons, time bar, corners
}

TEST_F(BuiltinSkin, MainWindowButtonsLabelsAndTimeBar) {
  const pugi::xml_node skin = Skin->Document.child("skin");
  const auto windows = Children(skin, "window");
  ASSERT_EQ(windows.size(), 1u);
  const pugi::xml_node main = windows[0];
  EXPECT_STREQ(main.child_value("name"), "main");
  const TSkinImage& bg = ImageOf(main, "background");
  const TSkinImage& stencil = ImageOf(main, "stencil");
  EXPECT_EQ(bg.Image.Width, 200);
  EXPECT_EQ(bg.Image.Height, 200);
  EXPECT_TRUE(stencil.IsMask);
  EXPECT_FALSE(RegionFromMask(stencil.Image, 255, 255, 255).Empty());
  EXPECT_TRUE(stencil.Image.Pixel(0, 0)[0] == 255);  // the corners are cut away

  const std::map<std::string, std::string> functions = {{"play", "play"},
                                                        {"stop", "stop"},
                                                        {"next", "next"},
                                                        {"previous", "previous"},
                                                        {"media", "show_window(media)"}};
  const auto buttons = Children(main, "button");
  ASSERT_EQ(buttons.size(), 5u);
  for (const pugi::xml_node& b : buttons) {
    const std::string name = b.child_value("name");
    SCOPED_TRACE(name);
    ASSERT_TRUE(functions.count(name));
    EXPECT_EQ(b.child_value("function"), functions.at(name));
    const int width = name == "media" ? 30 : 20;
    for (const char* state : {"normal", "active", "hover", "stencil"}) {
      const TSkinImage& img = ImageOf(b, state);
      EXPECT_EQ(img.Image.Width, width) << state;
      EXPECT_EQ(img.Image.Height, 20) << state;
      EXPECT_EQ(img.IsMask, std::string(state) == "stencil");
    }
  }

  const auto labels = Children(main, "label");
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_STREQ(labels[0].child_value("name"), "ltime");
  EXPECT_STREQ(labels[0].child_value("width"), "80");
  EXPECT_STREQ(labels[1].child_value("name"), "ltitle");
  EXPECT_STREQ(labels[1].child_value("width"), "120");
  EXPECT_STREQ(labels[1].child_value("scrolling"), "true");

  const auto bars = Children(main, "progressbar");
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_STREQ(bars[0].child_value("name"), "ptime");
  EXPECT_STREQ(bars[0].child_value("orientation"), "h");
  for (const char* part : {"empty", "filled", "stencil"}) {
    EXPECT_EQ(ImageOf(bars[0], part).Image.Width, 100) << part;
    EXPECT_EQ(ImageOf(bars[0], part).Image.Height, 15) << part;
  }
  EXPECT_EQ(Children(main, "visualation").size(), 1u);
}

TEST_F(BuiltinSkin, FrameFontScriptsAndEvents) {
  const pugi::xml_node skin = Skin->Document.child("skin");
  const pugi::xml_node frame = skin.child("standardwindow");
  int pieces = 0;
  for (const char* piece :
       {"top", "bottom", "left", "right", "topleft", "topright", "bottomleft", "bottomright",
        "topleftmask", "toprightmask", "bottomleftmask", "bottomrightmask"}) {
    const TSkinImage& img = ImageOf(frame, piece);
    EXPECT_EQ(img.Image.Width, 12) << piece;
    EXPECT_EQ(img.Image.Height, 12) << piece;
    EXPECT_EQ(img.IsMask, std::string(piece).ends_with("mask")) << piece;
    ++pieces;
  }
  EXPECT_EQ(pieces, 12);
  for (const char* colour : {"bgcolor", "scrollcolor", "buttoncolor", "buttonfontcolor"}) {
    const std::string value = frame.child_value(colour);
    EXPECT_EQ(value.size(), 7u) << colour;
    EXPECT_EQ(value[0], '#') << colour;
  }

  const auto fonts = Children(skin, "font");
  ASSERT_EQ(fonts.size(), 1u);
  const TSkinImage& normal = ImageOf(fonts[0], "normal");
  EXPECT_EQ(normal.Image.Width, 256);
  EXPECT_EQ(normal.Image.Height, 256);
  EXPECT_EQ(ImageOf(fonts[0], "active").Image.Pixels, normal.Image.Pixels);
  EXPECT_EQ(ImageOf(fonts[0], "hover").Image.Pixels, normal.Image.Pixels);
  // Cell 0 holds the advance widths in its red bytes: the space (cell 1) is
  // narrower than "W" (cell 56), and every printable ASCII character has one.
  auto width = [&](int cell) { return normal.Image.Pixel(cell % 16, cell / 16)[2]; };
  EXPECT_GT(width(1), 0);
  EXPECT_LT(width(1), width('W' - 31));
  for (int c = 33; c < 127; ++c) EXPECT_GT(width(c - 31), 0) << c;
  // The glyph of "A" (cell 34) has ink on the key colour.
  EXPECT_STREQ(fonts[0].child_value("transparent"), "#ff00ff");
  bool ink = false;
  for (int y = 32; y < 48; ++y)
    for (int x = 32; x < 48; ++x) ink |= normal.Image.Pixel(x, y)[1] != 0;
  EXPECT_TRUE(ink);

  const auto scripts = Children(skin, "script");
  ASSERT_EQ(scripts.size(), 2u);
  const std::string ontime = scripts[0].child_value(), onsong = scripts[1].child_value();
  EXPECT_NE(ontime.find("module ontime;"), std::string::npos);
  EXPECT_NE(ontime.find("String s;"), std::string::npos);
  EXPECT_NE(ontime.find("set_progressbar_position('ptime',get_current_time);"), std::string::npos);
  EXPECT_NE(ontime.find("end ontime;"), std::string::npos);
  EXPECT_NE(onsong.find("set_text('ltitle',get_title);"), std::string::npos);
  EXPECT_NE(onsong.find("set_progressbar_max('ptime',get_total_time);"), std::string::npos);
  EXPECT_NE(onsong.find("end onsong;"), std::string::npos);
  EXPECT_STREQ(skin.child_value("ontime"), "script:ontime");
  EXPECT_STREQ(skin.child_value("onsong"), "script:onsong");
}

TEST_F(BuiltinSkin, ScriptsCompileCleanlyAndOnsongToItsTwentyTwoInstructions) {
  const auto scripts = Children(Skin->Document.child("skin"), "script");
  ASSERT_EQ(scripts.size(), 2u);
  test::TLogCapture log;
  TScriptengine ontime, onsong;
  EXPECT_TRUE(ontime.CompileModule(scripts[0].child_value()));
  EXPECT_TRUE(onsong.CompileModule(scripts[1].child_value()));
  EXPECT_EQ(ontime.Name(), "ONTIME");
  EXPECT_EQ(onsong.Name(), "ONSONG");
  EXPECT_TRUE(log.Lines.empty()) << log.All();  // neither errors nor warnings
  const std::vector<std::string> expected = {
      "JMP 0, 1",   "INT 0, 3",   "ALC 0, 7",   "LIT 1, 6",   "LIT 2, 108", "LIT 3, 116",
      "LIT 4, 105", "LIT 5, 116", "LIT 6, 108", "LIT 7, 101", "EXT 0, 4",   "EXT 0, 8",
      "ALC 0, 6",   "LIT 1, 5",   "LIT 2, 112", "LIT 3, 116", "LIT 4, 105", "LIT 5, 109",
      "LIT 6, 101", "EXT 0, 1",   "EXT 0, 19",  "JMP 0, 0"};
  EXPECT_EQ(ListCode(onsong.Code()), expected);
}

TEST(Pictures, SplashAndAboutAreUncompressedTwentyFourBitFiles) {
  struct {
    std::string_view File;
    int Width, Height;
    std::size_t Length;
  } pictures[] = {{SplashPicture(), 480, 320, 460854}, {AboutPicture(), 240, 320, 230454}};
  for (const auto& p : pictures) {
    EXPECT_EQ(p.File.size(), p.Length);
    TImage img;
    std::string error;
    TBmpFormat format;
    ASSERT_TRUE(DecodeBmp(p.File, img, error, &format)) << error;
    EXPECT_EQ(img.Width, p.Width);
    EXPECT_EQ(img.Height, p.Height);
    EXPECT_EQ(format.BitCount, 24);
  }
}

TEST(Pictures, TextAreasAreLightEnoughForDarkText) {
  // The splash's progress line (60, 220, 200 x 40) and the about box's
  // scrolling band (y 70 to 245) are drawn in black.
  auto lightness = [](const TImage& img, int x0, int y0, int w, int h) {
    int darkest = 255;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) {
        const uint8_t* p = img.Pixel(x, y);
        darkest = std::min(darkest, (p[0] + p[1] + p[2]) / 3);
      }
    return darkest;
  };
  TImage splash, about;
  std::string error;
  ASSERT_TRUE(DecodeBmp(SplashPicture(), splash, error));
  ASSERT_TRUE(DecodeBmp(AboutPicture(), about, error));
  EXPECT_GT(lightness(splash, 60, 220, 200, 40), 180);
  EXPECT_GT(lightness(about, 0, 80, 240, 160), 180);
}

}  // namespace
}  // namespace vesperon
