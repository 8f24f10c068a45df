// The splash window: its place, its picture and the progress line drawn over
// it, on the headless layer.
#include "windows/splash.h"

#include "picture_check.h"
#include "platform_fixture.h"

namespace vesperon {
namespace {

using testing::DifferingPixels;
using testing::TestPicture;

class SplashTest : public THeadlessTest {
 protected:
  TSurface& Pixels() { return *GetWindowSurface(Splash.Handle()); }
  TSplash Splash;
};

TEST_F(SplashTest, ShowsThePictureTopMostInTheMiddleOfTheScreen) {
  Splash.Show(TestPicture(480, 320));
  const THandle w = Splash.Handle();
  ASSERT_NE(w, 0u);
  EXPECT_EQ(GetWindowRect(w), (TRect{272, 224, 752, 544}));
  EXPECT_EQ(GetWindowText(w), u"Vesperon-Splash");
  EXPECT_EQ(GetWindowClassName(w), "Splash");
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(GetFocus(), w);
  EXPECT_EQ(WindowAtPoint({512, 384}), w);
  EXPECT_EQ(DifferingPixels(Pixels(), TSurface::FromImage(TestPicture(480, 320)), {0, 0, 480, 320}),
            0);
  // The surface keeps the picture when the window is repainted.
  InvalidateRect(w);
  DispatchPendingMessages();
  EXPECT_EQ(DifferingPixels(Pixels(), TSurface::FromImage(TestPicture(480, 320)), {0, 0, 480, 320}),
            0);
}

TEST_F(SplashTest, EachLineReplacesTheOneBefore) {
  Splash.Show(TestPicture(480, 320));
  const TSurface picture = TSurface::FromImage(TestPicture(480, 320));
  const TRect box = TSplash::kTextBox;
  const uint32_t presented = PresentCount(Splash.Handle());

  Splash.Text(u"reading configuration...");
  const int first = DifferingPixels(Pixels(), picture, box);
  EXPECT_GT(first, 50) << "the line's pixels are in the box";
  EXPECT_EQ(DifferingPixels(Pixels(), picture, {0, 0, 480, box.Top}), 0) << "nothing above the box";
  EXPECT_GT(PresentCount(Splash.Handle()), presented) << "drawn at once, without a paint message";
  const TSurface afterFirst = Pixels();

  Splash.Text(u"initializing audio...");
  EXPECT_GT(DifferingPixels(Pixels(), afterFirst, box), 0);
  Splash.Text(u"");
  EXPECT_EQ(DifferingPixels(Pixels(), picture, {0, 0, 480, 320}), 0)
      << "the earlier lines are erased completely";
}

TEST_F(SplashTest, ALineWiderThanTheBoxLeavesNothingBehind) {
  Splash.Show(TestPicture(480, 320));
  const TSurface picture = TSurface::FromImage(TestPicture(480, 320));
  Splash.Text(u"a progress line much longer than the box it starts in, reaching to the right");
  const TRect beyond{TSplash::kTextBox.Right, TSplash::kTextBox.Top, 480, TSplash::kTextBox.Bottom};
  ASSERT_GT(DifferingPixels(Pixels(), picture, beyond), 0);
  Splash.Text(u"loading skin");
  EXPECT_EQ(DifferingPixels(Pixels(), picture, beyond), 0);
}

TEST_F(SplashTest, OnlyCloseEndsIt) {
  Splash.Show(TestPicture(480, 320));
  const THandle w = Splash.Handle();
  SendMessage(w, wmClose);
  SendMessage(w, wmChar, 'x');
  ASSERT_TRUE(IsWindow(w));
  Splash.Close();
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(Splash.Handle(), 0u);
  Splash.Text(u"after the end");  // nothing to draw on, no fault
  Splash.Show(TestPicture(480, 320));
  EXPECT_TRUE(IsWindow(Splash.Handle())) << "a later start shows it again";
}

TEST_F(SplashTest, APictureThatDoesNotDecodeLeavesTheWindowGrey) {
  Splash.Show(TImage{});
  ASSERT_NE(Splash.Handle(), 0u);
  EXPECT_EQ(Pixels().At(10, 10), MakeColor(0xD4, 0xD0, 0xC8));
  Splash.Text(u"loading key table");
  const TSurface grey(480, 320, MakeColor(0xD4, 0xD0, 0xC8));
  EXPECT_GT(DifferingPixels(Pixels(), grey, TSplash::kTextBox), 0) << "the line is still written";
}

TEST_F(SplashTest, CentredOnAnOddScreen) {
  SetScreenSizeForTesting(1281, 801);
  Splash.Show(TestPicture(480, 320));
  EXPECT_EQ(GetWindowRect(Splash.Handle()), (TRect{400, 240, 880, 560}));
}

}  // namespace
}  // namespace vesperon
