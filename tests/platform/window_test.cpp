#include <chrono>
#include <memory>
#include <thread>

#include "platform_fixture.h"

namespace vesperon {
namespace {

using WindowTest = THeadlessTest;

TEST_F(WindowTest, CreationPaintsOnceAndPresents) {
  const THandle w = MakeWindow({10, 20, 110, 70});
  ASSERT_NE(w, 0u);
  EXPECT_EQ(Received(wmCreate).size(), 1u);
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(GetWindowRect(w), (TRect{10, 20, 110, 70}));
  EXPECT_EQ(GetClientRect(w), (TRect{0, 0, 100, 50}));
  DispatchPendingMessages();
  EXPECT_EQ(Received(wmPaint).size(), 1u);
  EXPECT_EQ(Received(wmEraseBkgnd).size(), 1u);
  EXPECT_GE(PresentCount(w), 1u);
  // Painted and valid: nothing more comes.
  EXPECT_EQ(DispatchPendingMessages(), 0);
  // The background erased the surface.
  EXPECT_EQ(GetWindowSurface(w)->At(5, 5), MakeColor(0xF0, 0xF0, 0xF0));
}

TEST_F(WindowTest, InvalidAreaClipsThePaint) {
  TWindowParams p;
  p.Bounds = {0, 0, 40, 40};
  p.Flags = wfVisible;
  p.Background = clNone;
  TRect painted;
  p.Handler = [&](THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) -> std::intptr_t {
    if (msg != wmPaint) return DefWindowHandler(h, msg, wp, lp);
    TPaint paint = BeginPaint(h);
    painted = paint.Area;
    FillRect(*paint.Surface, {0, 0, 40, 40}, MakeColor(255, 0, 0));  // clipped to the area
    EndPaint(h, paint);
    return 0;
  };
  const THandle w = CreateWindow(p);
  DispatchPendingMessages();
  EXPECT_EQ(painted, (TRect{0, 0, 40, 40}));
  FillRect(*GetWindowSurface(w), {0, 0, 40, 40}, 0);
  const TRect area{5, 6, 10, 12};
  InvalidateRect(w, &area, false);
  UpdateWindow(w);  // paints at once, without the queue
  EXPECT_EQ(painted, area);
  const TSurface& s = *GetWindowSurface(w);
  EXPECT_EQ(s.At(5, 6), MakeColor(255, 0, 0));
  EXPECT_EQ(s.At(9, 11), MakeColor(255, 0, 0));
  EXPECT_EQ(s.At(10, 11), 0u);
  EXPECT_EQ(s.At(4, 6), 0u);
  // Two invalidations merge into their bounding box.
  const TRect a{0, 0, 2, 2}, b{30, 30, 32, 33};
  InvalidateRect(w, &a);
  InvalidateRect(w, &b);
  DispatchPendingMessages();
  EXPECT_EQ(painted, (TRect{0, 0, 32, 33}));
}

// Once nothing is left to paint the loop stops looking through the windows;
// a child left invalid under a hidden parent, a new window, an
// invalidation and a restore must each still be painted.
TEST_F(WindowTest, PaintsComeAfterTheQueueRanDry) {
  const THandle parent = MakeWindow({0, 0, 100, 100});
  DispatchPendingMessages();
  ShowWindow(parent, swHide);
  TWindowParams c;
  c.Parent = parent;
  c.Bounds = {10, 10, 30, 30};
  c.Flags = wfVisible;
  const THandle child = CreateWindow(c);
  ASSERT_NE(child, 0u);
  EXPECT_EQ(DispatchPendingMessages(), 0);  // hidden: nothing to paint
  ShowWindow(parent, swShow);
  EXPECT_GE(DispatchPendingMessages(), 1);  // the child's first paint
  EXPECT_EQ(DispatchPendingMessages(), 0);
  InvalidateRect(parent, nullptr);
  EXPECT_EQ(DispatchPendingMessages(), 1);
  ShowWindow(parent, swMinimize);
  InvalidateRect(parent, nullptr);
  EXPECT_EQ(DispatchPendingMessages(), 0);
  ShowWindow(parent, swRestore);
  EXPECT_GE(DispatchPendingMessages(), 1);
  const THandle other = MakeWindow({200, 0, 240, 40});
  const size_t painted = Received(wmPaint).size();
  DispatchPendingMessages();
  EXPECT_GT(Received(wmPaint).size(), painted);
  EXPECT_NE(other, 0u);
}

TEST_F(WindowTest, PaintHandlerThatNeverPaintsIsNotAskedForever) {
  TWindowParams p;
  p.Bounds = {0, 0, 10, 10};
  p.Flags = wfVisible;
  int paints = 0;
  p.Handler = [&](THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) -> std::intptr_t {
    if (msg == wmPaint) {
      ++paints;
      return 0;
    }
    return DefWindowHandler(h, msg, wp, lp);
  };
  CreateWindow(p);
  DispatchPendingMessages();
  EXPECT_EQ(paints, 1);
}

TEST_F(WindowTest, MoveAndSizeSendTheirMessages) {
  const THandle w = MakeWindow({0, 0, 100, 50});
  Log.clear();
  MoveWindow(w, {-5, 30, 195, 130});
  ASSERT_EQ(Received(wmMove).size(), 1u);
  EXPECT_EQ(LoWordSigned(Received(wmMove)[0].LParam), -5);
  EXPECT_EQ(HiWordSigned(Received(wmMove)[0].LParam), 30);
  ASSERT_EQ(Received(wmSize).size(), 1u);
  EXPECT_EQ(Received(wmSize)[0].WParam, sizeRestored);
  EXPECT_EQ(LoWord(Received(wmSize)[0].LParam), 200u);
  EXPECT_EQ(HiWord(Received(wmSize)[0].LParam), 100u);
  EXPECT_EQ(GetWindowSurface(w)->Width(), 200);
  EXPECT_EQ(GetWindowSurface(w)->Height(), 100);
  Log.clear();
  MoveWindow(w, {-5, 30, 195, 130});  // no change, no messages
  MoveWindow(w, {0, 0, 200, 100});    // position only
  EXPECT_EQ(Received(wmMove).size(), 1u);
  EXPECT_TRUE(Received(wmSize).empty());
}

TEST_F(WindowTest, MouseMessagesCarryClientCoordinatesAndButtons) {
  const THandle w = MakeWindow({100, 100, 300, 200});
  DispatchPendingMessages();
  Log.clear();
  InjectMouseMove({110, 120});
  InjectMouseButton(1, true, {110, 120});
  InjectMouseButton(1, false, {111, 120});
  InjectMouseButton(3, true, {150, 150});
  InjectMouseButton(3, false, {150, 150});
  InjectMouseButton(2, true, {150, 150});
  InjectMouseButton(2, false, {150, 150});
  InjectWheel(1, {150, 150});
  InjectWheel(-2, {150, 150});
  InjectMouseMove({5, 5});  // outside every window: nobody gets it
  DispatchPendingMessages();
  std::vector<uint32_t> kinds;
  for (const TRecorded& r : Log) {
    if (r.Msg >= wmMouseMove && r.Msg <= wmMouseWheel) kinds.push_back(r.Msg);
  }
  EXPECT_EQ(kinds, (std::vector<uint32_t>{wmMouseMove, wmLButtonDown, wmLButtonUp, wmRButtonDown,
                                          wmRButtonUp, wmMButtonDown, wmMButtonUp, wmMouseWheel,
                                          wmMouseWheel}));
  const TRecorded down = Received(wmLButtonDown)[0];
  EXPECT_EQ(down.Window, w);
  EXPECT_EQ(LoWordSigned(down.LParam), 10);
  EXPECT_EQ(HiWordSigned(down.LParam), 20);
  EXPECT_EQ(down.WParam & mkLButton, mkLButton);
  EXPECT_EQ(Received(wmLButtonUp)[0].WParam & mkLButton, 0u);
  const auto wheels = Received(wmMouseWheel);
  EXPECT_EQ(static_cast<int16_t>(HiWord(wheels[0].WParam)), 120);
  EXPECT_EQ(static_cast<int16_t>(HiWord(wheels[1].WParam)), -240);
  EXPECT_EQ(LoWordSigned(wheels[0].LParam), 150);  // screen coordinates
}

TEST_F(WindowTest, DoubleClicksOnlyWhenAskedAndInTime) {
  const THandle plain = MakeWindow({0, 0, 50, 50});
  const THandle dbl = MakeWindow({100, 0, 150, 50}, wfVisible | wfDoubleClicks);
  for (TPointI p : {TPointI{10, 10}, TPointI{110, 10}}) {
    InjectMouseButton(1, true, p);
    InjectMouseButton(1, false, p);
    AdvanceClockForTesting(100);
    InjectMouseButton(1, true, p);
    InjectMouseButton(1, false, p);
    AdvanceClockForTesting(1000);
  }
  DispatchPendingMessages();
  ASSERT_EQ(Received(wmLButtonDblClk).size(), 1u);
  EXPECT_EQ(Received(wmLButtonDblClk)[0].Window, dbl);
  EXPECT_EQ(Received(wmLButtonDown).size(), 3u);  // two on the plain window, one on the other
  Log.clear();
  // Too slow, or too far apart: two single clicks.
  InjectMouseButton(1, true, {110, 10});
  AdvanceClockForTesting(600);
  InjectMouseButton(1, true, {110, 10});
  AdvanceClockForTesting(10);
  InjectMouseButton(1, true, {130, 30});
  DispatchPendingMessages();
  EXPECT_TRUE(Received(wmLButtonDblClk).empty());
  (void)plain;
}

TEST_F(WindowTest, ShapesDecideWhichWindowIsHit) {
  const THandle below = MakeWindow({0, 0, 100, 100});
  const THandle above = MakeWindow({0, 0, 100, 100});
  TRegion shape(TRect{0, 0, 50, 100});
  SetWindowRegion(above, &shape);
  TRegion readBack;
  ASSERT_TRUE(GetWindowRegion(above, readBack));
  EXPECT_EQ(readBack, shape);
  EXPECT_EQ(WindowAtPoint({10, 10}), above);
  EXPECT_EQ(WindowAtPoint({60, 10}), below);
  SetWindowRegion(above, nullptr);
  EXPECT_FALSE(GetWindowRegion(above, readBack));
  EXPECT_EQ(WindowAtPoint({60, 10}), above);
  ShowWindow(above, swHide);
  EXPECT_EQ(WindowAtPoint({10, 10}), below);
}

TEST_F(WindowTest, KeysCarryVirtualKeyAndScanCodeAndTranslateToCharacters) {
  const THandle w = MakeWindow({0, 0, 50, 50});
  SetFocus(w);
  InjectKey(true, 'A', 38, U'a');
  InjectKey(false, 'A', 38);
  InjectKey(true, vkUp, 111);
  InjectKey(true, vkF1 + 3, 70, 0, true);
  InjectKey(true, 'E', 26, U'\u20AC');
  InjectKey(true, 'X', 53, U'\U0001F600');
  DispatchPendingMessages();
  const auto downs = Received(wmKeyDown);
  ASSERT_EQ(downs.size(), 4u);
  EXPECT_EQ(downs[0].WParam, static_cast<std::uintptr_t>('A'));
  EXPECT_EQ(KeyScanCode(downs[0].LParam), 30u);  // X keycode 38 - 8
  EXPECT_EQ(downs[0].LParam & 0xFFFF, 1);        // repeat count
  EXPECT_EQ(downs[1].WParam, vkUp);
  EXPECT_EQ(KeyScanCode(downs[1].LParam), 103u);
  EXPECT_NE(downs[1].LParam & (1 << 24), 0);  // an extended key
  const auto ups = Received(wmKeyUp);
  ASSERT_EQ(ups.size(), 1u);
  EXPECT_EQ(static_cast<uint32_t>(ups[0].LParam) >> 30, 3u);  // previous state and transition
  const auto sys = Received(wmSysKeyDown);
  ASSERT_EQ(sys.size(), 1u);
  EXPECT_EQ(sys[0].WParam, vkF1 + 3u);
  std::u16string typed;
  for (const TRecorded& r : Received(wmChar)) typed.push_back(static_cast<char16_t>(r.WParam));
  EXPECT_EQ(typed, u"a\u20AC\U0001F600");
}

TEST_F(WindowTest, KeysGoToTheFocusedChild) {
  const THandle parent = MakeWindow({0, 0, 100, 100});
  const THandle child = MakeWindow({10, 10, 30, 30}, wfVisible, parent);
  SetFocus(parent);
  SetFocus(child);
  EXPECT_EQ(GetFocus(), child);
  InjectKey(true, vkReturn, 36, U'\r');
  DispatchPendingMessages();
  ASSERT_EQ(Received(wmKeyDown).size(), 1u);
  EXPECT_EQ(Received(wmKeyDown)[0].Window, child);
  ASSERT_FALSE(Received(wmSetFocus).empty());
  ASSERT_FALSE(Received(wmKillFocus).empty());
  EXPECT_EQ(Received(wmSetFocus).back().Window, child);
  EXPECT_EQ(Received(wmKillFocus).back().Window, parent);
}

TEST_F(WindowTest, ChildButtonClickBecomesParentCommand) {
  const THandle parent = MakeWindow({100, 100, 300, 300});
  TWindowParams bp;
  bp.ClassName = "BUTTON";
  bp.Title = u"play";
  bp.Parent = parent;
  bp.Bounds = {10, 10, 40, 30};
  bp.Flags = wfVisible;
  bp.Control = ckButton;
  bp.ControlId = 42;
  const THandle button = CreateWindow(bp);
  ASSERT_NE(button, 0u);
  EXPECT_EQ(GetWindowRect(button), (TRect{110, 110, 140, 130}));
  EXPECT_EQ(WindowAtPoint({115, 115}), button);
  InjectMouseButton(1, true, {115, 115});
  InjectMouseButton(1, false, {116, 116});
  // Pressed, then released outside: no command.
  InjectMouseButton(1, true, {115, 115});
  InjectMouseButton(1, false, {200, 200});
  DispatchPendingMessages();
  const auto commands = Received(wmCommand);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].Window, parent);
  EXPECT_EQ(LoWord(commands[0].WParam), 42u);
  EXPECT_EQ(HiWord(commands[0].WParam), bnClicked);
  EXPECT_EQ(static_cast<THandle>(commands[0].LParam), button);
  // The layer drew the button face and its text.
  const TSurface& s = *GetWindowSurface(button);
  EXPECT_EQ(s.At(0, 0), MakeColor(0xAD, 0xAD, 0xAD));
  EXPECT_EQ(s.At(2, 2), MakeColor(0xE1, 0xE1, 0xE1));
}

