// The main window procedure, the menu's commands and skin switching, with
// real skins on the headless windowing layer.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/files.h"
#include "core/params.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/skin_link.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "skin/bmp.h"
#include "skin/main_window.h"
#include "skin/packed_skin.h"
#include "skin/skin.h"
#include "skin_test_util.h"

namespace vesperon {
namespace {

using test::MakeImage;
using test::TLogCapture;
using test::TTempDir;
using test::WriteFile;

// A packed skin of two windows, 60 x 40 and 30 x 20 (no stencils, so
// 640 x 480 until shaped), the first with a button that shows the second.
std::string TwoWindowSkin(const std::string& firstName) {
  const std::string description =
      "<skin><window><name>" + firstName +
      "</name><background>bg.bmp</background>"
      "<button><name>b</name><function>show_window(beta)</function><position x=\"5\" y=\"5\"/>"
      "<normal>btn.bmp</normal></button></window>"
      "<window><name>beta</name><background>bg.bmp</background></window></skin>";
  const std::vector<TImageRecord> images = {
      {"bg.bmp", false, EncodeBmp24(MakeImage(60, 40, 10, 20, 30))},
      {"btn.bmp", false, EncodeBmp24(MakeImage(10, 10, 200, 0, 0))}};
  return CompressPackedSkin(LayoutPackedSkin(description, images));
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClosePlatform();
    ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
    SetTrayAvailableForTesting(true);
    SetScreenSizeForTesting(1024, 768);
    SetExecutableDirForTesting(Dir.Path());
    ClearMessageQueue();
    gSettings = TSettings{};
    gParams.Debug = true;
    gSkin = new TSkin();
    gSkinLink = &gSkin->Link();
  }
  void TearDown() override {
    gSkinLink = nullptr;
    delete gSkin;
    gSkin = nullptr;
    ClosePlatform();
    ClearMessageQueue();
    ClearExecutableDirForTesting();
    gParams.Debug = false;
    SetTrayAvailableForTesting(false);
  }

  std::filesystem::path Skin(const std::string& file, const std::string& bytes) {
    const std::filesystem::path path = Dir.Path() / "skins" / file;
    WriteFile(path, bytes);
    return path;
  }
  void Load(const std::filesystem::path& path) { ASSERT_TRUE(gSkin->Load(U16FromPath(path))); }
  THandle Second() const { return gSkin->WindowByName("beta")->Handle; }
  void Command(uint32_t id) {
    SendMessage(gMainWindow, wmCommand, id);
    DispatchPendingMessages();
  }
  // Takes the queued messages (dispatching the others) until the quit
  // message; false when there is none.
  static bool QuitPosted() {
    TMessage m;
    for (int i = 0; i < 1000 && PeekMessage(m); ++i) {
      if (m.Msg == wmQuit) return true;
      DispatchMessage(m);
    }
    return false;
  }
  uint32_t SkinMenuId(const std::string& file) const {
    const auto& files = gSkin->MenusAndTray.SkinFiles;
    const auto it = std::find_if(files.begin(), files.end(),
                                 [&](const auto& p) { return p.filename() == file; });
    return idmSkinFirst + static_cast<uint32_t>(it - files.begin());
  }

  TTempDir Dir;
};

TEST_F(MainWindowTest, KeysRunTheFirstEntryMatchingCodeAndScanCode) {
  Load(Skin("two.vsf", TwoWindowSkin("main")));
  gSettings.Keys = {
      {80, 99, u"stop"}, {80, 25, u"show_window(beta)"}, {80, 25, u"show_window(main)"}};
  TLogCapture log;
  SendMessage(gMainWindow, wmKeyDown, 80, MakeLParam(1, 24));  // same key, other scan code
  EXPECT_FALSE(IsWindowVisible(Second()));
  EXPECT_TRUE(log.Lines.empty());
  SendMessage(gMainWindow, wmKeyDown, 80, MakeLParam(1, 25));
  EXPECT_TRUE(IsWindowVisible(Second()));
  EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "key 80 was pressed"), log.Lines.end());
  EXPECT_EQ(SendMessage(gMainWindow, wmKeyUp, 80, MakeLParam(1, 25)), 0);
}

