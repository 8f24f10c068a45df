// The X11 backend against a real X server (the Xvfb of scripts/run-tests.sh,
// named by VESPERON_TEST_DISPLAY): shapes and pixels read back from the
// server, input synthesised with XTEST, a popup menu and a fake tray.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <thread>

#include "core/params.h"
#include "platform/headless.h"
#include "platform/message_queue.h"
#include "platform/platform.h"

// After every other header: Xlib's macros (None, Bool, Status) break them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include "test_tray.h"

namespace vesperon {

inline void PrintTo(const TRect& r, std::ostream* os) {
  *os << "{" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << "}";
}

namespace {

struct TSeen {
  THandle Window;
  uint32_t Msg;
  std::uintptr_t WParam;
  std::intptr_t LParam;
};

class X11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("VESPERON_TEST_DISPLAY");
    if (!display || !*display) {
      GTEST_SKIP() << "VESPERON_TEST_DISPLAY is not set; the X11 tests run under the Xvfb that "
                      "scripts/run-tests.sh starts";
    }
    ClosePlatform();
    gParams.Display = display;
    ASSERT_EQ(OpenPlatform(pkX11), pkX11) << "cannot open X display " << display;
    D = XOpenDisplay(display);
    ASSERT_NE(D, nullptr);
    int a = 0, b = 0, c = 0, d = 0;
    ASSERT_TRUE(XTestQueryExtension(D, &a, &b, &c, &d)) << "the X server lacks XTEST";
  }

  void TearDown() override {
    ClosePlatform();
    gParams.Display.clear();
    if (D) XCloseDisplay(D);
  }

  TWindowHandler Recorder() {
    return [this](THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
      Seen.push_back({h, msg, wp, lp});
      return DefWindowHandler(h, msg, wp, lp);
    };
  }

  THandle MakeWindow(TRect bounds, THandle parent = 0) {
    TWindowParams p;
    p.ClassName = "Test";
    p.Bounds = bounds;
    p.Flags = wfVisible;
    p.Parent = parent;
    p.Handler = Recorder();
    const THandle w = CreateWindow(p);
    if (!parent) SetForegroundWindow(w);
    Settle();
    return w;
  }

  // Runs the main loop's work until the condition holds (at most 3 s).
  bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
      XSync(D, False);
      DispatchPendingMessages();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  // Lets the server and the layer finish what is under way.
  void Settle() {
    for (int i = 0; i < 20; ++i) {
      XSync(D, False);
      DispatchPendingMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::vector<TSeen> Received(uint32_t msg) const {
    std::vector<TSeen> out;
    for (const TSeen& s : Seen) {
      if (s.Msg == msg) out.push_back(s);
    }
    return out;
  }

  void MovePointer(TPointI p) {
    XTestFakeMotionEvent(D, -1, p.X, p.Y, CurrentTime);
    XSync(D, False);
  }

  void Click(TPointI p, unsigned int button = 1) {
    MovePointer(p);
    XTestFakeButtonEvent(D, button, True, CurrentTime);
    XTestFakeButtonEvent(D, button, False, CurrentTime);
    XSync(D, False);
  }

  unsigned int Key(KeySym sym) {
    const unsigned int code = XKeysymToKeycode(D, sym);
    XTestFakeKeyEvent(D, code, True, CurrentTime);
    XTestFakeKeyEvent(D, code, False, CurrentTime);
    XSync(D, False);
    return code;
  }

  TRegion ServerShape(THandle window) {
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(D, static_cast<Window>(NativeWindowForTesting(window)),
                                            ShapeBounding, &count, &ordering);
    std::vector<TRect> out;
    for (int i = 0; i < count; ++i) {
      out.push_back(
          {rects[i].x, rects[i].y, rects[i].x + rects[i].width, rects[i].y + rects[i].height});
    }
    if (rects) XFree(rects);
    return TRegion(out);
  }

  Display* D = nullptr;
  std::vector<TSeen> Seen;
};

// A stencil with many runs: a disc with a striped hole and a notch.
TImage Stencil(int32_t w, int32_t h) {
  TImage s;
  s.Width = w;
  s.Height = h;
  s.Pixels.assign(static_cast<std::size_t>(w) * h * 4, 255);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const int32_t dx = x - w / 2, dy = y - h / 2;
      const bool disc = dx * dx * h * h + dy * dy * w * w <= (w * h / 2) * (w * h / 2);
      const bool stripe = std::abs(dy) < 10 && (x / 5) % 2 == 0;
      if (disc && !stripe) std::fill_n(s.Pixel(x, y), 3, 0);
    }
  }
  return s;
}