TEST_F(WindowTest, OwnerDrawnControlsAreDrawnByTheParentAndCanBeSubclassed) {
  std::vector<TDrawItem> items;
  TWindowParams pp;
  pp.Bounds = {0, 0, 200, 200};
  pp.Flags = wfVisible;
  pp.Handler = [&](THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) -> std::intptr_t {
    if (msg == wmDrawItem) {
      auto* item = reinterpret_cast<TDrawItem*>(lp);
      items.push_back(*item);
      FillRect(*item->Surface, item->Area, MakeColor(0, 0, 255));
      return 0;
    }
    Log.push_back({h, msg, wp, lp});
    return DefWindowHandler(h, msg, wp, lp);
  };
  const THandle parent = CreateWindow(pp);
  TWindowParams bp;
  bp.Parent = parent;
  bp.Bounds = {20, 20, 40, 40};
  bp.Flags = wfVisible | wfOwnerDraw;
  bp.Control = ckButton;
  bp.ControlId = 7;
  const THandle button = CreateWindow(bp);
  bp.Control = ckStatic;
  bp.ControlId = 757;
  bp.Bounds = {50, 20, 90, 40};
  const THandle label = CreateWindow(bp);
  // Subclass the button: count what it sees, pass everything on.
  auto seen = std::make_shared<int>(0);
  auto previous = std::make_shared<TWindowHandler>();
  *previous = SetWindowHandler(
      button, [seen, previous](THandle h, uint32_t m, std::uintptr_t w, std::intptr_t l) {
        if (m == wmLButtonDown) ++*seen;
        return (*previous)(h, m, w, l);
      });
  DispatchPendingMessages();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(GetWindowSurface(button)->At(3, 3), MakeColor(0, 0, 255));
  EXPECT_EQ(items[0].Area, (TRect{0, 0, 20, 20}));
  InjectMouseButton(1, true, {25, 25});
  InjectMouseButton(1, false, {25, 25});
  InjectMouseButton(1, true, {60, 25});  // a static control sends no command
  InjectMouseButton(1, false, {60, 25});
  DispatchPendingMessages();
  EXPECT_EQ(*seen, 1);
  ASSERT_EQ(Received(wmCommand).size(), 1u);
  EXPECT_EQ(LoWord(Received(wmCommand)[0].WParam), 7u);
  // The press and the release redrew the button through the parent.
  EXPECT_GE(items.size(), 3u);
  (void)label;
}