TEST_F(MainWindowTest, ClosingTheMainWindowQuitsAndOtherWindowsHide) {
  Load(Skin("two.vsf", TwoWindowSkin("main")));
  ShowWindow(Second(), swShow);
  TLogCapture log;
  SendMessage(Second(), wmClose);
  EXPECT_FALSE(IsWindowVisible(Second()));
  EXPECT_FALSE(QuitPosted());
  SendMessage(gMainWindow, wmClose);
  EXPECT_TRUE(QuitPosted());
  EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "got WM_CLOSE for the main window"),
            log.Lines.end());
}

TEST_F(MainWindowTest, MenuExitOpenAndButtonCommands) {
  Load(Skin("two.vsf", TwoWindowSkin("main")));
  TLogCapture log;
  Command(0);  // the button with Index 0 shows the second window
  EXPECT_TRUE(IsWindowVisible(Second()));
  Command(idmLoadSkin);
  EXPECT_FALSE(QuitPosted());
  Command(idmExit);
  EXPECT_TRUE(QuitPosted());
  EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "got BN_CLICKED for IDM_LOADSKIN"),
            log.Lines.end());
  EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "got BN_CLICKED for IDM_EXIT"),
            log.Lines.end());
}

TEST_F(MainWindowTest, RightButtonUpOpensThePopupMenuAtTheClickPoint) {
  gSettings.LastPos = {100, 50};
  Load(Skin("two.vsf", TwoWindowSkin("main")));
  SendMessage(gMainWindow, wmRButtonUp, mkRButton, MakeLParam(20, 10));
  ASSERT_EQ(OpenMenus().size(), 1u);
  EXPECT_EQ(OpenMenus()[0], gSkin->MenusAndTray.Popup);
  TRect first;
  ASSERT_TRUE(GetMenuItemRect(OpenMenus()[0], 0, first));
  EXPECT_NEAR(first.Left, 120, 2);
  EXPECT_NEAR(first.Top, 60, 2);
  CloseMenus();
}

// The first window of a skin without a window named "main" is built as the
// main window: application window titled "Vesperon" at the saved position,
// owning the others.
TEST_F(MainWindowTest, FirstWindowRenamedMainGetsTheMainWindowsTreatment) {
  gSettings.LastPos = {100, 50};
  TLogCapture log;
  Load(Skin("nomain.vsf", TwoWindowSkin("alpha")));
  EXPECT_NE(log.All().find("the skin has no main window!"), std::string::npos);
  const TWindow& first = *gSkin->Windows[0];
  EXPECT_EQ(first.Name, "main");
  EXPECT_EQ(gMainWindow, first.Handle);
  EXPECT_EQ(GetWindowText(first.Handle), u"Vesperon");
  EXPECT_EQ(GetWindowRect(first.Handle).Left, 100);
  EXPECT_EQ(GetWindowRect(first.Handle).Top, 50);
  EXPECT_EQ(GetOwner(Second()), first.Handle);
  EXPECT_EQ(GetWindowText(Second()), u"Vesperon1");
  EXPECT_FALSE(GetWindowIcon(first.Handle).empty());
}

TEST_F(MainWindowTest, LastPositionIsSignedAndTheMainWindowStartsOnTheScreen) {
  Load(Skin("two.vsf", TwoWindowSkin("main")));
  MoveWindow(gMainWindow, {-30, -20, 610, 460});
  EXPECT_EQ(gSettings.LastPos.x, -30);
  EXPECT_EQ(gSettings.LastPos.y, -20);
  // Far off the screen (as a 16-bit unsigned reading once made it).
  gSettings.LastPos = {65506, -5000};
  Load(Skin("two.vsf", TwoWindowSkin("main")));
  const TRect r = GetWindowRect(gMainWindow);
  EXPECT_LT(r.Left, 1024);
  EXPECT_GT(r.Right, 0);
  EXPECT_LT(r.Top, 768);
  EXPECT_GT(r.Bottom, 0);
}

