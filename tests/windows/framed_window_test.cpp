// The framed-window base: zones, minimum size, outline, frame tiling, and a
// skin without standard-window images.
#include "windows/framed_window.h"

#include <gtest/gtest.h>

#include "skin/skin.h"
#include "windows_fixture.h"

namespace vesperon {
namespace {

const TFramedWindowKind kTestKind{"TestFramedWindow", u"Framed", "creating framed window...",
                                  "framed window class already exists",
                                  "could not create framed window! Error: "};

class FramedWindowTest : public THeadlessWindowsTest {
 protected:
  // A shown framed window at (300, 200).
  TFramedWindow& ShownWindow(TFramedWindowLook look = TestLook()) {
    Window = std::make_unique<TFramedWindow>(std::move(look));
    EXPECT_TRUE(Window->Create(kTestKind, 0));
    Window->ShowAt({300, 200});
    DispatchPendingMessages();
    return *Window;
  }
  std::unique_ptr<TFramedWindow> Window;
};

TEST(FramedZoneTest, NineZonesFromTheCornerSize) {
  // 640 x 480 with 12 x 12 corners.
  const auto zone = [](int32_t x, int32_t y) { return FramedZoneCommand(x, y, 640, 480, 12, 12); };
  EXPECT_EQ(zone(5, 5), scSize + seTopLeft);
  EXPECT_EQ(zone(300, 5), scSize + seTop);
  EXPECT_EQ(zone(635, 5), scSize + seTopRight);
  EXPECT_EQ(zone(5, 200), scSize + seLeft);
  EXPECT_EQ(zone(50, 200), scMove + 2u);  // between the left edge and the list: a drag
  EXPECT_EQ(zone(635, 200), scSize + seRight);
  EXPECT_EQ(zone(5, 475), scSize + seBottomLeft);
  EXPECT_EQ(zone(300, 475), scSize + seBottom);
  EXPECT_EQ(zone(635, 475), scSize + seBottomRight);
  // The borders: x = E and x = Width - E are already the middle column.
  EXPECT_EQ(zone(12, 12), scMove + 2u);
  EXPECT_EQ(zone(628, 468), scMove + 2u);
  EXPECT_EQ(zone(629, 469), scSize + seBottomRight);
}

TEST(FramedZoneTest, MinimumSizeMovesTheDraggedEdgeBack) {
  TRect r{100, 100, 130, 120};  // 30 x 20
  EnforceMinimumFramedSize(seBottomRight, r);
  EXPECT_EQ(r, (TRect{100, 100, 200, 150}));
  r = {100, 100, 130, 120};
  EnforceMinimumFramedSize(seTopLeft, r);
  EXPECT_EQ(r, (TRect{30, 70, 130, 120}));
  r = {100, 100, 130, 120};
  EnforceMinimumFramedSize(seLeft, r);  // only the dragged edge moves
  EXPECT_EQ(r, (TRect{30, 100, 130, 120}));
  r = {100, 100, 130, 120};
  EnforceMinimumFramedSize(seBottom, r);
  EXPECT_EQ(r, (TRect{100, 100, 130, 150}));
  r = {100, 100, 400, 300};  // large enough: unchanged
  EnforceMinimumFramedSize(seTopRight, r);
  EXPECT_EQ(r, (TRect{100, 100, 400, 300}));
}

TEST_F(FramedWindowTest, SizingFromTheBottomRightCornerStopsAtTheMinimum) {
  TFramedWindow& w = ShownWindow();
  const TPointI corner{300 + 635, 200 + 475};
  InjectMouseButton(1, true, corner);
  DispatchPendingMessages();
  InjectMouseMove({100, 100});  // far beyond the top-left corner
  DispatchPendingMessages();
  InjectMouseButton(1, false, {100, 100});
  DispatchPendingMessages();
  EXPECT_EQ(GetWindowRect(w.Handle), (TRect{300, 200, 400, 250}));
  EXPECT_EQ(w.Width, 100);
  EXPECT_EQ(w.Height, 50);
}

TEST_F(FramedWindowTest, DragInTheInteriorMovesTheWindow) {
  TFramedWindow& w = ShownWindow();
  InjectMouseButton(1, true, {300 + 50, 200 + 200});
  DispatchPendingMessages();
  InjectMouseMove({300 + 90, 200 + 230});
  DispatchPendingMessages();
  InjectMouseButton(1, false, {300 + 90, 200 + 230});
  DispatchPendingMessages();
  EXPECT_EQ(GetWindowRect(w.Handle), (TRect{340, 230, 980, 710}));
}

TEST_F(FramedWindowTest, OutlineIsTheFramedWindowRegionAndFollowsTheSize) {
  TFramedWindow& w = ShownWindow();
  // The test masks cut a 4 x 4 square off every corner.
  const auto expected = [](int32_t width, int32_t height) {
    return TRegion(std::vector<TRect>{
        {4, 0, width - 4, 4}, {0, 4, width, height - 4}, {4, height - 4, width - 4, height}});
  };
  TRegion shape;
  ASSERT_TRUE(GetWindowRegion(w.Handle, shape));
  EXPECT_EQ(shape, expected(640, 480));
  EXPECT_EQ(shape, w.Region);
  const TFramedWindowLook look = TestLook();
  const TCornerMasks masks{&look.TopLeftMask, &look.TopRightMask, &look.BottomLeftMask,
                           &look.BottomRightMask};
  EXPECT_EQ(shape,
            FramedWindowRegion(640, 480, masks));  // the one framed-window shape of the layer
  EXPECT_FALSE(shape.Contains(0, 0));              // the white corner square is cut away
  EXPECT_FALSE(shape.Contains(639, 479));
  EXPECT_TRUE(shape.Contains(4, 4));

  MoveWindow(w.Handle, {300, 200, 600, 400});
  ASSERT_TRUE(GetWindowRegion(w.Handle, shape));
  EXPECT_EQ(shape, expected(300, 200));
  EXPECT_FALSE(shape.Contains(299, 199));
  EXPECT_TRUE(shape.Contains(295, 195));
}

TEST_F(FramedWindowTest, FrameIsTiledFromTheEdgesWithCornersOnTop) {
  TFramedWindow& w = ShownWindow();
  MoveWindow(w.Handle, {300, 200, 300 + 203, 200 + 107});  // sizes that are no multiple of 12
  DispatchPendingMessages();
  const TSurface& s = *GetWindowSurface(w.Handle);
  EXPECT_EQ(s.At(100, 5), kTopColor);
  EXPECT_EQ(s.At(190, 5), kTopColor);  // the last, partial tile
  EXPECT_EQ(s.At(100, 100), kBottomColor);
  EXPECT_EQ(s.At(5, 50), kLeftColor);
  EXPECT_EQ(s.At(198, 90), kRightColor);
  EXPECT_EQ(s.At(198, 5), kCornerColor);  // the top-right corner covers the last top tile
  EXPECT_EQ(s.At(5, 102), kCornerColor);
  EXPECT_EQ(s.At(100, 50), kBgColor);  // the interior is the background
}

TEST_F(FramedWindowTest, SkinWithoutFrameImagesGivesAPlainWindow) {
  TFramedWindowLook bare;
  bare.BgColor = kBgColor;
  TFramedWindow& w = ShownWindow(bare);
  MoveWindow(w.Handle, {300, 200, 450, 300});
  DispatchPendingMessages();
  EXPECT_EQ(w.CornerWidth, 0);
  const TSurface& s = *GetWindowSurface(w.Handle);
  for (const TPointI p : {TPointI{0, 0}, TPointI{75, 0}, TPointI{149, 99}, TPointI{75, 50}}) {
    EXPECT_EQ(s.At(p.X, p.Y), kBgColor) << p.X << "," << p.Y;
  }
  TRegion shape;
  if (GetWindowRegion(w.Handle, shape)) {
    EXPECT_EQ(shape, TRegion(TRect{0, 0, 150, 100}));  // a shape, if any, is the whole window
  }
  // Without corners every press is a drag.
  EXPECT_EQ(FramedZoneCommand(0, 0, 150, 100, 0, 0), scMove + 2u);
}

TEST_F(FramedWindowTest, CloseHidesAndShowAgainKeepsTheWindow) {
  TFramedWindow& w = ShownWindow();
  const THandle handle = w.Handle;
  SendMessage(handle, wmClose);
  EXPECT_TRUE(IsWindow(handle));
  EXPECT_FALSE(w.Visible());
  w.ShowAt({310, 210});
  EXPECT_TRUE(w.Visible());
  EXPECT_EQ(GetWindowRect(handle), (TRect{310, 210, 950, 690}));
}

TEST_F(FramedWindowTest, CreationLogsAndASecondWindowOfTheKindFindsItsClassTaken) {
  TFramedWindow first(TestLook());
  ASSERT_TRUE(first.Create(kTestKind, 0));
  EXPECT_TRUE(Logged("creating framed window..."));
  EXPECT_FALSE(Logged("class already exists"));
  EXPECT_FALSE(first.Visible());  // created hidden
  {
    TFramedWindow second(TestLook());
    ASSERT_TRUE(second.Create(kTestKind, 0));
    EXPECT_TRUE(Logged("framed window class already exists"));
  }
  first.Destroy();
  EXPECT_EQ(first.Handle, 0u);
  LogLines.clear();
  TFramedWindow third(TestLook());
  ASSERT_TRUE(third.Create(kTestKind, 0));
  EXPECT_FALSE(Logged("class already exists"));  // destroying unregistered it
}

TEST_F(FramedWindowTest, StartsAtTheMainWindowsCornerPlusTwentyAndIsOwnedByIt) {
  const THandle main = MakeMainWindow();
  TFramedWindow w(TestLook());
  ASSERT_TRUE(w.Create(kTestKind, main));
  EXPECT_EQ(GetWindowRect(w.Handle), (TRect{220, 170, 860, 650}));
  EXPECT_EQ(GetOwner(w.Handle), main);
  EXPECT_EQ(GetWindowText(w.Handle), u"Framed");
}

TEST(FramedWindowLookTest, TakesTheStandardWindowsImagesByNameAndItsColours) {
  TSkin skin;
  const auto add = [&](const char* name, TColor color) {
    TSkinImage image;
    image.Image = SolidImage(12, 12, color);
    image.Name = name;
    skin.Images.push_back(image);
  };
  add("l.bmp", kLeftColor);
  add("t.bmp", kTopColor);
  add("tl.bmp", kCornerColor);
  add("tlm.bmp", 0);
  TStandardWindow& w = skin.StandardWindow;
  w.Left = u"l.bmp";
  w.Top = u"t.bmp";
  w.TopLeft = u"tl.bmp";
  w.TopLeftMask = u"tlm.bmp";
  w.Right = u"missing.bmp";
  w.BgColor = {1, 2, 3, 0};
  w.ScrollColor = {4, 5, 6, 0};
  w.ButtonFontColor = {7, 8, 9, 0};
  const TFramedWindowLook look = FramedWindowLookOf(skin);
  EXPECT_EQ(look.Left.Pixels, SolidImage(12, 12, kLeftColor).Pixels);
  EXPECT_EQ(look.Top.Pixels, SolidImage(12, 12, kTopColor).Pixels);
  EXPECT_EQ(look.TopLeft.Width, 12);
  EXPECT_EQ(look.TopLeftMask.Height, 12);
  EXPECT_EQ(look.Right.Width, 0);  // a missing image is empty: nothing is drawn for it
  EXPECT_EQ(look.Bottom.Width, 0);
  EXPECT_EQ(look.BgColor, MakeColor(1, 2, 3));
  EXPECT_EQ(look.ScrollColor, MakeColor(4, 5, 6));
  EXPECT_EQ(look.ButtonFontColor, MakeColor(7, 8, 9));
}

}  // namespace
}  // namespace vesperon