TEST_F(WindowTest, CaptureTakesEveryMouseMessage) {
  const THandle a = MakeWindow({0, 0, 50, 50});
  const THandle b = MakeWindow({100, 0, 150, 50});
  SetCapture(a);
  EXPECT_EQ(GetCapture(), a);
  InjectMouseButton(1, true, {110, 10});
  InjectMouseMove({300, 300});  // even outside every window
  DispatchPendingMessages();
  ASSERT_EQ(Received(wmLButtonDown).size(), 1u);
  EXPECT_EQ(Received(wmLButtonDown)[0].Window, a);
  EXPECT_EQ(LoWordSigned(Received(wmLButtonDown)[0].LParam), 110);
  EXPECT_EQ(Received(wmMouseMove).back().Window, a);
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), 0u);
  EXPECT_EQ(Received(wmCaptureChanged).size(), 1u);
  InjectMouseButton(1, false, {110, 10});
  DispatchPendingMessages();
  EXPECT_EQ(Received(wmLButtonUp).back().Window, b);
}

void MoveTo(TPointI p) {
  InjectMouseMove(p);
  DispatchPendingMessages();
}

// A handler like the framed windows': dragging by any point, sizing by the
// bottom-right corner, with a minimum of 100 x 50 enforced while sizing.
std::intptr_t FramedHandler(THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  if (msg == wmLButtonDown) {
    const TRect c = GetClientRect(h);
    const bool corner = LoWordSigned(lp) > c.Right - 10 && HiWordSigned(lp) > c.Bottom - 10;
    const bool left = LoWordSigned(lp) < 10;
    SendMessage(h, wmSysCommand,
                corner ? scSize + seBottomRight
                : left ? scSize + seLeft
                       : scMove + 2,
                0);
    return 0;
  }
  if (msg == wmSizing) {
    auto* r = reinterpret_cast<TRect*>(lp);
    if (r->Width() < 100) {
      if (wp == seLeft || wp == seTopLeft || wp == seBottomLeft) r->Left = r->Right - 100;
      else r->Right = r->Left + 100;
    }
    if (r->Height() < 50) r->Bottom = r->Top + 50;
    return 1;
  }
  return DefWindowHandler(h, msg, wp, lp);
}

