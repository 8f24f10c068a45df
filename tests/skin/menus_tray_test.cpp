// The popup menu, the skins submenu and the tray icon of load step 12, on
// the headless windowing layer.
#include <gtest/gtest.h>

#include "core/language.h"
#include "core/paths.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "resources/pictures/pictures.h"
#include "skin/menus_tray.h"
#include "skin_test_util.h"

namespace vesperon {
namespace {

using test::TTempDir;
using test::WriteFile;

std::vector<TMenuItemInfo> Items(TMenu menu) {
  std::vector<TMenuItemInfo> items;
  TMenuItemInfo info;
  for (int32_t i = 0; GetMenuItemInfo(menu, i, info); ++i) items.push_back(info);
  return items;
}

class MenusTrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClosePlatform();
    ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
    SetTrayAvailableForTesting(true);
    SetExecutableDirForTesting(Dir.Path());
    gLang = TLang{};
    TWindowParams p;
    p.ClassName = "Vesperon";
    p.Bounds = {10, 10, 210, 210};
    Main = CreateWindow(p);
    ASSERT_NE(Main, 0u);
  }
  void TearDown() override {
    RemoveSkinTrayIcon(Menus);
    DestroyMenus(Menus);
    ClosePlatform();
    ClearExecutableDirForTesting();
    SetTrayAvailableForTesting(false);
  }
  std::filesystem::path Skins() const { return Dir.Path() / "skins"; }

  TTempDir Dir;
  THandle Main = 0;
  TMenusAndTray Menus;
};

TEST_F(MenusTrayTest, PopupMenuOrderAndTexts) {
  WriteFile(Skins() / "lumen.vsf", "x");
  gLang.Exit = u"Exit";
  gLang.Skins = u"Skins";
  BuildMenusAndTray(Menus, Main);
  const std::vector<TMenuItemInfo> top = Items(Menus.Popup);
  ASSERT_EQ(top.size(), 7u);
  EXPECT_EQ(top[0].SubMenu, Menus.SkinsMenu);
  EXPECT_EQ(top[0].Text, u"Skins");
  EXPECT_TRUE(top[1].Separator);
  EXPECT_EQ(top[2].Id, idmMinimize);
  EXPECT_EQ(top[3].Id, idmRestore);
  EXPECT_TRUE(top[4].Separator);
  EXPECT_EQ(top[5].Id, idmAbout);
  EXPECT_EQ(top[6].Id, idmExit);
  EXPECT_EQ(top[6].Text, u"Exit");
  const std::vector<TMenuItemInfo> skins = Items(Menus.SkinsMenu);
  ASSERT_EQ(skins.size(), 3u);
  EXPECT_EQ(skins[0].Id, idmSkinFirst);
  EXPECT_EQ(skins[0].Text, u"lumen.vsf");
  EXPECT_TRUE(skins[1].Separator);
  EXPECT_EQ(skins[2].Id, idmLoadSkin);
}

TEST_F(MenusTrayTest, SkinsSubmenuIsSortedFilteredAndCappedAt51) {
  for (int i = 59; i >= 0; --i) WriteFile(Skins() / ("s" + std::to_string(100 + i) + ".vsf"), "x");
  WriteFile(Skins() / "Aurora.VSF", "x");
  WriteFile(Skins() / "readme.txt", "x");
  std::filesystem::create_directories(Skins() / "folder.vsf");
  BuildMenusAndTray(Menus, Main);
  ASSERT_EQ(Menus.SkinFiles.size(), kSkinMenuMax);
  EXPECT_EQ(Menus.SkinFiles[0].filename(), "Aurora.VSF");
  EXPECT_EQ(Menus.SkinFiles[1].filename(), "s100.vsf");
  EXPECT_EQ(Menus.SkinFiles[50].filename(), "s149.vsf");
  const std::vector<TMenuItemInfo> skins = Items(Menus.SkinsMenu);
  ASSERT_EQ(skins.size(), kSkinMenuMax + 2);
  EXPECT_EQ(skins[50].Id, idmSkinFirst + 50);
  EXPECT_EQ(SkinFileOfCommand(Menus, idmSkinFirst + 50), Skins() / "s149.vsf");
  EXPECT_TRUE(SkinFileOfCommand(Menus, idmSkinFirst + 51).empty());
  EXPECT_TRUE(SkinFileOfCommand(Menus, idmExit).empty());
}