TEST_F(X11Test, ShapeRectanglesReadBackFromTheServerEqualTheRegion) {
  const THandle w = MakeWindow({50, 50, 250, 200});
  const TRegion region = RegionFromMask(Stencil(200, 150), 255, 255, 255);
  ASSERT_GT(region.Rects().size(), 20u);
  SetWindowRegion(w, &region);
  const THandle child = MakeWindow({10, 10, 40, 30}, w);
  const TRegion childShape(std::vector<TRect>{{0, 0, 30, 10}, {5, 10, 25, 20}});
  SetWindowRegion(child, &childShape);
  Settle();
  EXPECT_EQ(ServerShape(w), region);
  EXPECT_EQ(ServerShape(w).Rects(),
            region.Rects());  // the same banded list, rectangle for rectangle
  EXPECT_EQ(ServerShape(child), childShape);
  SetWindowRegion(w, nullptr);  // rectangular again
  Settle();
  EXPECT_EQ(ServerShape(w).Rects(), (std::vector<TRect>{{0, 0, 200, 150}}));
}

TEST_F(X11Test, WindowPixelsReadBackEqualTheSurface) {
  const THandle w = MakeWindow({300, 40, 400, 120});
  TSurface& s = *GetWindowSurface(w);
  for (int32_t y = 0; y < s.Height(); ++y) {
    for (int32_t x = 0; x < s.Width(); ++x) s.Row(y)[x] = MakeColor(x * 2, y * 3, (x ^ y) & 0xFF);
  }
  const PFont font = CreateFont("Verdana", 12);
  DrawText(s, font, u"pixels", {4, 4, 96, 20}, MakeColor(255, 255, 255));
  PresentWindow(w);
  Settle();
  XImage* image = XGetImage(D, static_cast<Window>(NativeWindowForTesting(w)), 0, 0, 100, 80,
                            AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  int differing = 0;
  for (int32_t y = 0; y < 80; ++y) {
    for (int32_t x = 0; x < 100; ++x) {
      if ((XGetPixel(image, x, y) & 0xFFFFFF) != s.At(x, y)) ++differing;
    }
  }
  XDestroyImage(image);
  EXPECT_EQ(differing, 0);
}

TEST_F(X11Test, ClicksAndWheelArriveAsMouseMessages) {
  const THandle w = MakeWindow({100, 300, 300, 400});
  Click({150, 330});
  Click({160, 340}, 3);
  Click({160, 340}, 4);
  ASSERT_TRUE(PumpUntil([&] { return !Received(wmMouseWheel).empty(); }));
  ASSERT_EQ(Received(wmLButtonDown).size(), 1u);
  EXPECT_EQ(Received(wmLButtonDown)[0].Window, w);
  EXPECT_EQ(LoWordSigned(Received(wmLButtonDown)[0].LParam), 50);
  EXPECT_EQ(HiWordSigned(Received(wmLButtonDown)[0].LParam), 30);
  EXPECT_EQ(Received(wmLButtonUp).size(), 1u);
  EXPECT_EQ(Received(wmRButtonUp).size(), 1u);
  EXPECT_EQ(LoWordSigned(Received(wmRButtonUp)[0].LParam), 60);
  EXPECT_EQ(static_cast<int16_t>(HiWord(Received(wmMouseWheel)[0].WParam)), 120);
}

// The main loop sleeps in WaitForMessage while nothing is to do: input
// from the server ends the wait at once (the connection's descriptor), and
// so does an event the connection had read already before the wait.
TEST_F(X11Test, WaitForMessageEndsWhenInputArrives) {
  MakeWindow({100, 300, 300, 400});
  Settle();
  while (MessageWaiting()) DispatchPendingMessages();
  std::vector<pollfd> none;
  std::chrono::steady_clock::time_point clicked;
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    clicked = std::chrono::steady_clock::now();
    Click({150, 330});
  });
  EXPECT_TRUE(WaitForMessage(none, 5000));
  const auto woken = std::chrono::steady_clock::now();
  other.join();
  using Ms = std::chrono::duration<double, std::milli>;
  EXPECT_LT(Ms(woken - clicked).count(), 100.0);
  ASSERT_TRUE(PumpUntil([&] { return !Received(wmLButtonUp).empty(); }));

  // Read by the layer's connection along with a reply (the pointer query),
  // the events wait in the connection's queue, not on the socket.
  Click({150, 330});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  GetCursorPos();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitForMessage(none, 2000)) << "events read already count as waiting messages";
  EXPECT_LT(Ms(std::chrono::steady_clock::now() - start).count(), 100.0);
}

