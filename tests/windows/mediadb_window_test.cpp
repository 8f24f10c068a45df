// The media-db window: creation, placement of the list, showing at the
// stored offset from the main window, moving, closing and sizing.
#include "windows/mediadb_window.h"

#include <gtest/gtest.h>

#include "core/settings.h"
#include "core/text.h"
#include "media/mediadb.h"
#include "windows_fixture.h"

namespace vesperon {
namespace {

class MediaDBWindowTest : public THeadlessWindowsTest {
 protected:
  void SetUp() override {
    THeadlessWindowsTest::SetUp();
    gSettings = TSettings{};
    CreateMediaDB();
    for (int i = 0; i < 200; ++i) {
      TMediaEntry e;
      e.Filename = u"/music/song" + IntToU16(1000 + i) + u".mp3";
      e.Title = u"Song " + IntToU16(1000 + i);
      MediaDB()->Add(e);
    }
    Main = MakeMainWindow();
    Window = std::make_unique<TMediaDBWin>(TestLook());
    ASSERT_TRUE(Window->Create(Main));
  }
  void TearDown() override {
    Window.reset();
    FreeMediaDB();
    THeadlessWindowsTest::TearDown();
  }

  // Presses at a window point, moves by (dx, dy) and lets go.
  void Drag(TPointI from, int32_t dx, int32_t dy) {
    InjectMouseButton(1, true, from);
    DispatchPendingMessages();
    InjectMouseMove({from.X + dx, from.Y + dy});
    DispatchPendingMessages();
    InjectMouseButton(1, false, {from.X + dx, from.Y + dy});
    DispatchPendingMessages();
  }
  TRect ListBounds() const {
    const TRect r = GetWindowRect(Window->ListView->Handle);
    const TRect w = GetWindowRect(Window->Handle);
    return {r.Left - w.Left, r.Top - w.Top, r.Right - w.Left, r.Bottom - w.Top};
  }

  THandle Main = 0;
  std::unique_ptr<TMediaDBWin> Window;
};

TEST_F(MediaDBWindowTest, CreatedHiddenWithItsTitleLogLinesAndTheListInsideTheFrame) {
  EXPECT_TRUE(Logged("creating media-db window..."));
  EXPECT_TRUE(Logged("created media-db window"));
  EXPECT_EQ(GetWindowText(Window->Handle), u"Media DB");
  EXPECT_EQ(GetWindowClassName(Window->Handle), "MediaDBWindow");
  EXPECT_FALSE(IsWindowVisible(Window->Handle));
  EXPECT_EQ(GetOwner(Window->Handle), Main);
  // x from 100 to the right frame (640 - 12), y inside the top and bottom frame.
  EXPECT_EQ(ListBounds(), (TRect{100, 12, 628, 468}));
}

TEST_F(MediaDBWindowTest, ShowPutsItAtTheStoredOffsetFromTheMainWindow) {
  Window->Show();
  EXPECT_TRUE(IsWindowVisible(Window->Handle));
  EXPECT_EQ(GetWindowRect(Window->Handle),
            (TRect{210, 160, 850, 640}));  // main (200, 150) + (10, 10)
  Window->Show();
  EXPECT_EQ(GetWindowRect(Window->Handle), (TRect{210, 160, 850, 640}));
  Drag({210 + 50, 160 + 300}, 70, -40);  // between the left frame and the list: a drag
  EXPECT_EQ(GetWindowRect(Window->Handle).Left, 280);
  EXPECT_EQ(gSettings.MediaDbWinOffset.x, 80);
  EXPECT_EQ(gSettings.MediaDbWinOffset.y, -30);
  MoveWindow(Main, {500, 400, 700, 600});
  Window->Show();
  EXPECT_EQ(GetWindowRect(Window->Handle), (TRect{580, 370, 1220, 850}));
}

TEST_F(MediaDBWindowTest, ClosingHidesAndShowingAgainKeepsScrollAndSelection) {
  Window->Show();
  Window->ListView->SetSelected(42);
  Window->ListView->Scroll(37);
  SendMessage(Window->Handle, wmClose);
  EXPECT_FALSE(IsWindowVisible(Window->Handle));
  Window->Show();
  EXPECT_TRUE(IsWindowVisible(Window->Handle));
  EXPECT_EQ(Window->ListView->Selected, 42);
  EXPECT_EQ(Window->ListView->TopIndex, 37);
}

TEST_F(MediaDBWindowTest, SizingKeepsTheListClearOfTheFrameAndStopsAtTheMinimum) {
  Window->Show();
  Drag({210 + 635, 160 + 475}, -200, -100);  // the bottom-right corner
  EXPECT_EQ(GetWindowRect(Window->Handle), (TRect{210, 160, 650, 540}));
  EXPECT_EQ(ListBounds(), (TRect{100, 12, 428, 368}));  // the same rule as at creation
  TRegion shape;
  ASSERT_TRUE(GetWindowRegion(Window->Handle, shape));
  EXPECT_EQ(shape, Window->Region);
  EXPECT_FALSE(shape.Contains(439, 379));  // the cut corner follows the size
  Drag({210 + 435, 160 + 375}, -1000, -1000);
  EXPECT_EQ(GetWindowRect(Window->Handle), (TRect{210, 160, 310, 210}));
  EXPECT_EQ(ListBounds().Width(), 0);  // no room left: the list is empty, not negative
}

TEST_F(MediaDBWindowTest, KeysTypedIntoTheWindowGoToTheList) {
  Window->Show();
  SetFocus(Window->Handle);
  EXPECT_EQ(GetFocus(), Window->ListView->Handle);
  InjectKey(true, vkNext, 0);
  DispatchPendingMessages();
  EXPECT_EQ(Window->ListView->TopIndex, 20);
}

}  // namespace
}  // namespace vesperon