TEST_F(MenusTrayTest, AFileNameThatIsNotUtf8IsListedAndLeadsToTheSameFile) {
  const std::string raw = "caf\xE9.vsf";  // Latin-1, not valid UTF-8
  WriteFile(Skins() / raw, "x");
  BuildMenusAndTray(Menus, Main);
  ASSERT_EQ(Menus.SkinFiles.size(), 1u);
  EXPECT_EQ(Items(Menus.SkinsMenu)[0].Text, u"caf\uFFFD.vsf");
  const std::filesystem::path file = SkinFileOfCommand(Menus, idmSkinFirst);
  EXPECT_EQ(file.filename().string(), raw);
  EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(MenusTrayTest, WithoutSkinsFolderTheSubmenuIsEmpty) {
  BuildMenusAndTray(Menus, Main);
  EXPECT_EQ(GetMenuItemCount(Menus.SkinsMenu), 0);
  EXPECT_EQ(GetMenuItemCount(Menus.Popup), 7);
}

TEST_F(MenusTrayTest, TrayIconTipAndBalloons) {
  BuildMenusAndTray(Menus, Main);
  TTrayState t = GetTrayState();
  ASSERT_TRUE(t.Present);
  EXPECT_EQ(t.Owner, Main);
  EXPECT_EQ(t.Id, kTrayIconId);
  EXPECT_EQ(t.CallbackMessage, 1034u);
  EXPECT_EQ(t.Tip, u"Vesperon");
  EXPECT_FALSE(DecodeIconSet(ProgramIconSet()).empty());

  SetTrayTip(Menus, std::u16string(200, u'a'));
  EXPECT_EQ(GetTrayState().Tip, std::u16string(127, u'a'));
  EXPECT_EQ(Menus.NotifyIconData.Tip.size(), 127u);

  ASSERT_TRUE(ShowBalloon(Menus, std::u16string(70, u't'), std::u16string(300, u'x')));
  t = GetTrayState();
  EXPECT_EQ(t.BalloonTitle.size(), 63u);
  EXPECT_EQ(t.BalloonText.size(), 255u);
  EXPECT_EQ(Menus.NotifyIconData.Flags, 7u);  // back after the balloon

  RemoveSkinTrayIcon(Menus);
  RemoveSkinTrayIcon(Menus);  // twice is harmless
  EXPECT_FALSE(GetTrayState().Present);
  EXPECT_FALSE(ShowBalloon(Menus, u"Warning", u"gone"));
  DestroyMenus(Menus);
  DestroyMenus(Menus);
  EXPECT_EQ(Menus.Popup, 0u);
}

// An icon added while no tray runs waits for one: no balloon until then,
// the tip set meanwhile is kept, and clicks arrive once it is docked.
TEST_F(MenusTrayTest, IconAddedBeforeATrayStartsDocksLater) {
  SetTrayAvailableForTesting(false);
  BuildMenusAndTray(Menus, Main);
  EXPECT_TRUE(Menus.TrayAdded);
  EXPECT_FALSE(TrayIconDocked());
  EXPECT_FALSE(ShowBalloon(Menus, u"Warning", u"nobody sees this"));
  SetTrayTip(Menus, u"Title - Artist");
  SetTrayAvailableForTesting(true);
  EXPECT_TRUE(TrayIconDocked());
  EXPECT_EQ(GetTrayState().Tip, u"Title - Artist");
  EXPECT_TRUE(ShowBalloon(Menus, u"Warning", u"now it shows"));
  EXPECT_EQ(GetTrayState().BalloonText, u"now it shows");
}

TEST(IconSetTest, ProgramIconHasTheUsualSizesWithTransparentCorners) {
  const TIconSet icons = DecodeIconSet(ProgramIconSet());
  ASSERT_GE(icons.size(), 4u);
  for (const TIconImage& icon : icons) {
    ASSERT_EQ(icon.Pixels.size(), static_cast<std::size_t>(icon.Width) * icon.Height);
    EXPECT_EQ(icon.Pixels.front() >> 24, 0u) << icon.Width;  // corner: clear
    EXPECT_EQ(icon.Pixels[icon.Pixels.size() / 2 + icon.Width / 2] >> 24, 0xFFu)
        << icon.Width;  // centre: opaque
  }
  EXPECT_EQ(PickIcon(icons, 22)->Height, 22);
  EXPECT_EQ(PickIcon(icons, 30)->Height, 32);
  EXPECT_EQ(PickIcon(icons, 500)->Height, 64);
  EXPECT_EQ(PickIcon({}, 16), nullptr);
}

TEST(IconSetTest, MalformedSetsKeepTheSizesReadBeforeTheFault) {
  std::string bytes;
  auto word = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
  };
  word(1);
  word(2);
  word(0xFF112233);
  word(0xFF445566);
  const std::string good = bytes;
  EXPECT_EQ(DecodeIconSet(good).size(), 1u);
  EXPECT_EQ(DecodeIconSet(good)[0].Pixels[1], 0xFF445566u);
  EXPECT_TRUE(DecodeIconSet(good.substr(0, good.size() - 1)).empty());  // pixels cut short
  word(0xFFFFFFFF);                                                     // an absurd size
  word(0xFFFFFFFF);
  EXPECT_EQ(DecodeIconSet(bytes).size(), 1u);
  bytes = good;
  word(0);
  word(5);
  EXPECT_EQ(DecodeIconSet(bytes).size(), 1u);
  EXPECT_TRUE(DecodeIconSet("abc").empty());
}

}  // namespace
}  // namespace vesperon
