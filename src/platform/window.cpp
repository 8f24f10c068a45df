// The shared logic of the layer: window records, message routing, painting
// and invalid areas, focus and capture, system move and size, timers and the
// tray's state. Backends only mirror windows on a display and report input.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <map>

#include "core/log.h"
#include "core/params.h"
#include "core/text.h"
#include "platform/backend.h"
#include "platform/headless.h"

namespace vesperon {
namespace {

constexpr int32_t kMaxWindowSide = 16384;
constexpr uint64_t kDoubleClickMs = 500;
constexpr int32_t kDoubleClickSlop = 4;

struct TTimer {
  THandle Window = 0;
  uint32_t Id = 0;
  uint32_t Interval = 1;
  uint64_t Due = 0;
  TTimerCallback Callback;
};

// A system move or size the layer does itself.
struct TTracker {
  bool Active = false;
  THandle Window = 0;
  uint32_t Edge = 0;  // 0 moves
  TPointI Start;
  TRect StartBounds;
};

struct TTray {
  bool Present = false;
  THandle Owner = 0;
  uint32_t Id = 0;
  uint32_t CallbackMessage = 0;
  std::u16string Tip, BalloonTitle, BalloonText;
  int BalloonCount = 0;
};

// Input as the backend reported it. It becomes messages only when the queue
// is empty, so that the capture, focus, menus and system moves that earlier
// messages' handlers started decide where it goes (as on Win32, where input
// is assigned to a window when it is taken from the queue).
struct TRawInput {
  bool Key = false;
  THandle Target = 0;
  TPointerEvent Kind = peMove;
  int Button = 0;
  TPointI Screen;
  uint32_t Modifiers = 0;
  uint64_t Time = 0;
  bool Down = false;
  uint32_t VirtualKey = 0;
  uint32_t Keycode = 0;
  char32_t Text = 0;
  bool Repeat = false;
};

struct TState {
  std::unique_ptr<TBackend> Backend;
  std::deque<TRawInput> RawInput;
  std::map<THandle, std::unique_ptr<TWindowRec>> Windows;
  std::vector<THandle> TopOrder;  // bottom to top
  THandle NextHandle = 0x1000;
  THandle Focus = 0;
  THandle Capture = 0;
  uint32_t Buttons = 0;  // mdLeft | mdMiddle | mdRight held
  TPointI Cursor;
  std::vector<TTimer> Timers;
  uint32_t NextThreadTimer = 0x7F00;
  TTracker Tracker;
  THandle LastClickWindow = 0;
  uint64_t LastClickTime = 0;
  TPointI LastClickPoint;
  TTray Tray;
  std::string LastError;
  bool ManualClock = false;
  uint64_t ClockMs = 0;
  PFont UiFont;
};

TState& S() {
  static TState state;
  return state;
}

uint64_t SteadyMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TWindowRec* TopLevelOf(TWindowRec* w) {
  while (w && w->IsChild()) w = FindWindow(w->Params.Parent);
  return w;
}

// The screen position of the window's client origin.
TPointI Origin(const TWindowRec& w) {
  TPointI p{w.Bounds.Left, w.Bounds.Top};
  const TWindowRec* parent = w.IsChild() ? FindWindow(w.Params.Parent) : nullptr;
  if (parent) {
    const TPointI o = Origin(*parent);
    p.X += o.X;
    p.Y += o.Y;
  }
  return p;
}

bool ChainVisible(const TWindowRec& w) {
  if (!w.Visible || w.Minimized) return false;
  if (!w.IsChild()) return true;
  const TWindowRec* parent = FindWindow(w.Params.Parent);
  return parent && ChainVisible(*parent);
}

std::intptr_t CallHandler(TWindowRec& w, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  TWindowHandler handler = w.Handler;  // a handler may replace itself
  const THandle h = w.Handle;
  if (handler) return handler(h, msg, wp, lp);
  return DefWindowHandler(h, msg, wp, lp);
}

void PostInput(THandle window, uint32_t msg, std::uintptr_t wp, std::intptr_t lp, uint32_t ch = 0) {
  TMessage m;
  m.Window = window;
  m.Msg = msg;
  m.WParam = wp;
  m.LParam = lp;
  m.Char = ch;
  PostMessage(m);
}

void RaiseInOrder(THandle h) {
  auto& order = S().TopOrder;
  order.erase(std::remove(order.begin(), order.end(), h), order.end());
  const TWindowRec* w = FindWindow(h);
  if (w && (w->Params.Flags & wfTopMost)) {
    order.push_back(h);
    return;
  }
  auto firstTop = std::find_if(order.begin(), order.end(), [](THandle o) {
    const TWindowRec* r = FindWindow(o);
    return r && (r->Params.Flags & wfTopMost);
  });
  order.insert(firstTop, h);
}

THandle ChildAt(const TWindowRec& w, TPointI local) {
  for (auto it = w.Children.rbegin(); it != w.Children.rend(); ++it) {
    const TWindowRec* c = FindWindow(*it);
    if (!c || !c->Visible || !c->Bounds.Contains(local.X, local.Y)) continue;
    const TPointI inner{local.X - c->Bounds.Left, local.Y - c->Bounds.Top};
    if (c->Shape && !c->Shape->Contains(inner.X, inner.Y)) continue;
    const THandle deeper = ChildAt(*c, inner);
    return deeper ? deeper : c->Handle;
  }
  return 0;
}

uint32_t MouseKeys(uint32_t modifiers) {
  uint32_t k = 0;
  if (modifiers & mdLeft) k |= mkLButton;
  if (modifiers & mdRight) k |= mkRButton;
  if (modifiers & mdMiddle) k |= mkMButton;
  if (modifiers & mdShift) k |= mkShift;
  if (modifiers & mdControl) k |= mkControl;
  return k;
}

uint32_t ButtonBit(int button) {
  if (button == 1) return mdLeft;
  if (button == 2) return mdMiddle;
  return button == 3 ? static_cast<uint32_t>(mdRight) : 0u;
}

// ---- system move and size done by the layer -------------------------------

void TrackerStep(TPointI screen) {
  TTracker& t = S().Tracker;
  TWindowRec* w = FindWindow(t.Window);
  if (!w) {
    t.Active = false;
    return;
  }
  const int32_t dx = screen.X - t.Start.X, dy = screen.Y - t.Start.Y;
  TRect r = t.StartBounds;
  if (t.Edge == 0) {
    r = {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
  } else {
    const uint32_t e = t.Edge;
    if (e == seLeft || e == seTopLeft || e == seBottomLeft) r.Left = std::min(r.Left + dx, r.Right - 1);
    if (e == seRight || e == seTopRight || e == seBottomRight) r.Right = std::max(r.Right + dx, r.Left + 1);
    if (e == seTop || e == seTopLeft || e == seTopRight) r.Top = std::min(r.Top + dy, r.Bottom - 1);
    if (e == seBottom || e == seBottomLeft || e == seBottomRight) r.Bottom = std::max(r.Bottom + dy, r.Top + 1);
    SendMessage(w->Handle, wmSizing, e, reinterpret_cast<std::intptr_t>(&r));
    if (r.Empty()) return;  // a handler that empties the rectangle refuses the step
  }
  if (FindWindow(t.Window)) MoveWindow(t.Window, r, true);
}

void EndTracker() {
  S().Tracker.Active = false;
  TWindowRec* capture = FindWindow(S().Capture);
  Backend().GrabPointer(capture);
}

void StartTracker(THandle window, uint32_t edge) {
  TWindowRec* w = TopLevelOf(FindWindow(window));
  if (!w || !(S().Buttons & mdLeft)) return;  // the button is already up: nothing to drag
  if (Backend().WindowManagerMoveResize(*w, edge, S().Cursor)) return;
  S().Tracker = {true, w->Handle, edge, S().Cursor, w->Bounds};
  Backend().GrabPointer(w);
}

// ---- standard controls -----------------------------------------------------

void PaintControl(TWindowRec& w, TSurface& s, const TRect& area) {
  const TRect client{0, 0, s.Width(), s.Height()};
  if (w.Params.Flags & wfOwnerDraw) {
    TDrawItem item;
    item.ControlId = w.Params.ControlId;
    item.Window = w.Handle;
    item.Surface = &s;
    item.Area = client;
    item.Selected = w.Pressed;
    (void)area;
    SendMessage(w.Params.Parent, wmDrawItem, w.Params.ControlId, reinterpret_cast<std::intptr_t>(&item));
    return;
  }
  const PFont font = w.Font ? w.Font : DefaultUiFont();
  if (w.Params.Control == ckButton) {
    DrawRectangle(s, client, w.Pressed ? MakeColor(0xCC, 0xE4, 0xF7) : MakeColor(0xE1, 0xE1, 0xE1),
                  w.Pressed ? MakeColor(0x00, 0x54, 0x99) : MakeColor(0xAD, 0xAD, 0xAD));
    DrawText(s, font, w.Params.Title, client, 0, dtCenter | dtVCenter | dtEndEllipsis);
  } else {
    FillRect(s, client, w.Params.Background);
    DrawText(s, font, w.Params.Title, client, 0, dtLeft);
  }
}

std::intptr_t ControlHandler(THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  TWindowRec* w = FindWindow(h);
  if (!w) return 0;
  switch (msg) {
    case wmPaint: {
      TPaint paint = BeginPaint(h);
      if (paint.Surface) PaintControl(*w, *paint.Surface, paint.Area);
      EndPaint(h, paint);
      return 0;
    }
    case wmEraseBkgnd:
      return 1;  // the paint covers the whole control
    case wmLButtonDown:
    case wmLButtonDblClk:
      if (w->Params.Control != ckButton) break;
      w->Pressed = true;
      SetCapture(h);
      SetFocus(h);
      InvalidateRect(h, nullptr, false);
      return 0;
    case wmLButtonUp: {
      if (w->Params.Control != ckButton || !w->Pressed) break;
      w->Pressed = false;
      ReleaseCapture();
      InvalidateRect(h, nullptr, false);
      const TPointI p{LoWordSigned(lp), HiWordSigned(lp)};
      if (GetClientRect(h).Contains(p.X, p.Y)) {
        SendMessage(w->Params.Parent, wmCommand, (w->Params.ControlId & 0xFFFF) | (bnClicked << 16), h);
      }
      return 0;
    }
    case wmCaptureChanged:
      if (w->Pressed) {
        w->Pressed = false;
        InvalidateRect(h, nullptr, false);
      }
      return 0;
    default:
      break;
  }
  return DefWindowHandler(h, msg, wp, lp);
}

}  // namespace

// ---- backend selection -----------------------------------------------------

TPlatformKind OpenPlatform(TPlatformKind wanted) {
  TState& s = S();
  if (s.Backend) return s.Backend->Kind();
  const char* forced = std::getenv("VESPERON_PLATFORM");
  if (wanted == pkNone && forced && std::string(forced) == "headless") wanted = pkHeadless;
  if (wanted != pkHeadless) {
    std::string name = gParams.Display;
    if (name.empty() && std::getenv("DISPLAY")) name = std::getenv("DISPLAY");
    if (!name.empty() || wanted == pkX11) s.Backend = MakeX11Backend(name);
    if (!s.Backend && !name.empty()) LogWarning("could not open X display " + name + ", running without windows");
  }
  if (!s.Backend) s.Backend = MakeHeadlessBackend();
  if (s.Backend->Kind() == pkX11) {
    Log("windowing: X11 on display " + s.Backend->DisplayName());
  } else {
    Log("windowing: headless");
  }
  return s.Backend->Kind();
}

void ClosePlatform() {
  TState& s = S();
  if (!s.Backend) return;
  DestroyAllMenus();
  RemoveTrayIcon();
  const std::vector<THandle> topLevel = s.TopOrder;
  for (auto it = topLevel.rbegin(); it != topLevel.rend(); ++it) DestroyWindow(*it);
  s.TopOrder.clear();
  s.Windows.clear();
  s.Timers.clear();
  s.RawInput.clear();
  s.Focus = s.Capture = 0;
  s.Buttons = 0;
  s.Tracker = {};
  s.LastClickWindow = 0;
  s.UiFont.reset();
  s.Backend.reset();
  ClearMessageQueue();
}

TPlatformKind PlatformKind() { return S().Backend ? S().Backend->Kind() : pkNone; }
std::string PlatformDisplayName() { return S().Backend ? S().Backend->DisplayName() : std::string(); }

TBackend& Backend() {
  if (!S().Backend) OpenPlatform(pkNone);
  return *S().Backend;
}

TWindowRec* FindWindow(THandle window) {
  auto it = S().Windows.find(window);
  return it == S().Windows.end() ? nullptr : it->second.get();
}

TWindowRec* FindNative(std::uintptr_t native) {
  for (auto& [h, w] : S().Windows) {
    if (w->Native == native) return w.get();
  }
  return nullptr;
}

const std::vector<THandle>& TopLevelOrder() { return S().TopOrder; }

THandle WindowAt(TPointI screen) {
  const auto& order = S().TopOrder;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const TWindowRec* w = FindWindow(*it);
    if (!w || !w->Visible || w->Minimized || !w->Bounds.Contains(screen.X, screen.Y)) continue;
    const TPointI local{screen.X - w->Bounds.Left, screen.Y - w->Bounds.Top};
    if (w->Shape && !w->Shape->Contains(local.X, local.Y)) continue;
    const THandle child = ChildAt(*w, local);
    return child ? child : w->Handle;
  }
  return 0;
}

uint64_t NowMs() { return S().ManualClock ? S().ClockMs : SteadyMs(); }

PFont DefaultUiFont() {
  if (!S().UiFont) S().UiFont = CreateFont("Sans", 12);
  return S().UiFont;
}

// ---- windows ---------------------------------------------------------------

THandle CreateWindow(const TWindowParams& params) {
  TState& s = S();
  TBackend& backend = Backend();
  s.LastError.clear();
  if (params.Parent && !FindWindow(params.Parent)) {
    s.LastError = "parent window does not exist";
    return 0;
  }
  if (params.Owner && !FindWindow(params.Owner)) {
    s.LastError = "owner window does not exist";
    return 0;
  }
  const TRect& b = params.Bounds;
  if (b.Width() < 0 || b.Height() < 0 || b.Width() > kMaxWindowSide || b.Height() > kMaxWindowSide) {
    s.LastError = "window size out of range";
    return 0;
  }
  auto rec = std::make_unique<TWindowRec>();
  rec->Handle = s.NextHandle;
  s.NextHandle += 4;
  rec->Params = params;
  rec->Bounds = b;
  rec->Surface = TSurface(b.Width(), b.Height(), params.Background == clNone ? 0 : params.Background);
  rec->Invalid = {0, 0, b.Width(), b.Height()};
  rec->EraseNeeded = true;
  rec->Handler = params.Control != ckNone ? TWindowHandler(ControlHandler) : params.Handler;
  if (!backend.CreateNative(*rec, false)) {
    if (s.LastError.empty()) s.LastError = "the display refused the window";
    return 0;
  }
  const THandle h = rec->Handle;
  TWindowRec& w = *rec;
  s.Windows.emplace(h, std::move(rec));
  if (w.IsChild()) {
    FindWindow(params.Parent)->Children.push_back(h);
  } else {
    RaiseInOrder(h);
  }
  if (CallHandler(w, wmCreate, 0, 0) == -1) {
    DestroyWindow(h);
    s.LastError = "the window's handler refused wmCreate";
    return 0;
  }
  if (FindWindow(h) && (params.Flags & wfVisible)) ShowWindow(h, swShow);
  return FindWindow(h) ? h : 0;
}

// Menus are windows the layer makes for itself: override-redirect on X11.
THandle CreateMenuWindow(const TRect& bounds, TWindowHandler handler) {
  TState& s = S();
  auto rec = std::make_unique<TWindowRec>();
  rec->Handle = s.NextHandle;
  s.NextHandle += 4;
  rec->Params.ClassName = "#32768";  // the Win32 class name of menus
  rec->Params.Flags = wfTopMost;
  rec->Params.Bounds = bounds;
  rec->Bounds = bounds;
  rec->Surface = TSurface(bounds.Width(), bounds.Height(), 0xFFFFFF);
  rec->Invalid = {0, 0, bounds.Width(), bounds.Height()};
  rec->Handler = std::move(handler);
  if (!Backend().CreateNative(*rec, true)) return 0;
  const THandle h = rec->Handle;
  s.Windows.emplace(h, std::move(rec));
  RaiseInOrder(h);
  ShowWindow(h, swShow);
  return h;
}

std::string LastWindowError() { return S().LastError; }

bool DestroyWindow(THandle window) {
  TState& s = S();
  TWindowRec* w = FindWindow(window);
  if (!w || w->Destroying) return false;
  w->Destroying = true;
  // Owned windows go with their owner, as on Win32.
  for (const THandle other : std::vector<THandle>(s.TopOrder)) {
    const TWindowRec* o = FindWindow(other);
    if (o && o->Params.Owner == window) DestroyWindow(other);
  }
  const std::vector<THandle> children = w->Children;
  for (auto it = children.rbegin(); it != children.rend(); ++it) DestroyWindow(*it);
  CallHandler(*w, wmDestroy, 0, 0);
  if (s.Focus == window) s.Focus = 0;
  if (s.Capture == window) {
    s.Capture = 0;
    if (s.Backend) s.Backend->GrabPointer(nullptr);
  }
  if (s.Tracker.Window == window) EndTracker();
  if (s.Tray.Owner == window) RemoveTrayIcon();
  std::erase_if(s.Timers, [window](const TTimer& t) { return t.Window == window; });
  if (s.Backend) s.Backend->DestroyNative(*w);
  if (w->IsChild()) {
    if (TWindowRec* parent = FindWindow(w->Params.Parent)) std::erase(parent->Children, window);
  } else {
    std::erase(s.TopOrder, window);
  }
  s.Windows.erase(window);
  return true;
}

bool IsWindow(THandle window) { return FindWindow(window) != nullptr; }

void ShowWindow(THandle window, TShowCommand command) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  TBackend& backend = Backend();
  const std::intptr_t size = MakeLParam(w->Bounds.Width(), w->Bounds.Height());
  switch (command) {
    case swShow:
      if (w->Visible) return;
      w->Visible = true;
      if (!w->IsChild()) RaiseInOrder(window);
      backend.ShowNative(*w, true);
      break;
    case swHide: {
      if (!w->Visible) return;
      w->Visible = false;
      backend.ShowNative(*w, false);
      TWindowRec* focus = FindWindow(S().Focus);
      if (focus && (focus == w || TopLevelOf(focus) == w)) S().Focus = 0;
      if (S().Capture == window) ReleaseCapture();
      break;
    }
    case swMinimize:
      if (w->IsChild() || w->Minimized) return;
      w->Minimized = true;
      backend.MinimizeNative(*w);
      SendMessage(window, wmSize, sizeMinimized, size);
      break;
    case swRestore:
      if (w->Minimized) {
        w->Minimized = false;
        w->Visible = true;
        backend.ShowNative(*w, true);
        SendMessage(window, wmSize, sizeRestored, size);
      } else if (!w->Visible) {
        ShowWindow(window, swShow);
      }
      break;
  }
}