TEST_F(X11Test, KeysArriveWithVirtualKeyAndScanCode) {
  const THandle w = MakeWindow({100, 420, 200, 480});
  MovePointer({150, 450});
  SetFocus(w);
  Settle();
  const unsigned int a = Key(XK_a);
  const unsigned int up = Key(XK_Up);
  const unsigned int f5 = Key(XK_F5);
  ASSERT_TRUE(PumpUntil([&] { return Received(wmKeyUp).size() >= 3; }));
  const auto downs = Received(wmKeyDown);
  ASSERT_EQ(downs.size(), 3u);
  EXPECT_EQ(downs[0].WParam, static_cast<std::uintptr_t>('A'));
  EXPECT_EQ(KeyScanCode(downs[0].LParam), a - 8);
  EXPECT_EQ(downs[1].WParam, vkUp);
  EXPECT_EQ(KeyScanCode(downs[1].LParam), up - 8);
  EXPECT_EQ(downs[2].WParam, vkF1 + 4u);
  EXPECT_EQ(KeyScanCode(downs[2].LParam), f5 - 8);
  const auto chars = Received(wmChar);
  ASSERT_EQ(chars.size(), 1u);  // only the letter types a character
  EXPECT_EQ(chars[0].WParam, static_cast<std::uintptr_t>('a'));
}

TEST_F(X11Test, ChildButtonClickReachesTheParentAsCommand) {
  const THandle parent = MakeWindow({500, 300, 700, 400});
  TWindowParams b;
  b.Parent = parent;
  b.Title = u"Next";
  b.Bounds = {120, 60, 180, 90};
  b.Flags = wfVisible;
  b.Control = ckButton;
  b.ControlId = 1;
  const THandle button = CreateWindow(b);
  Settle();
  Click({650, 375});
  ASSERT_TRUE(PumpUntil([&] { return !Received(wmCommand).empty(); }));
  EXPECT_EQ(Received(wmCommand)[0].Window, parent);
  EXPECT_EQ(LoWord(Received(wmCommand)[0].WParam), 1u);
  EXPECT_EQ(static_cast<THandle>(Received(wmCommand)[0].LParam), button);
}

TEST_F(X11Test, PopupMenuOpensAndAChosenItemSendsItsCommand) {
  const THandle owner = MakeWindow({600, 500, 700, 560});
  const TMenu menu = CreatePopupMenu();
  AppendMenuItem(menu, 10002, u"Minimize");
  AppendMenuItem(menu, 10003, u"Restore");
  AppendMenuSeparator(menu);
  AppendMenuItem(menu, 10001, u"Exit");
  ASSERT_TRUE(TrackPopupMenu(menu, {620, 520}, owner));
  Settle();
  TRect item;
  ASSERT_TRUE(GetMenuItemRect(menu, 1, item));
  Click({(item.Left + item.Right) / 2, (item.Top + item.Bottom) / 2});
  ASSERT_TRUE(PumpUntil([&] { return !Received(wmCommand).empty(); }));
  EXPECT_EQ(Received(wmCommand)[0].WParam, 10003u);
  EXPECT_TRUE(OpenMenus().empty());
}

TEST_F(X11Test, SystemMoveFollowsThePointer) {
  TWindowParams p;
  p.Bounds = {800, 100, 900, 160};
  p.Flags = wfVisible;
  p.Handler = [](THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) -> std::intptr_t {
    if (msg == wmLButtonDown) {
      SendMessage(h, wmSysCommand, scMove + 2);
      return 0;
    }
    return DefWindowHandler(h, msg, wp, lp);
  };
  const THandle w = CreateWindow(p);
  Settle();
  MovePointer({820, 120});
  XTestFakeButtonEvent(D, 1, True, CurrentTime);
  XSync(D, False);
  Settle();
  MovePointer({850, 200});
  XTestFakeButtonEvent(D, 1, False, CurrentTime);
  ASSERT_TRUE(PumpUntil([&] { return GetWindowRect(w).Left == 830; }));
  EXPECT_EQ(GetWindowRect(w), (TRect{830, 180, 930, 240}));
  Settle();
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(D, static_cast<Window>(NativeWindowForTesting(w)), DefaultRootWindow(D), 0,
                        0, &x, &y, &child);
  EXPECT_EQ(x, 830);
  EXPECT_EQ(y, 180);
}

