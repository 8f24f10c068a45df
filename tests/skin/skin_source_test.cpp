// Choosing the skin file to load, the LastSkin setting, and the fallback to
// the built-in skin.
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/params.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/text.h"
#include "skin/skin_compiler.h"
#include "skin/skin_source.h"
#include "skin_test_util.h"

namespace vesperon {
namespace {

using test::TLogCapture;
using test::TTempDir;
using test::WriteFile;

class SkinSource : public testing::Test {
 protected:
  void SetUp() override {
    SetExecutableDirForTesting(Exe.Path());
    gParams.Debug = true;
    gSettings.LastSkin = u"before";
  }
  void TearDown() override {
    gParams.Debug = false;
    SetExecutableDirForTesting({});
  }
  // A small packed skin whose description names it.
  std::filesystem::path MakeSkin(const std::filesystem::path& dir, const std::string& name) {
    WriteFile(dir / (name + ".xml"),
              "<skin><information><name>" + name + "</name></information></skin>");
    EXPECT_EQ(CompileSkin(dir / (name + ".xml")), kCompileDone);
    return dir / (name + ".vsf");
  }
  TTempDir Exe, Other;
};

TEST_F(SkinSource, AnEmptyNameIsTheBuiltInSkinWithoutWarning) {
  TLogCapture log;
  TPackedSkin skin;
  ASSERT_TRUE(LoadSkinPackage(u"", skin));
  EXPECT_EQ(gSettings.LastSkin, u"");
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"decompressing skin...", "decompressed skin"}));
  EXPECT_FALSE(skin.Images.empty());
}

TEST_F(SkinSource, AnExistingPathIsUsedAsItStands) {
  const auto path = MakeSkin(Other.Path(), "elsewhere");
  MakeSkin(Exe.Path() / "skins", "elsewhere");  // must not be preferred
  TPackedSkin skin;
  ASSERT_TRUE(LoadSkinPackage(U16FromPath(path), skin));
  EXPECT_EQ(gSettings.LastSkin, U16FromPath(path));
  EXPECT_EQ(ChooseSkin(U16FromPath(path)).Path, path);
}

TEST_F(SkinSource, OtherNamesAreLookedUpInTheSkinsFolderWithoutAddingAnExtension) {
  const auto path = MakeSkin(Exe.Path() / "skins", "night");
  TPackedSkin skin;
  ASSERT_TRUE(LoadSkinPackage(u"night.vsf", skin));
  EXPECT_STREQ(skin.Document.child("skin").child("information").child_value("name"), "night");
  EXPECT_EQ(gSettings.LastSkin, U16FromPath(path));

  TLogCapture log;
  EXPECT_TRUE(ChooseSkin(u"night").Builtin());
  EXPECT_EQ(
      log.Lines,
      (std::vector<std::string>{"WARNING: the skin could not be found. Changing to default..."}));
}

TEST_F(SkinSource, MissingAndEmptyFilesFallBackToTheBuiltInSkin) {
  WriteFile(Exe.Path() / "skins" / "empty.vsf", "");
  {
    TLogCapture log;
    TPackedSkin skin;
    ASSERT_TRUE(LoadSkinPackage(u"standard", skin));
    EXPECT_EQ(log.Lines.at(0), "WARNING: the skin could not be found. Changing to default...");
    EXPECT_EQ(gSettings.LastSkin, u"");
  }
  {
    TLogCapture log;
    TPackedSkin skin;
    gSettings.LastSkin = u"before";
    ASSERT_TRUE(LoadSkinPackage(u"empty.vsf", skin));
    EXPECT_EQ(log.Lines.at(0), "WARNING: the skin is empty! Changing to default...");
    EXPECT_EQ(gSettings.LastSkin, u"");
  }
  {
    TLogCapture log;  // a folder of that name is no skin file
    std::filesystem::create_directories(Exe.Path() / "skins" / "folder");
    EXPECT_TRUE(ChooseSkin(u"folder").Builtin());
    EXPECT_EQ(log.Lines.size(), 1u);
  }
}

TEST_F(SkinSource, ADamagedFileFailsTheLoadNamingTheFile) {
  const auto path = Exe.Path() / "skins" / "broken.vsf";
  WriteFile(path, "this is not a packed skin");
  TLogCapture log;
  TPackedSkin skin;
  EXPECT_FALSE(LoadSkinPackage(u"broken.vsf", skin));
  EXPECT_EQ(gSettings.LastSkin, u"before");  // a damaged file is not remembered for the next start
  ASSERT_EQ(log.Lines.size(), 2u);
  EXPECT_EQ(log.Lines[0], "decompressing skin...");
  EXPECT_EQ(log.Lines[1], "ERROR: could not load the skin \"" + path.string() +
                              "\": the compressed data is corrupt (incorrect header check)");
}

}  // namespace
}  // namespace vesperon