bool IsWindowVisible(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w && ChainVisible(*w);
}

bool IsMinimized(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w && w->Minimized;
}

void SetForegroundWindow(THandle window) {
  TWindowRec* top = TopLevelOf(FindWindow(window));
  if (!top) return;
  RaiseInOrder(top->Handle);
  Backend().RaiseNative(*top);
  SetFocus(top->Handle);
}

void SetFocus(THandle window) {
  TState& s = S();
  TWindowRec* w = FindWindow(window);
  if (window && !w) return;
  const THandle old = s.Focus;
  if (old == window) return;
  s.Focus = window;
  if (FindWindow(old)) SendMessage(old, wmKillFocus, window, 0);
  if (w) {
    TWindowRec* top = TopLevelOf(w);
    if (top && top->Visible) Backend().FocusNative(*top);
    SendMessage(window, wmSetFocus, old, 0);
  }
}

THandle GetFocus() { return S().Focus; }

namespace {

// Takes new bounds and tells the window; `native` also moves the backend's
// window (not when the window manager has moved it already).
void SetBounds(THandle window, const TRect& bounds, bool repaint, bool native) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  TRect b = bounds;
  b.Right = b.Left + std::clamp(b.Width(), 0, kMaxWindowSide);
  b.Bottom = b.Top + std::clamp(b.Height(), 0, kMaxWindowSide);
  const TRect old = w->Bounds;
  if (old == b) return;
  w->Bounds = b;
  const bool resized = old.Width() != b.Width() || old.Height() != b.Height();
  if (resized) {
    w->Surface.Resize(b.Width(), b.Height(), w->Params.Background == clNone ? 0 : w->Params.Background);
  }
  if (native) Backend().MoveNative(*w);
  if (old.Left != b.Left || old.Top != b.Top) SendMessage(window, wmMove, 0, MakeLParam(b.Left, b.Top));
  if (resized && FindWindow(window)) {
    SendMessage(window, wmSize, sizeRestored, MakeLParam(b.Width(), b.Height()));
    if (repaint) InvalidateRect(window, nullptr, true);
  }
}

}  // namespace