TEST_F(WindowTest, SystemMoveFollowsThePointerUntilRelease) {
  TWindowParams p;
  p.Bounds = {100, 100, 300, 200};
  p.Flags = wfVisible;
  p.Handler = FramedHandler;
  const THandle w = CreateWindow(p);
  InjectMouseButton(1, true, {150, 150});
  DispatchPendingMessages();
  MoveTo({160, 140});
  MoveTo({170, 175});
  EXPECT_EQ(GetWindowRect(w), (TRect{120, 125, 320, 225}));
  InjectMouseButton(1, false, {170, 175});
  DispatchPendingMessages();
  MoveTo({400, 400});
  EXPECT_EQ(GetWindowRect(w), (TRect{120, 125, 320, 225}));
  // A button already released when the move would start drags nothing.
  InjectMouseButton(1, true, {150, 150});
  InjectMouseButton(1, false, {150, 150});
  DispatchPendingMessages();
  MoveTo({10, 10});
  EXPECT_EQ(GetWindowRect(w), (TRect{120, 125, 320, 225}));
}

TEST_F(WindowTest, SystemSizeAsksTheHandlerForLimits) {
  TWindowParams p;
  p.Bounds = {100, 100, 300, 200};
  p.Flags = wfVisible;
  p.Handler = FramedHandler;
  const THandle w = CreateWindow(p);
  InjectMouseButton(1, true, {295, 195});
  DispatchPendingMessages();
  MoveTo({305, 215});
  EXPECT_EQ(GetWindowRect(w), (TRect{100, 100, 310, 220}));
  MoveTo({0, 0});  // far too small: stops at 100 x 50
  EXPECT_EQ(GetWindowRect(w), (TRect{100, 100, 200, 150}));
  InjectMouseButton(1, false, {0, 0});
  DispatchPendingMessages();
  // By the left edge: the left edge goes back to right - 100.
  InjectMouseButton(1, true, {102, 120});
  DispatchPendingMessages();
  MoveTo({190, 120});
  EXPECT_EQ(GetWindowRect(w), (TRect{100, 100, 200, 150}));
  MoveTo({80, 120});  // 22 pixels left of where the edge was grabbed
  EXPECT_EQ(GetWindowRect(w), (TRect{78, 100, 200, 150}));
  InjectMouseButton(1, false, {80, 120});
}

