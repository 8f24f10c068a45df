// The skin compiler: what it packs, in which order, under which names,
// and how the packed file reads back.
#include <gtest/gtest.h>

#include "core/files.h"
#include "skin/bmp.h"
#include "skin/skin_compiler.h"
#include "skin_test_util.h"

namespace vesperon {
namespace {

using test::MakeImage;
using test::TLogCapture;
using test::TTempDir;
using test::WriteFile;

// Writes a distinct 1 x 1 bitmap named `name` under the folder.
void Bitmap(const std::filesystem::path& dir, const std::string& name, uint8_t shade) {
  WriteFile(dir / name, EncodeBmp24(MakeImage(1, 1, shade, shade, shade)));
}

TPackedSkin CompileAndRead(const std::filesystem::path& description) {
  EXPECT_EQ(CompileSkin(description), kCompileDone);
  TPackedSkin skin;
  const auto bytes = ReadWholeFile(PackedSkinPath(description));
  EXPECT_TRUE(bytes);
  if (bytes) {
    EXPECT_TRUE(ReadPackedSkin(*bytes, "compiled", skin));
  }
  return skin;
}

std::vector<std::pair<std::string, bool>> NamesAndMasks(const TPackedSkin& skin) {
  std::vector<std::pair<std::string, bool>> out;
  for (const auto& i : skin.Images) out.emplace_back(i.Name, i.IsMask);
  return out;
}

TEST(SkinCompiler, PacksInDocumentOrderWithMaskFlags) {
  TTempDir dir;
  const char* names[] = {"frame.bmp",   "tlmask.bmp", "close.bmp", "closemask.bmp", "bg.bmp",
                         "stencil.bmp", "b_n.bmp",    "b_a.bmp",   "b_h.bmp",       "b_s.bmp",
                         "p_e.bmp",     "p_f.bmp",    "p_s.bmp",   "vis.bmp",       "font.bmp"};
  for (int i = 0; i < 15; ++i) Bitmap(dir.Path(), names[i], static_cast<uint8_t>(i * 10));
  const std::string xml = R"(<?xml version="1.0"?>
<Skin>
  <information><name>ignored.bmp</name></information>
  <STANDARDWINDOW>
    <Top>frame.bmp</Top>
    <topleftmask>tlmask.bmp</topleftmask>
    <bgcolor>#000000</bgcolor>
    <closebutton><normal>close.bmp</normal><stencil>closemask.bmp</stencil></closebutton>
  </STANDARDWINDOW>
  <window>
    <name>main</name>
    <stencil>stencil.bmp</stencil>
    <background>bg.bmp</background>
    <label><name>l</name><normal>b_n.bmp</normal></label>
    <button><hover>b_h.bmp</hover><stencil>b_s.bmp</stencil><normal>b_n.bmp</normal><active>b_a.bmp</active></button>
    <progressbar><stencil>p_s.bmp</stencil><empty>p_e.bmp</empty><filled>p_f.bmp</filled></progressbar>
    <visualation><position x="1" y="2"/><stencil>vis.bmp</stencil></visualation>
  </window>
  <font><normal>font.bmp</normal><active>font.bmp</active><hover>./font.bmp</hover></font>
  <script>module m; begin end m;</script>
</Skin>)";
  WriteFile(dir.Path() / "skin.xml", xml);
  TLogCapture log;
  const TPackedSkin skin = CompileAndRead(dir.Path() / "skin.xml");
  const std::vector<std::pair<std::string, bool>> expected = {
      {"frame.bmp", false},  {"tlmask.bmp", true}, {"close.bmp", false}, {"closemask.bmp", true},
      {"stencil.bmp", true}, {"bg.bmp", false},    {"b_h.bmp", false},   {"b_s.bmp", true},
      {"b_n.bmp", false},    {"b_a.bmp", false},   {"p_s.bmp", true},    {"p_e.bmp", false},
      {"p_f.bmp", false},    {"vis.bmp", true},    {"font.bmp", false},  {"./font.bmp", false}};
  EXPECT_EQ(NamesAndMasks(skin), expected);
  EXPECT_EQ(skin.Description, xml);  // byte for byte
  EXPECT_EQ(skin.Images[FindImage(skin.Images, "bg.bmp")].Image.Pixel(0, 0)[0], 40);
  EXPECT_TRUE(log.Lines.empty());  // the compiler logs nothing
}

TEST(SkinCompiler, PacksEachFileOnceAndSkipsMissingOnes) {
  TTempDir dir;
  Bitmap(dir.Path(), "same.bmp", 1);
  Bitmap(dir.Path(), "Same.bmp", 2);
  WriteFile(dir.Path() / "skin.xml",
            "<skin><window><background>same.bmp</background><stencil>same.bmp</stencil>"
            "<button><normal>missing.bmp</normal><active>same.bmp</active><hover>Same.bmp</hover>"
            "<stencil></stencil></button></window><font><normal>same.bmp</normal></font></skin>");
  const TPackedSkin skin = CompileAndRead(dir.Path() / "skin.xml");
  const std::vector<std::pair<std::string, bool>> expected = {{"same.bmp", false},
                                                              {"Same.bmp", false}};
  EXPECT_EQ(NamesAndMasks(skin), expected);
}

// Image names stay inside the description's folder: absolute names, ".."
// that climbs out and links that lead out are left out with a warning naming
// them; the file they name never ends up in the packed skin.
TEST(SkinCompiler, RefusesImagesOutsideTheDescriptionsFolder) {
  TTempDir dir;
  const std::filesystem::path skin = dir.Path() / "skin";
  Bitmap(dir.Path(), "secret.bmp", 9);
  Bitmap(skin, "ok.bmp", 1);
  Bitmap(skin, "sub/deep.bmp", 2);
  std::filesystem::create_symlink("../secret.bmp", skin / "link.bmp");
  const std::string secret = (dir.Path() / "secret.bmp").string();
  WriteFile(skin / "skin.xml",
            "<skin><window><background>" + secret +
                "</background>"
                "<stencil>../secret.bmp</stencil><button><normal>sub/../../secret.bmp</normal>"
                "<active>sub/../ok.bmp</active><hover>link.bmp</hover>"
                "<stencil>sub/deep.bmp</stencil></button></window>"
                "<font><normal>..</normal><active>sub/..</active></font></skin>");
  ::testing::internal::CaptureStderr();
  const TPackedSkin packed = CompileAndRead(skin / "skin.xml");
  const std::string err = ::testing::internal::GetCapturedStderr();
  const std::vector<std::pair<std::string, bool>> expected = {{"sub/../ok.bmp", false},
                                                              {"sub/deep.bmp", true}};
  EXPECT_EQ(NamesAndMasks(packed), expected);
  for (const std::string& name :
       {secret, std::string("../secret.bmp"), std::string("sub/../../secret.bmp"),
        std::string("link.bmp"), std::string("..")}) {
    EXPECT_NE(err.find("names the image \"" + name + "\" outside its folder; it is left out"),
              std::string::npos)
        << name << "\n"
        << err;
  }
  EXPECT_EQ(err.find("ok.bmp"), std::string::npos);
  EXPECT_EQ(err.find("sub/..\""),
            std::string::npos);  // the folder itself is no file: left out silently
}

TEST(SkinCompiler, CutsNamesToShortStrings) {
  TTempDir dir;
  // Names longer than one path component may be: spread over folders.
  auto longName = [](std::size_t length) {
    std::string name;
    while (name.size() + 100 < length) name += std::string(99, 'd') + "/";
    return name + std::string(length - name.size() - 4, 'f') + ".bmp";
  };
  const std::string n255 = longName(255), n300 = longName(300);
  ASSERT_EQ(n255.size(), 255u);
  ASSERT_EQ(n300.size(), 300u);
  Bitmap(dir.Path(), n255, 5);
  Bitmap(dir.Path(), n300, 6);
  WriteFile(dir.Path() / "skin.xml",
            "<skin><font><normal>" + n255 + "</normal><active>" + n300 + "</active></font></skin>");
  const TPackedSkin skin = CompileAndRead(dir.Path() / "skin.xml");
  ASSERT_EQ(skin.Images.size(), 2u);
  EXPECT_EQ(skin.Images[0].Name, n255);
  EXPECT_EQ(skin.Images[1].Name, n300.substr(0, 255));
  EXPECT_EQ(FindImage(skin.Images, n300), 1);  // looked up by its first 255 characters
}

TEST(SkinCompiler, WritesBesideTheDescriptionAndReportsItsEnd) {
  TTempDir dir;
  WriteFile(dir.Path() / "my.skin.xml", "<skin/>");
  EXPECT_EQ(CompileSkin(dir.Path() / "my.skin.xml"), kCompileDone);
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "my.skin.vsf"));
  std::size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 2u);  // no temporary file left behind
  EXPECT_EQ(PackedSkinPath("a/b"), std::filesystem::path("a/b.vsf"));

  EXPECT_EQ(CompileSkin(dir.Path() / "absent.xml"), kCompileSourceMissing);
  EXPECT_EQ(CompileSkin(dir.Path()), kCompileSourceMissing);  // a folder is not a description
  WriteFile(dir.Path() / "broken.xml", "<skin><window></skin>");
  EXPECT_EQ(CompileSkin(dir.Path() / "broken.xml"), kCompileFailed);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "broken.vsf"));
  WriteFile(dir.Path() / "noskin.xml", "<other/>");
  EXPECT_EQ(CompileSkin(dir.Path() / "noskin.xml"), kCompileFailed);
}

TEST(SkinCompiler, ReplacesAnOlderPackedFile) {
  TTempDir dir;
  WriteFile(dir.Path() / "s.vsf", std::string(100000, 'x'));
  WriteFile(dir.Path() / "s.xml", "<skin/>");
  const TPackedSkin skin = CompileAndRead(dir.Path() / "s.xml");
  EXPECT_EQ(skin.Description, "<skin/>");
}

}  // namespace
}  // namespace vesperon