// The icon is added before any tray runs; a tray that starts later embeds
// it, and from then on the tip, balloons and clicks work. When the tray ends
// the icon is no longer docked and docks again in the next tray.
TEST_F(X11Test, TrayIconDocksInATrayThatStartsLater) {
  const THandle main = MakeWindow({10, 600, 50, 640});
  EXPECT_FALSE(TrayAvailable());
  const TIconSet icon = {{2, 2, {0xFF808080, 0xFF808080, 0x00000000, 0xFF808080}}};
  ASSERT_TRUE(AddTrayIcon(main, 1052002, wmUser + 10, icon, u"Vesperon"));
  EXPECT_FALSE(TrayIconDocked());
  EXPECT_FALSE(ShowTrayBalloon(u"Warning", u"nobody sees this"));
  testing::TTestTray tray(D);
  tray.Start(880, 680);
  ASSERT_TRUE(PumpUntil([&] {
    tray.Process();
    return TrayIconDocked();
  }));
  EXPECT_EQ(tray.Tip(), "Vesperon");
  ASSERT_TRUE(ModifyTrayTip(u"Title - Artist"));
  ASSERT_TRUE(ShowTrayBalloon(u"Warning", u"something happened"));
  ASSERT_TRUE(PumpUntil([&] {
    tray.Process();
    return !tray.Balloons.empty();
  }));
  EXPECT_EQ(tray.Balloons[0], "Warning\nsomething happened");
  EXPECT_EQ(tray.Tip(), "Title - Artist");
  // The transparent corner of the icon is cut out of the icon's window.
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(D, tray.Icon, ShapeBounding, &count, &ordering);
  TRegion shape;
  for (int i = 0; i < count; ++i)
    shape.Union(
        TRect{rects[i].x, rects[i].y, rects[i].x + rects[i].width, rects[i].y + rects[i].height});
  if (rects) XFree(rects);
  EXPECT_TRUE(shape.Contains(2, 2));
  EXPECT_FALSE(shape.Contains(2, 20));
  int x = 0, y = 0;
  tray.IconCentre(x, y);
  Click({x + 6, y - 6});
  Click({x + 6, y - 6});
  Click({x + 6, y - 6}, 3);
  ASSERT_TRUE(PumpUntil([&] { return Received(wmUser + 10).size() >= 5; }));
  std::vector<std::intptr_t> mouse;
  for (const TSeen& m : Received(wmUser + 10)) {
    EXPECT_EQ(m.WParam, 1052002u);
    mouse.push_back(m.LParam);
  }
  EXPECT_NE(std::find(mouse.begin(), mouse.end(), wmLButtonDblClk), mouse.end());
  EXPECT_EQ(mouse.back(), wmRButtonUp);
  tray.Stop();
  ASSERT_TRUE(PumpUntil([&] { return !TrayIconDocked(); }));
  EXPECT_FALSE(ShowTrayBalloon(u"Warning", u"tray gone"));
  tray.Start(880, 680);
  EXPECT_TRUE(PumpUntil([&] {
    tray.Process();
    return TrayIconDocked();
  }));
  RemoveTrayIcon();
  EXPECT_FALSE(TrayIconDocked());
}

// The window manager's icon: every size of the set as _NET_WM_ICON.
TEST_F(X11Test, WindowIconIsPublishedAsNetWmIcon) {
  const THandle w = MakeWindow({10, 10, 60, 60});
  const TIconSet icons = {{1, 1, {0xFF102030}}, {2, 1, {0x80405060, 0x00000000}}};
  SetWindowIcon(w, icons);
  // Xlib hands 32-bit items over as longs, sign-extended.
  std::vector<long> got;
  const Atom netWmIcon = XInternAtom(D, "_NET_WM_ICON", False);
  ASSERT_TRUE(PumpUntil([&] {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(D, static_cast<Window>(NativeWindowForTesting(w)), netWmIcon, 0, 64, False,
                       XA_CARDINAL, &type, &format, &count, &after, &data);
    if (!data) return false;
    const auto* v = reinterpret_cast<const long*>(data);
    for (unsigned long i = 0; i < count; ++i) got.push_back(v[i] & 0xFFFFFFFFL);
    XFree(data);
    return true;
  }));
  EXPECT_EQ(got, (std::vector<long>{1, 1, 0xFF102030, 2, 1, 0x80405060, 0}));
  EXPECT_EQ(GetWindowIcon(w).size(), 2u);
}

}  // namespace
}  // namespace vesperon