void MoveWindow(THandle window, const TRect& bounds, bool repaint) { SetBounds(window, bounds, repaint, true); }

TRect GetWindowRect(THandle window) {
  const TWindowRec* w = FindWindow(window);
  if (!w) return {};
  const TPointI o = Origin(*w);
  return {o.X, o.Y, o.X + w->Bounds.Width(), o.Y + w->Bounds.Height()};
}

TRect GetClientRect(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? TRect{0, 0, w->Bounds.Width(), w->Bounds.Height()} : TRect{};
}

TPointI ClientToScreen(THandle window, TPointI point) {
  const TWindowRec* w = FindWindow(window);
  if (!w) return point;
  const TPointI o = Origin(*w);
  return {point.X + o.X, point.Y + o.Y};
}

TPointI ScreenToClient(THandle window, TPointI point) {
  const TWindowRec* w = FindWindow(window);
  if (!w) return point;
  const TPointI o = Origin(*w);
  return {point.X - o.X, point.Y - o.Y};
}

void SetWindowText(THandle window, std::u16string_view text) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  w->Params.Title = text;
  Backend().SetTitleNative(*w);
  if (w->Params.Control != ckNone) InvalidateRect(window, nullptr, true);
}

std::u16string GetWindowText(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->Params.Title : std::u16string();
}