TEST_F(MainWindowTest, MinimizeHidesOnlyWhileTheTrayIconIsDocked) {
  SetTrayAvailableForTesting(false);
  Load(Skin("two.vsf", TwoWindowSkin("main")));
  Command(idmMinimize);
  EXPECT_TRUE(IsMinimized(gMainWindow));
  Command(idmRestore);
  EXPECT_FALSE(IsMinimized(gMainWindow));
  SetTrayAvailableForTesting(true);  // a tray starts: the icon docks
  Command(idmMinimize);
  EXPECT_FALSE(IsWindowVisible(gMainWindow));
  InjectTrayMouse(wmLButtonDblClk);
  DispatchPendingMessages();
  EXPECT_TRUE(IsWindowVisible(gMainWindow));
  EXPECT_FALSE(IsMinimized(gMainWindow));
  InjectTrayMouse(wmRButtonUp);
  DispatchPendingMessages();
  EXPECT_EQ(OpenMenus().size(), 1u);
  CloseMenus();
}

TEST_F(MainWindowTest, SwitchingSkinsFromTheMenu) {
  const std::filesystem::path first = Skin("a.vsf", TwoWindowSkin("main"));
  const std::filesystem::path second = Skin("b.vsf", TwoWindowSkin("other"));
  Skin("c_damaged.vsf", "not a packed skin at all");
  Load(first);
  MoveWindow(gMainWindow, {300, 200, 940, 680});
  ModifyTrayTip(u"Title - Artist");
  Command(SkinMenuId("b.vsf"));
  EXPECT_EQ(gSettings.LastSkin, U16FromPath(second));
  ASSERT_EQ(gSkin->Windows.size(), 2u);
  EXPECT_EQ(gSkin->Windows[0]->Name, "main");       // "other", renamed
  EXPECT_EQ(GetWindowRect(gMainWindow).Left, 300);  // where the old one stood
  EXPECT_EQ(GetWindowRect(gMainWindow).Top, 200);
  EXPECT_TRUE(GetTrayState().Present);
  EXPECT_EQ(GetTrayState().Tip, u"Vesperon");

  // A damaged file leaves the previous skin on the screen.
  TLogCapture log;
  Command(SkinMenuId("c_damaged.vsf"));
  EXPECT_NE(log.All().find("could not be loaded; going back to the previous skin"),
            std::string::npos);
  EXPECT_EQ(gSettings.LastSkin, U16FromPath(second));
  ASSERT_NE(gMainWindow, 0u);
  EXPECT_TRUE(IsWindowVisible(gMainWindow));
  EXPECT_TRUE(GetTrayState().Present);
  ASSERT_NE(gSkin->MenusAndTray.Popup, 0u);

  // A file gone since the menu was built changes nothing.
  const THandle before = gMainWindow;
  std::filesystem::remove(first);
  Command(SkinMenuId("a.vsf"));
  EXPECT_EQ(gMainWindow, before);
}

TEST_F(MainWindowTest, FailedSwitchWithoutAPreviousFileFallsBackToTheBuiltInSkin) {
  ASSERT_TRUE(gSkin->Load(u""));  // the built-in skin
  const std::filesystem::path damaged = Skin("damaged.vsf", TwoWindowSkin("main").substr(0, 40));
  EXPECT_FALSE(SwitchSkin(*gSkin, U16FromPath(damaged)));
  ASSERT_NE(gMainWindow, 0u);
  EXPECT_TRUE(IsWindowVisible(gMainWindow));
  EXPECT_EQ(gSettings.LastSkin, u"");
  EXPECT_NE(gSkin->LabelByName("ltitle"), nullptr);
  // The load_skin command goes the same way: unload first, then fall back.
  EXPECT_FALSE(gSkinLink->LoadSkin(U16FromPath(damaged)));
  EXPECT_EQ(gSkin->Windows.size(), 1u);
}

}  // namespace
}  // namespace vesperon
