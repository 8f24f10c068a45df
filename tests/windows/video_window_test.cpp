// The video window: an empty framed window shown at the main window's corner
// + 20 every time, whose outline follows its size.
#include "windows/video_window.h"

#include <gtest/gtest.h>

#include "core/settings.h"
#include "windows_fixture.h"

namespace vesperon {
namespace {

class VideoWindowTest : public THeadlessWindowsTest {
 protected:
  void SetUp() override {
    THeadlessWindowsTest::SetUp();
    Main = MakeMainWindow();
    ASSERT_TRUE(Video.Create(Main));
  }
  THandle Main = 0;
  TVideoWin Video{TestLook()};
};

TEST_F(VideoWindowTest, CreatedHiddenAndEmptyWithItsClassAndLogLines) {
  const THandle w = Video.Handle;
  EXPECT_FALSE(IsWindowVisible(w));
  EXPECT_EQ(GetWindowClassName(w), "VideoWindow");
  EXPECT_EQ(GetWindowText(w), u"Video");
  EXPECT_EQ(GetOwner(w), Main);
  EXPECT_EQ(GetWindowRect(w), (TRect{220, 170, 860, 650}));
  EXPECT_TRUE(Logged("creating video window..."));
  EXPECT_FALSE(Logged("video window class already exists"));
  TVideoWin second(TestLook());
  ASSERT_TRUE(second.Create(Main));
  EXPECT_TRUE(Logged("video window class already exists"));

  // Nothing inside: the frame around the skin's background colour.
  Video.Show();
  DispatchPendingMessages();
  const TSurface& s = *GetWindowSurface(w);
  EXPECT_EQ(s.At(320, 240), kBgColor);
  EXPECT_EQ(s.At(320, 5), kTopColor);
  EXPECT_EQ(s.At(320, 475), kBottomColor);
  EXPECT_EQ(s.At(5, 240), kLeftColor);
  EXPECT_EQ(s.At(635, 240), kRightColor);
  EXPECT_EQ(WindowAtPoint({540, 410}), w) << "no child control inside";
}

TEST_F(VideoWindowTest, EveryShowReturnsToTheMainWindowPlusTwenty) {
  Video.Show();
  EXPECT_TRUE(IsWindowVisible(Video.Handle));
  EXPECT_EQ(GetWindowRect(Video.Handle), (TRect{220, 170, 860, 650}));
  // The user drags it away by its middle zone and closes it.
  InjectMouseButton(1, true, {500, 400});
  DispatchPendingMessages();
  InjectMouseMove({650, 480});
  DispatchPendingMessages();
  InjectMouseButton(1, false, {650, 480});
  DispatchPendingMessages();
  ASSERT_EQ(GetWindowRect(Video.Handle), (TRect{370, 250, 1010, 730}));
  SendMessage(Video.Handle, wmClose);
  EXPECT_FALSE(IsWindowVisible(Video.Handle));
  EXPECT_TRUE(IsWindow(Video.Handle)) << "closing hides";

  Video.Show();
  EXPECT_EQ(GetWindowRect(Video.Handle), (TRect{220, 170, 860, 650}));
  // It follows the main window, not the place it was last.
  MoveWindow(Main, {50, 60, 250, 260});
  Video.Show();
  EXPECT_EQ(GetWindowRect(Video.Handle), (TRect{70, 80, 710, 560}));
}

TEST_F(VideoWindowTest, TheOutlineFollowsAResizeAndTheSizeIsKept) {
  Video.Show();
  // The user drags the bottom-right corner 100 pixels left and 80 up.
  InjectMouseButton(1, true, {853, 643});
  DispatchPendingMessages();
  InjectMouseMove({753, 563});
  DispatchPendingMessages();
  InjectMouseButton(1, false, {753, 563});
  DispatchPendingMessages();
  ASSERT_EQ(GetWindowRect(Video.Handle), (TRect{220, 170, 760, 570}));
  EXPECT_EQ(Video.Width, 540);
  EXPECT_EQ(Video.Height, 400);
  TRegion shape;
  ASSERT_TRUE(GetWindowRegion(Video.Handle, shape));
  EXPECT_EQ(shape.Bounds(), (TRect{0, 0, 540, 400}));
  EXPECT_FALSE(shape.Contains(539, 399)) << "the bottom-right corner is cut at the new size";
  EXPECT_TRUE(shape.Contains(530, 390));
  EXPECT_FALSE(shape.Contains(600, 450));

  Video.Hide();
  Video.Show();
  EXPECT_EQ(GetWindowRect(Video.Handle), (TRect{220, 170, 760, 570}));
}

TEST_F(VideoWindowTest, WithoutAMainWindowItUsesTheStoredPosition) {
  gSettings.LastPos = {100, 40};
  TVideoWin alone(TestLook());
  ASSERT_TRUE(alone.Create(0));
  alone.Show();
  EXPECT_EQ(GetWindowRect(alone.Handle), (TRect{120, 60, 760, 540}));
}

}  // namespace
}  // namespace vesperon