std::string GetWindowClassName(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->Params.ClassName : std::string();
}

THandle GetParent(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->Params.Parent : 0;
}

THandle GetOwner(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->Params.Owner : 0;
}

uint32_t GetControlId(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->Params.ControlId : 0;
}

void SetWindowFont(THandle window, const PFont& font, bool redraw) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  w->Font = font;
  if (redraw) InvalidateRect(window, nullptr, true);
}

void SetWindowRegion(THandle window, const TRegion* region, bool redraw) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  if (region && !region->Empty()) {
    w->Shape = *region;
  } else {
    w->Shape.reset();
  }
  Backend().SetShapeNative(*w);
  if (redraw) InvalidateRect(window, nullptr, true);
}

bool GetWindowRegion(THandle window, TRegion& region) {
  const TWindowRec* w = FindWindow(window);
  if (!w || !w->Shape) return false;
  region = *w->Shape;
  return true;
}

TWindowHandler SetWindowHandler(THandle window, TWindowHandler handler) {
  TWindowRec* w = FindWindow(window);
  if (!w) return {};
  TWindowHandler previous = std::move(w->Handler);
  w->Handler = std::move(handler);
  if (!previous) previous = DefWindowHandler;
  return previous;
}

std::intptr_t DefWindowHandler(THandle window, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  TWindowRec* w = FindWindow(window);
  if (!w) return 0;
  switch (msg) {
    case wmPaint: {
      TPaint paint = BeginPaint(window);
      EndPaint(window, paint);
      return 0;
    }
    case wmEraseBkgnd:
      if (w->Params.Background != clNone) FillRect(w->Surface, w->Surface.Clip(), w->Params.Background);
      return 1;
    case wmClose:
      DestroyWindow(window);
      return 0;
    case wmSetFont:
      SetWindowFont(window, wp ? *reinterpret_cast<const PFont*>(wp) : PFont(), lp != 0);
      return 0;
    case wmSysCommand:
      switch (wp & 0xFFF0) {
        case scMove: BeginSystemMove(window); break;
        case scSize: BeginSystemSize(window, static_cast<TSizeEdge>(wp & 0xF)); break;
        case scMinimize: ShowWindow(window, swMinimize); break;
        case scRestore: ShowWindow(window, swRestore); break;
        case scClose: SendMessage(window, wmClose); break;
        default: break;
      }
      return 0;
    default:
      return 0;
  }
}