TEST_F(WindowTest, TimersFireWhenDueWithoutPilingUp) {
  const THandle w = MakeWindow({0, 0, 10, 10});
  DispatchPendingMessages();
  Log.clear();
  SetTimer(w, 5, 100);
  int callbacks = 0;
  const uint32_t thread = SetTimer(25, [&](uint32_t id) {
    EXPECT_NE(id, 0u);
    ++callbacks;
  });
  AdvanceClockForTesting(50);
  DispatchPendingMessages();
  EXPECT_TRUE(Received(wmTimer).empty());
  EXPECT_EQ(callbacks, 1);
  AdvanceClockForTesting(1000);  // ten intervals late: one message, not ten
  DispatchPendingMessages();
  ASSERT_EQ(Received(wmTimer).size(), 1u);
  EXPECT_EQ(Received(wmTimer)[0].WParam, 5u);
  EXPECT_EQ(callbacks, 2);
  EXPECT_TRUE(KillTimer(w, 5));
  EXPECT_TRUE(KillTimer(0, thread));
  EXPECT_FALSE(KillTimer(w, 5));
  AdvanceClockForTesting(1000);
  DispatchPendingMessages();
  EXPECT_EQ(Received(wmTimer).size(), 1u);
  EXPECT_EQ(callbacks, 2);
}

