// A first start of the real executable on the test X server (the Xvfb of
// scripts/run-tests.sh, named by VESPERON_TEST_DISPLAY) in an empty program
// folder: the splash shows its picture and progress lines, then the
// configuration assistant stands above everything until an XTEST click on
// "Next" closes it, and the player runs on.
#include <chrono>
#include <thread>

#include "resources/pictures/pictures.h"
#include "skin/bmp.h"
// After every other header: Xlib's macros (None, Bool, Status) break them.
#include "program_x11.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>

namespace {

using vesperon::testing::TFoundWindow;

class FirstStartX11Test : public vesperon::testing::TProgramX11Test {
 protected:
  // A first start: no settings, no files beside the executable.
  void Start() { TProgramX11Test::Start({}); }

  bool HasState(Window w, const char* state) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom wanted = XInternAtom(D, state, False);
    bool found = false;
    if (XGetWindowProperty(D, w, XInternAtom(D, "_NET_WM_STATE", False), 0, 64, False, XA_ATOM,
                           &type, &format, &count, &after, &data) == Success &&
        data) {
      const Atom* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < count; ++i) found = found || atoms[i] == wanted;
      XFree(data);
    }
    return found;
  }

  // How many pixels of the rows [top, bottom) of the window differ from the
  // picture; -1 when the window cannot be read.
  int Differing(Window w, const vesperon::TImage& picture, int top, int bottom) {
    XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XImage* image = XGetImage(D, w, 0, top, picture.Width, bottom - top, AllPlanes, ZPixmap);
    XSync(D, False);
    XSetErrorHandler(old);
    if (!image) return -1;
    int n = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = 0; x < picture.Width; ++x) {
        const uint8_t* p = picture.Pixel(x, y);
        const unsigned long want = (static_cast<unsigned long>(p[2]) << 16) | (p[1] << 8) | p[0];
        n += (XGetPixel(image, x, y - top) & 0xFFFFFF) != want;
      }
    }
    XDestroyImage(image);
    return n;
  }
};

TEST_F(FirstStartX11Test, SplashThenAssistantUntilNext) {
  vesperon::TImage splash;
  std::string error;
  ASSERT_TRUE(vesperon::DecodeBmp(vesperon::SplashPicture(), splash, error)) << error;
  Start();

  // The splash: in the middle of the screen, the picture around the
  // progress line, and a progress line drawn over the picture.
  TFoundWindow found;
  ASSERT_TRUE(
      WaitFor([&] { return (found = Find("Vesperon-Splash")).Viewable; }, std::chrono::seconds(20)))
      << "no splash window";
  const int screenW = DisplayWidth(D, DefaultScreen(D));
  const int screenH = DisplayHeight(D, DefaultScreen(D));
  EXPECT_EQ(found.X, screenW / 2 - 240);
  EXPECT_EQ(found.Y, screenH / 2 - 160);
  EXPECT_EQ(found.Width, 480);
  EXPECT_EQ(found.Height, 320);
  EXPECT_TRUE(HasState(found.Id, "_NET_WM_STATE_ABOVE"));
  const Window splashId = found.Id;
  EXPECT_TRUE(
      WaitFor([&] { return Differing(splashId, splash, 0, 215) == 0; }, std::chrono::seconds(5)))
      << "the splash picture above the progress line";
  EXPECT_TRUE(
      WaitFor([&] { return Differing(splashId, splash, 215, 265) > 20; }, std::chrono::seconds(5)))
      << "a progress line on the splash";

  // The assistant: centred, above every other window, until "Next".
  ASSERT_TRUE(WaitFor([&] { return (found = Find("Configuration-Assistent")).Viewable; },
                      std::chrono::seconds(20)))
      << "no assistant window";
  EXPECT_EQ(Find("Vesperon-Splash").Id, 0u) << "the splash is gone before the assistant opens";
  EXPECT_EQ(found.X, screenW / 2 - 240);
  EXPECT_EQ(found.Y, screenH / 2 - 160);
  EXPECT_TRUE(found.TopMostViewable);
  EXPECT_TRUE(HasState(found.Id, "_NET_WM_STATE_ABOVE"));

  // Escape and a close request leave it open.
  XTestFakeKeyEvent(D, XKeysymToKeycode(D, XK_Escape), True, CurrentTime);
  XTestFakeKeyEvent(D, XKeysymToKeycode(D, XK_Escape), False, CurrentTime);
  XSync(D, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(Find("Configuration-Assistent").Viewable);

  // "Next" lies at (320, 260), 60 x 30, in the window.
  XTestFakeMotionEvent(D, -1, found.X + 350, found.Y + 275, CurrentTime);
  XTestFakeButtonEvent(D, 1, True, CurrentTime);
  XTestFakeButtonEvent(D, 1, False, CurrentTime);
  XSync(D, False);
  EXPECT_TRUE(
      WaitFor([&] { return Find("Configuration-Assistent").Id == 0; }, std::chrono::seconds(5)))
      << "the assistant is still there after Next";

  EXPECT_EQ(waitpid(Pid, nullptr, WNOHANG), 0) << "the player runs on";
  EXPECT_EQ(Stop(), 0);
  const std::string log = Log();
  EXPECT_NE(log.find("no configuration found. starting configuration assistent..."),
            std::string::npos);
  EXPECT_NE(log.find("terminated gracefully :)"), std::string::npos);
}

}  // namespace