std::intptr_t SendMessage(THandle window, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  TWindowRec* w = FindWindow(window);
  return w ? CallHandler(*w, msg, wp, lp) : 0;
}

// ---- painting --------------------------------------------------------------

TSurface* GetWindowSurface(THandle window) {
  TWindowRec* w = FindWindow(window);
  return w ? &w->Surface : nullptr;
}

void InvalidateRect(THandle window, const TRect* area, bool erase) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  const TRect client{0, 0, w->Bounds.Width(), w->Bounds.Height()};
  TRect r = area ? *area : client;
  r = {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, client.Right), std::min(r.Bottom, client.Bottom)};
  if (r.Empty()) return;
  TRect& inv = w->Invalid;
  inv = inv.Empty() ? r
                    : TRect{std::min(inv.Left, r.Left), std::min(inv.Top, r.Top), std::max(inv.Right, r.Right),
                            std::max(inv.Bottom, r.Bottom)};
  w->EraseNeeded = w->EraseNeeded || erase;
}

void UpdateWindow(THandle window) {
  TWindowRec* w = FindWindow(window);
  if (w && !w->Invalid.Empty() && ChainVisible(*w)) SendMessage(window, wmPaint);
}

void PresentWindow(THandle window, const TRect* area) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  const TRect client{0, 0, w->Bounds.Width(), w->Bounds.Height()};
  TRect r = area ? *area : client;
  r = {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, client.Right), std::min(r.Bottom, client.Bottom)};
  if (r.Empty()) return;
  ++w->PresentCount;
  if (ChainVisible(*w)) Backend().Present(*w, r);
}