TEST_F(WindowTest, CloseDestroysWithChildrenAndQuitStaysQueued) {
  const THandle parent = MakeWindow({0, 0, 100, 100});
  const THandle child = MakeWindow({0, 0, 10, 10}, wfVisible, parent);
  SetFocus(child);
  SetTimer(child, 1, 10);
  PostMessage(parent, wmClose);
  PostQuitMessage(3);
  DispatchPendingMessages();
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(GetFocus(), 0u);
  const auto destroyed = Received(wmDestroy);
  ASSERT_EQ(destroyed.size(), 2u);
  EXPECT_EQ(destroyed[0].Window, child);  // children first
  TMessage m;
  ASSERT_TRUE(PeekMessage(m));
  EXPECT_EQ(m.Msg, wmQuit);
  EXPECT_EQ(m.WParam, 3u);
  AdvanceClockForTesting(100);
  EXPECT_FALSE(PeekMessage(m));  // the dead child's timer went with it
}

// Windows looked up a moment before they go are gone for every later look,
// while the windows around them stay.
TEST_F(WindowTest, AWindowLookedUpJustBeforeItGoesIsGone) {
  const THandle parent = MakeWindow({0, 0, 100, 100});
  const THandle child = MakeWindow({0, 0, 10, 10}, wfVisible, parent);
  const THandle other = MakeWindow({0, 0, 10, 10}, wfVisible, parent);
  ASSERT_NE(GetWindowSurface(child), nullptr);
  ASSERT_NE(GetWindowSurface(parent), nullptr);
  EXPECT_TRUE(DestroyWindow(child));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(GetWindowSurface(child), nullptr);
  EXPECT_NE(GetWindowSurface(other), nullptr);
  ASSERT_NE(GetWindowSurface(parent), nullptr);
  EXPECT_EQ(GetWindowSurface(parent)->Width(), 100);
  // A window made after that gets a handle of its own and is found.
  const THandle later = MakeWindow({0, 0, 30, 30});
  EXPECT_NE(later, child);
  ASSERT_NE(GetWindowSurface(later), nullptr);
  EXPECT_EQ(GetWindowSurface(later)->Width(), 30);
  EXPECT_TRUE(DestroyWindow(parent));
  EXPECT_FALSE(IsWindow(other));
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_TRUE(IsWindow(later));
  ClosePlatform();
  EXPECT_FALSE(IsWindow(later));
}

