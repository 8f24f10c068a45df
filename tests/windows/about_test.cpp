// The about box: its scrolling lines, masked by the picture's top and bottom
// bands, its one timer, and how a click and the skin's unloading end it.
#include "windows/about.h"

#include "picture_check.h"
#include "platform_fixture.h"

namespace vesperon {
namespace {

using testing::DifferingPixels;
using testing::FirstDifferingRow;
using testing::TestPicture;

class AboutTest : public THeadlessTest {
 protected:
  void SetUp() override {
    THeadlessTest::SetUp();
    TWindowParams main;
    main.ClassName = "Main";
    main.Bounds = {10, 10, 210, 110};
    main.Flags = wfVisible;
    Main = CreateWindow(main);
    ASSERT_TRUE(About.Create(Main, TestPicture(240, 320)));
  }

  // Lets the layer's clock run for `ticks` timer periods, one at a time.
  void Run(int ticks) {
    for (int i = 0; i < ticks; ++i) {
      AdvanceClockForTesting(TAbout::kTickMs);
      DispatchPendingMessages();
    }
  }

  TSurface& Pixels() { return *GetWindowSurface(About.Handle()); }
  // The middle band, where the lines show.
  static constexpr TRect kMiddle{0, TAbout::kTopBand, 240, 320 - TAbout::kBottomBand};

  THandle Main = 0;
  TAbout About;
};

TEST_F(AboutTest, CreatedHiddenInTheMiddleOfTheScreenAboveItsOwner) {
  const THandle w = About.Handle();
  EXPECT_FALSE(IsWindowVisible(w));
  EXPECT_EQ(GetWindowRect(w), (TRect{392, 224, 632, 544}));
  EXPECT_EQ(GetWindowText(w), u"Vesperon-About");
  EXPECT_EQ(GetWindowClassName(w), "About");
  EXPECT_EQ(GetOwner(w), Main);
  EXPECT_EQ(About.TimerId(), 0u);
  EXPECT_EQ(TAbout::Lines()[0], u"Vesperon");
  EXPECT_EQ(TAbout::Lines()[1], u"Version 4.0 Build 8");
}

TEST_F(AboutTest, TheLinesRiseByTheStepEveryTickAndStartAgainFromTheBottom) {
  About.Show();
  EXPECT_TRUE(IsWindowVisible(About.Handle()));
  EXPECT_EQ(GetFocus(), About.Handle());
  EXPECT_EQ(About.Offset(), 200.0);
  Run(1);
  EXPECT_EQ(About.Offset(), 199.25);
  Run(465);
  EXPECT_EQ(About.Offset(), 200.0 - 466 * 0.75);
  Run(1);  // the 467th tick passes -150: the lines start again at the picture's height
  EXPECT_EQ(About.Offset(), 320.0);
  Run(1);
  EXPECT_EQ(About.Offset(), 319.25);
}

TEST_F(AboutTest, TheTextMovesOnlyInTheMiddleBand) {
  const TSurface picture = TSurface::FromImage(TestPicture(240, 320));
  About.Show();
  DispatchPendingMessages();
  // Line 0 is written from y = offset + 14 = 214 on.
  const int32_t firstRow = FirstDifferingRow(Pixels(), picture, kMiddle);
  EXPECT_GE(firstRow, 214);
  EXPECT_LT(firstRow, 228);
  Run(20);  // 15 pixels up
  EXPECT_EQ(FirstDifferingRow(Pixels(), picture, kMiddle), firstRow - 15);
  // Half a minute later the first lines have slid under the top band.
  Run(300);
  EXPECT_EQ(DifferingPixels(Pixels(), picture, {0, 0, 240, TAbout::kTopBand}), 0);
  EXPECT_EQ(DifferingPixels(Pixels(), picture, {0, 320 - TAbout::kBottomBand, 240, 320}), 0);
  EXPECT_GT(DifferingPixels(Pixels(), picture, kMiddle), 0);
}

TEST_F(AboutTest, ShowingItAgainRestartsWithOneTimer) {
  About.Show();
  const uint32_t first = About.TimerId();
  ASSERT_NE(first, 0u);
  Run(10);
  About.Show();
  EXPECT_EQ(About.Offset(), 200.0);
  EXPECT_FALSE(KillTimer(0, first)) << "the first timer was stopped";
  Run(4);
  EXPECT_EQ(About.Offset(), 197.0) << "one step per tick, not two";
}

TEST_F(AboutTest, AClickHidesItAndStopsItsTimer) {
  About.Show();
  DispatchPendingMessages();
  const uint32_t timer = About.TimerId();
  InjectMouseButton(1, true, {500, 400});
  InjectMouseButton(1, false, {500, 400});
  DispatchPendingMessages();
  EXPECT_FALSE(IsWindowVisible(About.Handle()));
  EXPECT_TRUE(IsWindow(About.Handle())) << "hidden, not destroyed";
  EXPECT_EQ(About.TimerId(), 0u);
  EXPECT_FALSE(KillTimer(0, timer));
  const double offset = About.Offset();
  Run(10);
  EXPECT_EQ(About.Offset(), offset);
  About.Show();
  EXPECT_TRUE(IsWindowVisible(About.Handle()));
  Run(1);
  EXPECT_EQ(About.Offset(), 199.25);
}

TEST_F(AboutTest, TheKeyboardAndTheWindowManagerDoNotCloseIt) {
  About.Show();
  SendMessage(About.Handle(), wmClose);
  InjectKey(true, vkEscape, 9, 0x1B);
  DispatchPendingMessages();
  EXPECT_TRUE(IsWindowVisible(About.Handle()));
}

TEST_F(AboutTest, DestroyingItStopsItsTimer) {
  About.Show();
  const uint32_t timer = About.TimerId();
  const THandle w = About.Handle();
  About.Destroy();
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(KillTimer(0, timer));
  Run(3);  // no tick reaches the destroyed box
  EXPECT_EQ(About.Offset(), 200.0);
}

TEST_F(AboutTest, GoingWithItsOwnerStopsItsTimer) {
  About.Show();
  const uint32_t timer = About.TimerId();
  DestroyWindow(Main);
  EXPECT_EQ(About.Handle(), 0u);
  EXPECT_FALSE(KillTimer(0, timer));
  About.Show();  // nothing left to show: no fault
  EXPECT_EQ(About.TimerId(), 0u);
}

TEST_F(AboutTest, WithoutAPictureItShowsGreyAndScrollsNothing) {
  TAbout plain;
  ASSERT_TRUE(plain.Create(Main, TImage{}));
  EXPECT_EQ(GetWindowRect(plain.Handle()), (TRect{392, 224, 632, 544}));
  plain.Show();
  Run(2);
  const TSurface grey(240, 320, MakeColor(0xD4, 0xD0, 0xC8));
  EXPECT_EQ(DifferingPixels(*GetWindowSurface(plain.Handle()), grey, {0, 0, 240, 320}), 0);
}

}  // namespace
}  // namespace vesperon