TPaint BeginPaint(THandle window) {
  TWindowRec* w = FindWindow(window);
  TPaint paint;
  if (!w) return paint;
  paint.Surface = &w->Surface;
  paint.Area = w->Invalid;
  const bool erase = w->EraseNeeded;
  w->Invalid = {};
  w->EraseNeeded = false;
  w->Surface.SetClip(paint.Area);
  if (erase && !paint.Area.Empty()) SendMessage(window, wmEraseBkgnd);
  return paint;
}

void EndPaint(THandle window, const TPaint& paint) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  w->Surface.ResetClip();
  PresentWindow(window, &paint.Area);
}

// ---- mouse -----------------------------------------------------------------

void SetCapture(THandle window) {
  TState& s = S();
  TWindowRec* w = FindWindow(window);
  if (!w || s.Capture == window) return;
  const THandle old = s.Capture;
  s.Capture = window;
  if (FindWindow(old)) SendMessage(old, wmCaptureChanged, 0, window);
  if (!s.Tracker.Active) Backend().GrabPointer(w);
}

void ReleaseCapture() {
  TState& s = S();
  const THandle old = s.Capture;
  if (!old) return;
  s.Capture = 0;
  if (!s.Tracker.Active && s.Backend) s.Backend->GrabPointer(nullptr);
  if (FindWindow(old)) SendMessage(old, wmCaptureChanged, 0, 0);
}

THandle GetCapture() { return S().Capture; }

TPointI GetCursorPos() {
  if (Backend().Kind() == pkX11) S().Cursor = Backend().CursorPos();
  return S().Cursor;
}

void BeginSystemMove(THandle window) { StartTracker(window, 0); }

void BeginSystemSize(THandle window, TSizeEdge edge) {
  if (edge >= seLeft && edge <= seBottomRight) StartTracker(window, edge);
}

// ---- input from the backends ------------------------------------------------

void DeliverPointer(THandle target, TPointerEvent kind, int button, TPointI screen, uint32_t modifiers,
                    uint64_t timeMs) {
  S().Cursor = screen;
  TRawInput raw;
  raw.Target = target;
  raw.Kind = kind;
  raw.Button = button;
  raw.Screen = screen;
  raw.Modifiers = modifiers;
  raw.Time = timeMs;
  S().RawInput.push_back(raw);
}

void DeliverKey(THandle target, bool down, uint32_t virtualKey, uint32_t keycode, char32_t text, bool repeat,
                uint32_t modifiers) {
  TRawInput raw;
  raw.Key = true;
  raw.Target = target;
  raw.Down = down;
  raw.VirtualKey = virtualKey;
  raw.Keycode = keycode;
  raw.Text = text;
  raw.Repeat = repeat;
  raw.Modifiers = modifiers;
  S().RawInput.push_back(raw);
}

