// Window records and their lifetime: the backend's selection, creating,
// showing and destroying windows, their bounds and properties, and which
// window lies under a screen point. Message routing, painting, input, timers
// and the tray live in the files beside this one (window_state.h lists the
// state they share); backends only mirror windows on a display.
#include <algorithm>
#include <cstdlib>

#include "core/idle_path.h"
#include "core/log.h"
#include "core/params.h"
#include "platform/window_state.h"

namespace vesperon {

VESPERON_IDLE_PATH TState& Layer() {
  static TState state;
  return state;
}

TWindowRec* TopLevelOf(TWindowRec* w) {
  while (w && w->IsChild()) w = FindWindow(w->Params.Parent);
  return w;
}

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

VESPERON_IDLE_PATH bool ChainVisible(const TWindowRec& w) {
  if (!w.Visible || w.Minimized) return false;
  if (!w.IsChild()) return true;
  const TWindowRec* parent = FindWindow(w.Params.Parent);
  return parent && ChainVisible(*parent);
}

void RaiseInOrder(THandle h) {
  auto& order = Layer().TopOrder;
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

namespace {

THandle ChildAt(const TWindowRec& w, TPointI local) {
  for (auto it = w.Children.rbegin(); it != w.Children.rend(); ++it) {
    const TWindowRec* c = FindWindow(*it);
    if (!c || !c->Visible || !c->Bounds.Contains(local.X, local.Y)) continue;
    if (c->Params.Flags & wfClickThrough) continue;  // its window takes the pointer
    const TPointI inner{local.X - c->Bounds.Left, local.Y - c->Bounds.Top};
    if (c->Shape && !c->Shape->Contains(inner.X, inner.Y)) continue;
    const THandle deeper = ChildAt(*c, inner);
    return deeper ? deeper : c->Handle;
  }
  return 0;
}

}  // namespace

// ---- backend selection -----------------------------------------------------

TPlatformKind OpenPlatform(TPlatformKind wanted) {
  TState& s = Layer();
  if (s.Backend) return s.Backend->Kind();
  const char* forced = std::getenv("VESPERON_PLATFORM");
  if (wanted == pkNone && forced && std::string(forced) == "headless") wanted = pkHeadless;
  if (wanted != pkHeadless) {
    std::string name = gParams.Display;
    if (name.empty() && std::getenv("DISPLAY")) name = std::getenv("DISPLAY");
    if (!name.empty() || wanted == pkX11) s.Backend = MakeX11Backend(name);
    if (!s.Backend && !name.empty())
      LogWarning("could not open X display " + name + ", running without windows");
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
  TState& s = Layer();
  if (!s.Backend) return;
  DestroyAllMenus();
  RemoveTrayIcon();
  const std::vector<THandle> topLevel = s.TopOrder;
  for (auto it = topLevel.rbegin(); it != topLevel.rend(); ++it) DestroyWindow(*it);
  s.TopOrder.clear();
  s.RecentlyFound = {};
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

TPlatformKind PlatformKind() { return Layer().Backend ? Layer().Backend->Kind() : pkNone; }
std::string PlatformDisplayName() {
  return Layer().Backend ? Layer().Backend->DisplayName() : std::string();
}

VESPERON_IDLE_PATH TBackend& Backend() {
  if (!Layer().Backend) OpenPlatform(pkNone);
  return *Layer().Backend;
}

VESPERON_IDLE_PATH TWindowRec* FindWindow(THandle window) {
  TState& s = Layer();
  for (const auto& [handle, rec] : s.RecentlyFound) {
    if (handle == window && handle != 0) return rec;
  }
  const auto it = s.Windows.find(window);
  if (it == s.Windows.end()) return nullptr;
  s.RecentlyFound[1] = s.RecentlyFound[0];
  s.RecentlyFound[0] = {window, it->second.get()};
  return it->second.get();
}

TWindowRec* FindNative(std::uintptr_t native) {
  for (auto& [h, w] : Layer().Windows) {
    if (w->Native == native) return w.get();
  }
  return nullptr;
}

const std::vector<THandle>& TopLevelOrder() { return Layer().TopOrder; }

THandle WindowAt(TPointI screen) {
  const auto& order = Layer().TopOrder;
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

PFont DefaultUiFont() {
  if (!Layer().UiFont) Layer().UiFont = CreateFont("Sans", 12);
  return Layer().UiFont;
}

// ---- windows ---------------------------------------------------------------

THandle CreateWindow(const TWindowParams& params) {
  TState& s = Layer();
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
  if (b.Width() < 0 || b.Height() < 0 || b.Width() > kMaxWindowSide ||
      b.Height() > kMaxWindowSide) {
    s.LastError = "window size out of range";
    return 0;
  }
  auto rec = std::make_unique<TWindowRec>();
  rec->Handle = s.NextHandle;
  s.NextHandle += 4;
  rec->Params = params;
  rec->Bounds = b;
  rec->Surface =
      TSurface(b.Width(), b.Height(), params.Background == clNone ? 0 : params.Background);
  rec->Invalid = {0, 0, b.Width(), b.Height()};
  s.PaintMaybeDue = true;
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
  TState& s = Layer();
  auto rec = std::make_unique<TWindowRec>();
  rec->Handle = s.NextHandle;
  s.NextHandle += 4;
  rec->Params.ClassName = "#32768";  // the Win32 class name of menus
  rec->Params.Flags = wfTopMost;
  rec->Params.Bounds = bounds;
  rec->Bounds = bounds;
  rec->Surface = TSurface(bounds.Width(), bounds.Height(), 0xFFFFFF);
  rec->Invalid = {0, 0, bounds.Width(), bounds.Height()};
  Layer().PaintMaybeDue = true;
  rec->Handler = std::move(handler);
  if (!Backend().CreateNative(*rec, true)) return 0;
  const THandle h = rec->Handle;
  s.Windows.emplace(h, std::move(rec));
  RaiseInOrder(h);
  ShowWindow(h, swShow);
  return h;
}

std::string LastWindowError() { return Layer().LastError; }

bool DestroyWindow(THandle window) {
  TState& s = Layer();
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
  s.RecentlyFound = {};
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
      Layer().PaintMaybeDue = true;
      if (!w->IsChild()) RaiseInOrder(window);
      backend.ShowNative(*w, true);
      break;
    case swHide: {
      if (!w->Visible) return;
      w->Visible = false;
      backend.ShowNative(*w, false);
      TWindowRec* focus = FindWindow(Layer().Focus);
      if (focus && (focus == w || TopLevelOf(focus) == w)) Layer().Focus = 0;
      if (Layer().Capture == window) ReleaseCapture();
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
        Layer().PaintMaybeDue = true;
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
    w->Surface.Resize(b.Width(), b.Height(),
                      w->Params.Background == clNone ? 0 : w->Params.Background);
  }
  if (native) Backend().MoveNative(*w);
  if (old.Left != b.Left || old.Top != b.Top)
    SendMessage(window, wmMove, 0, MakeLParam(b.Left, b.Top));
  if (resized && FindWindow(window)) {
    SendMessage(window, wmSize, sizeRestored, MakeLParam(b.Width(), b.Height()));
    if (repaint) InvalidateRect(window, nullptr, true);
  }
}

void MoveWindow(THandle window, const TRect& bounds, bool repaint) {
  SetBounds(window, bounds, repaint, true);
}

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

// ---- what the window manager did -------------------------------------------

void DeliverConfigure(THandle window, const TRect& bounds) {
  SetBounds(window, bounds, true, false);
}

void DeliverCloseRequest(THandle window) {
  if (FindWindow(window)) PostInput(window, wmClose, 0, 0);
}

void DeliverMinimized(THandle window, bool minimized) {
  TWindowRec* w = FindWindow(window);
  if (!w || w->Minimized == minimized) return;
  w->Minimized = minimized;
  if (!minimized) w->Visible = true;
  Layer().PaintMaybeDue = true;
  SendMessage(window, wmSize, minimized ? sizeMinimized : sizeRestored,
              MakeLParam(w->Bounds.Width(), w->Bounds.Height()));
}

// ---- screen ----------------------------------------------------------------

int32_t GetScreenWidth() { return Backend().ScreenSize().X; }
int32_t GetScreenHeight() { return Backend().ScreenSize().Y; }
int32_t GetScreenDepth() { return Backend().ScreenDepth(); }

THandle WindowAtPoint(TPointI screen) { return WindowAt(screen); }

std::uintptr_t NativeWindowForTesting(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->Native : 0;
}

}  // namespace vesperon