// The wait reports how long it lasted: a wait that ran its whole limit
// counts as exactly the limit, one ended by a post from another thread as
// the time until the post.
TEST_F(WindowTest, AWaitTellsHowLongItLasted) {
  std::vector<pollfd> none;
  uint64_t sleptUs = 1;
  ASSERT_TRUE(WaitForMessage(none, 30, &sleptUs));
  EXPECT_EQ(sleptUs, 30'000u);
  ASSERT_TRUE(WaitForMessage(none, 0, &sleptUs));
  EXPECT_EQ(sleptUs, 0u);

  const auto start = std::chrono::steady_clock::now();
  std::thread poster([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    PostMessage(0, wmCommand);
  });
  ASSERT_TRUE(WaitForMessage(none, 5000, &sleptUs));
  const auto measuredUs = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
  poster.join();
  EXPECT_GE(sleptUs, 20'000u);
  EXPECT_LE(sleptUs, static_cast<uint64_t>(measuredUs) + 1000u);
  // The post is there, and the next wait does not sleep.
  EXPECT_FALSE(WaitForMessage(none, 5000, &sleptUs));
  TMessage m;
  ASSERT_TRUE(PeekMessage(m));
  EXPECT_EQ(m.Msg, static_cast<uint32_t>(wmCommand));
  EXPECT_FALSE(PeekMessage(m));
}

TEST_F(WindowTest, MinimizeAndRestoreReportThroughSize) {
  const THandle w = MakeWindow({0, 0, 100, 100}, wfVisible | wfAppWindow);
  ShowWindow(w, swMinimize);
  EXPECT_TRUE(IsMinimized(w));
  EXPECT_FALSE(IsWindowVisible(w));
  ASSERT_FALSE(Received(wmSize).empty());
  EXPECT_EQ(Received(wmSize).back().WParam, sizeMinimized);
  ShowWindow(w, swHide);
  ShowWindow(w, swRestore);
  EXPECT_FALSE(IsMinimized(w));
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(Received(wmSize).back().WParam, sizeRestored);
  SendMessage(w, wmSysCommand, scMinimize);
  EXPECT_TRUE(IsMinimized(w));
}

TEST_F(WindowTest, BadCreationsFailWithAReason) {
  TWindowParams p;
  p.Parent = 0xDEAD;
  EXPECT_EQ(CreateWindow(p), 0u);
  EXPECT_EQ(LastWindowError(), "parent window does not exist");
  p.Parent = 0;
  p.Bounds = {0, 0, 100000, 10};
  EXPECT_EQ(CreateWindow(p), 0u);
  p.Bounds = {0, 0, 10, 10};
  p.Handler = [](THandle, uint32_t msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    return msg == wmCreate ? -1 : 0;
  };
  EXPECT_EQ(CreateWindow(p), 0u);
  // Calls on handles that do not exist do nothing.
  MoveWindow(0xDEAD, {0, 0, 1, 1});
  ShowWindow(0xDEAD, swShow);
  EXPECT_EQ(GetWindowSurface(0xDEAD), nullptr);
  EXPECT_EQ(SendMessage(0xDEAD, wmPaint), 0);
}

TEST_F(WindowTest, NamesTitlesOwnersAndScreen) {
  const THandle main = MakeWindow({0, 0, 10, 10});
  TWindowParams p;
  p.ClassName = "MediaDBWindow";
  p.Title = u"Media DB";
  p.Owner = main;
  p.Bounds = {0, 0, 10, 10};
  const THandle owned = CreateWindow(p);
  EXPECT_EQ(GetWindowClassName(owned), "MediaDBWindow");
  EXPECT_EQ(GetWindowText(owned), u"Media DB");
  EXPECT_EQ(GetOwner(owned), main);
  EXPECT_FALSE(IsWindowVisible(owned));
  SetWindowText(owned, u"Video");
  EXPECT_EQ(GetWindowText(owned), u"Video");
  DestroyWindow(main);  // owned windows go with their owner
  EXPECT_FALSE(IsWindow(owned));
  SetScreenSizeForTesting(1024, 768);
  EXPECT_EQ(GetScreenWidth(), 1024);
  EXPECT_EQ(GetScreenHeight(), 768);
  EXPECT_EQ(GetScreenDepth(), 32);
  const THandle other = MakeWindow({7, 9, 20, 20});
  EXPECT_EQ(ClientToScreen(other, {3, 4}), (TPointI{10, 13}));
  EXPECT_EQ(ScreenToClient(other, ClientToScreen(other, {3, 4})), (TPointI{3, 4}));
}

}  // namespace
}  // namespace vesperon