namespace {

void ProcessPointer(THandle target, TPointerEvent kind, int button, TPointI screen, uint32_t modifiers,
                    uint64_t timeMs) {
  TState& s = S();
  if (kind == peDown) s.Buttons |= ButtonBit(button);
  if (kind == peUp) s.Buttons &= ~ButtonBit(button);
  modifiers = (modifiers & (mdShift | mdControl | mdAlt)) | s.Buttons;
  if (MenusOpen()) {
    MenuPointer(kind, button, screen);
    return;
  }
  if (s.Tracker.Active) {
    if (kind == peMove) TrackerStep(screen);
    if (kind == peUp && button == 1) {
      TrackerStep(screen);
      EndTracker();
    }
    return;
  }
  const THandle dest = FindWindow(s.Capture) ? s.Capture : target;
  TWindowRec* w = FindWindow(dest);
  if (!w) return;
  const TPointI o = Origin(*w);
  const std::intptr_t client = MakeLParam(screen.X - o.X, screen.Y - o.Y);
  const uint32_t keys = MouseKeys(modifiers);
  switch (kind) {
    case peMove:
      PostInput(dest, wmMouseMove, keys, client);
      break;
    case peWheel:
      PostInput(dest, wmMouseWheel, keys | (static_cast<uint32_t>(button * 120) & 0xFFFF) << 16,
                MakeLParam(screen.X, screen.Y));
      break;
    case peDown: {
      TWindowRec* top = TopLevelOf(w);
      TWindowRec* focus = FindWindow(s.Focus);
      if (top && (!focus || TopLevelOf(focus) != top)) SetFocus(top->Handle);
      uint32_t msg = button == 1 ? wmLButtonDown : button == 2 ? wmMButtonDown : wmRButtonDown;
      if (button == 1 || button == 3) {
        const bool dbl = s.LastClickWindow == dest && timeMs - s.LastClickTime <= kDoubleClickMs &&
                         std::abs(screen.X - s.LastClickPoint.X) <= kDoubleClickSlop &&
                         std::abs(screen.Y - s.LastClickPoint.Y) <= kDoubleClickSlop;
        const bool wantsDbl = (w->Params.Flags & wfDoubleClicks) || w->Params.Control == ckButton;
        if (dbl && wantsDbl) {
          msg = button == 1 ? wmLButtonDblClk : wmRButtonDblClk;
          s.LastClickWindow = 0;  // a third click starts over
        } else {
          s.LastClickWindow = dest;
          s.LastClickTime = timeMs;
          s.LastClickPoint = screen;
        }
      }
      PostInput(dest, msg, keys, client);
      break;
    }
    case peUp:
      PostInput(dest, button == 1 ? wmLButtonUp : button == 2 ? wmMButtonUp : wmRButtonUp, keys, client);
      break;
  }
}

void ProcessKey(THandle target, bool down, uint32_t virtualKey, uint32_t keycode, char32_t text, bool repeat,
                uint32_t modifiers) {
  TState& s = S();
  if (MenusOpen()) {
    if (down) MenuKey(virtualKey);
    return;
  }
  THandle dest = s.Focus;
  TWindowRec* focus = FindWindow(dest);
  TWindowRec* tw = FindWindow(target);
  if (tw && (!focus || TopLevelOf(focus) != TopLevelOf(tw))) dest = target;
  if (!FindWindow(dest)) return;
  const bool alt = (modifiers & mdAlt) != 0;
  const uint32_t scan = keycode >= 8 ? (keycode - 8) & 0xFF : 0;
  const bool extended = (virtualKey >= vkPrior && virtualKey <= vkDown) || virtualKey == vkInsert ||
                        virtualKey == vkDelete || virtualKey == vkDivide;
  std::intptr_t data = 1 | (scan << 16) | (extended ? 1 << 24 : 0) | (alt ? 1 << 29 : 0);
  if (!down) data |= (1u << 30) | (1u << 31);
  else if (repeat) data |= 1 << 30;
  data = static_cast<std::intptr_t>(static_cast<uint32_t>(data));
  const uint32_t msg = alt ? (down ? wmSysKeyDown : wmSysKeyUp) : (down ? wmKeyDown : wmKeyUp);
  PostInput(dest, msg, virtualKey, data, down ? static_cast<uint32_t>(text) : 0);
}

}  // namespace

void ProcessRawInput(const std::function<bool()>& enough) {
  TState& s = S();
  while (!s.RawInput.empty() && !enough()) {
    const TRawInput raw = s.RawInput.front();
    s.RawInput.pop_front();
    if (raw.Key) {
      ProcessKey(raw.Target, raw.Down, raw.VirtualKey, raw.Keycode, raw.Text, raw.Repeat, raw.Modifiers);
    } else {
      ProcessPointer(raw.Target, raw.Kind, raw.Button, raw.Screen, raw.Modifiers, raw.Time);
    }
  }
}

void DeliverConfigure(THandle window, const TRect& bounds) { SetBounds(window, bounds, true, false); }

void DeliverCloseRequest(THandle window) {
  if (FindWindow(window)) PostInput(window, wmClose, 0, 0);
}

void DeliverMinimized(THandle window, bool minimized) {
  TWindowRec* w = FindWindow(window);
  if (!w || w->Minimized == minimized) return;
  w->Minimized = minimized;
  if (!minimized) w->Visible = true;
  SendMessage(window, wmSize, minimized ? sizeMinimized : sizeRestored,
              MakeLParam(w->Bounds.Width(), w->Bounds.Height()));
}

// ---- the queue's helpers -------------------------------------------------

void PumpPlatformIfOpen() {
  if (S().Backend) S().Backend->Pump();
}

bool NextPaintOrTimer(TMessage& m) {
  TState& s = S();
  if (!s.Backend) return false;
  for (auto& [h, w] : s.Windows) {
    if (!w->Invalid.Empty() && ChainVisible(*w)) {
      m = {};
      m.Window = h;
      m.Msg = wmPaint;
      return true;
    }
  }
  const uint64_t now = NowMs();
  for (TTimer& t : s.Timers) {
    if (t.Due <= now) {
      t.Due = now + t.Interval;  // timer messages never pile up
      m = {};
      m.Window = t.Window;
      m.Msg = wmTimer;
      m.WParam = t.Id;
      return true;
    }
  }
  return false;
}

bool RunThreadTimer(uint32_t id) {
  for (const TTimer& t : S().Timers) {
    if (t.Window == 0 && t.Id == id && t.Callback) {
      TTimerCallback callback = t.Callback;
      callback(id);
      return true;
    }
  }
  return false;
}

