// The about box and the video window as a loaded skin has them: app fills
// the skin's window factories, the skin creates the windows at load, the
// command strings show them and unloading frees them.
#include <gtest/gtest.h>

#include "app/subsystems.h"
#include "core/commands.h"
#include "core/paths.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "skin/skin.h"
#include "test_folder.h"

using namespace vesperon;
using vesperon::testing::TLogRecorder;
using vesperon::testing::TTestFolder;

namespace {

constexpr TPointI kScreenCentre{512, 384};

class SkinWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClosePlatform();
    ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
    SetScreenSizeForTesting(1024, 768);
    UseManualClockForTesting(true);
    SetExecutableDirForTesting(Folder.Path);
    ASSERT_TRUE(app::CreateAndLoadSkin(u"standard"));  // not installed: the built-in skin
    ASSERT_NE(gMainWindow, 0u);
  }
  void TearDown() override {
    app::FreeSkin();
    ClosePlatform();
    UseManualClockForTesting(false);
    ClearExecutableDirForTesting();
  }

  THandle AboutBox() {
    const THandle w = WindowAtPoint(kScreenCentre);
    return GetWindowText(w) == u"Vesperon-About" ? w : 0;
  }

  void Run(int ticks) {
    for (int i = 0; i < ticks; ++i) {
      AdvanceClockForTesting(25);
      DispatchPendingMessages();
    }
  }

  TTestFolder Folder;
  TLogRecorder Log;
};

TEST_F(SkinWindowsTest, ShowWindowAboutShowsTheScrollingBoxAboveTheMainWindow) {
  EXPECT_EQ(AboutBox(), 0u) << "created hidden";
  RunCommand(u"show_window(about)");
  const THandle about = AboutBox();
  ASSERT_NE(about, 0u);
  EXPECT_EQ(GetOwner(about), gMainWindow);
  DispatchPendingMessages();
  const TSurface before = *GetWindowSurface(about);
  Run(20);
  const TSurface& after = *GetWindowSurface(about);
  int moved = 0;
  for (int32_t y = 70; y < 245; ++y) {
    for (int32_t x = 0; x < after.Width(); ++x) moved += before.At(x, y) != after.At(x, y);
  }
  EXPECT_GT(moved, 50) << "the lines rise on the main loop's timer";
}

TEST_F(SkinWindowsTest, UnloadingTheSkinFreesTheAboutBoxAndItsTimer) {
  RunCommand(u"show_window(about)");
  ASSERT_NE(AboutBox(), 0u);
  app::FreeSkin();
  EXPECT_EQ(AboutBox(), 0u);
  Run(3);                             // a tick after the unload would reach a freed box
  RunCommand(u"show_window(about)");  // no skin: nothing happens
  EXPECT_EQ(AboutBox(), 0u);
}

TEST_F(SkinWindowsTest, ASwitchedSkinHasItsOwnAboutBox) {
  RunCommand(u"show_window(about)");
  ASSERT_NE(AboutBox(), 0u);
  ASSERT_TRUE(app::CreateAndLoadSkin(u"standard"));
  EXPECT_EQ(AboutBox(), 0u) << "the new skin's box starts hidden";
  RunCommand(u"show_window(about)");
  const THandle about = AboutBox();
  ASSERT_NE(about, 0u);
  EXPECT_EQ(GetOwner(about), gMainWindow);
}

// The first visible top-level window titled "Video", or 0.
THandle VisibleVideoWindow() {
  for (int32_t y = 0; y < 768; y += 8) {
    for (int32_t x = 0; x < 1024; x += 8) {
      const THandle w = WindowAtPoint({x, y});
      if (w != 0 && GetWindowText(w) == u"Video") return w;
    }
  }
  return 0;
}

TEST_F(SkinWindowsTest, ShowWindowVideoShowsItAtTheMainWindowPlusTwenty) {
  EXPECT_EQ(VisibleVideoWindow(), 0u) << "created hidden";
  RunCommand(u"show_window(video)");
  const THandle video = VisibleVideoWindow();
  ASSERT_NE(video, 0u);
  EXPECT_EQ(GetOwner(video), gMainWindow);
  const TRect main = GetWindowRect(gMainWindow);
  EXPECT_EQ(GetWindowRect(video),
            (TRect{main.Left + 20, main.Top + 20, main.Left + 660, main.Top + 500}));
  SendMessage(video, wmClose);
  EXPECT_FALSE(IsWindowVisible(video));
  app::FreeSkin();
  EXPECT_FALSE(IsWindow(video)) << "unloading the skin frees it";
}

}  // namespace