// ---- timers ----------------------------------------------------------------

uint32_t SetTimer(THandle window, uint32_t id, uint32_t intervalMs) {
  if (!FindWindow(window)) return 0;
  Backend();
  KillTimer(window, id);
  const uint32_t interval = std::max<uint32_t>(intervalMs, 1);
  S().Timers.push_back({window, id, interval, NowMs() + interval, {}});
  return id;
}

uint32_t SetTimer(uint32_t intervalMs, TTimerCallback callback) {
  Backend();
  const uint32_t id = S().NextThreadTimer++;
  const uint32_t interval = std::max<uint32_t>(intervalMs, 1);
  S().Timers.push_back({0, id, interval, NowMs() + interval, std::move(callback)});
  return id;
}

bool KillTimer(THandle window, uint32_t id) {
  return std::erase_if(S().Timers, [&](const TTimer& t) { return t.Window == window && t.Id == id; }) > 0;
}

// ---- screen ----------------------------------------------------------------

int32_t GetScreenWidth() { return Backend().ScreenSize().X; }
int32_t GetScreenHeight() { return Backend().ScreenSize().Y; }
int32_t GetScreenDepth() { return Backend().ScreenDepth(); }

// ---- tray ------------------------------------------------------------------

// The icon stays registered while no tray runs; the backend docks it when a
// tray starts, so the tip is kept here and handed over at every change.
bool TrayAvailable() { return Backend().TrayExists(); }

bool AddTrayIcon(THandle owner, uint32_t id, uint32_t callbackMessage, const TIconSet& icon, std::u16string_view tip) {
  TTray& t = S().Tray;
  if (!FindWindow(owner)) return false;
  if (t.Present) RemoveTrayIcon();
  t = {};
  t.Present = true;
  t.Owner = owner;
  t.Id = id;
  t.CallbackMessage = callbackMessage;
  t.Tip = CutUtf16(tip, kTrayTipMax);
  Backend().TrayDock(icon, t.Tip);
  return true;
}

bool TrayIconDocked() { return S().Tray.Present && Backend().TrayDocked(); }

bool ModifyTrayTip(std::u16string_view tip) {
  TTray& t = S().Tray;
  if (!t.Present) return false;
  t.Tip = CutUtf16(tip, kTrayTipMax);
  Backend().TraySetTip(t.Tip);
  return true;
}

bool ShowTrayBalloon(std::u16string_view title, std::u16string_view text) {
  TTray& t = S().Tray;
  if (!TrayIconDocked()) return false;
  t.BalloonTitle = CutUtf16(title, kBalloonTitleMax);
  t.BalloonText = CutUtf16(text, kBalloonTextMax);
  ++t.BalloonCount;
  Backend().TrayBalloon(t.BalloonTitle, t.BalloonText);
  return true;
}

void RemoveTrayIcon() {
  TTray& t = S().Tray;
  if (!t.Present) return;
  t.Present = false;
  if (S().Backend) S().Backend->TrayUndock();
}

void DeliverTrayMouse(uint32_t mouseMessage) {
  const TTray& t = S().Tray;
  if (t.Present && FindWindow(t.Owner)) PostInput(t.Owner, t.CallbackMessage, t.Id, mouseMessage);
}

// ---- test access -------------------------------------------------------------

void InjectMouseMove(TPointI screen) { DeliverPointer(WindowAt(screen), peMove, 0, screen, 0, NowMs()); }

void InjectMouseButton(int button, bool down, TPointI screen) {
  DeliverPointer(WindowAt(screen), down ? peDown : peUp, button, screen, 0, NowMs());
}

void InjectWheel(int notches, TPointI screen) { DeliverPointer(WindowAt(screen), peWheel, notches, screen, 0, NowMs()); }

void InjectKey(bool down, uint32_t virtualKey, uint32_t keycode, char32_t text, bool alt) {
  DeliverKey(0, down, virtualKey, keycode, text, false, alt ? static_cast<uint32_t>(mdAlt) : 0u);
}

void InjectTrayMouse(uint32_t mouseMessage) { DeliverTrayMouse(mouseMessage); }

TTrayState GetTrayState() {
  const TTray& t = S().Tray;
  return {t.Present, t.Owner, t.Id, t.CallbackMessage, t.Tip, t.BalloonTitle, t.BalloonText, t.BalloonCount};
}

void UseManualClockForTesting(bool manual) {
  S().ClockMs = SteadyMs();
  S().ManualClock = manual;
}

void AdvanceClockForTesting(uint32_t ms) { S().ClockMs += ms; }

uint32_t PresentCount(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->PresentCount : 0;
}

THandle WindowAtPoint(TPointI screen) { return WindowAt(screen); }

std::uintptr_t NativeWindowForTesting(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->Native : 0;
}

int DispatchPendingMessages() {
  int n = 0;
  TMessage m;
  while (PeekMessage(m)) {
    if (m.Msg == wmQuit) {
      PostMessage(m);
      break;
    }
    TranslateMessage(m);
    DispatchMessage(m);
    ++n;
  }
  return n;
}

}  // namespace vesperon
