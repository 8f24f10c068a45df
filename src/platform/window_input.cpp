// Input: focus and capture, system move and size done by the layer, and the
// pointer and key events a backend reports, turned into messages only when
// the queue is empty.
#include <algorithm>
#include <cstdlib>

#include "core/idle_path.h"
#include "platform/window_state.h"

namespace vesperon {
namespace {

constexpr uint64_t kDoubleClickMs = 500;
constexpr int32_t kDoubleClickSlop = 4;

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
  TTracker& t = Layer().Tracker;
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
    if (e == seLeft || e == seTopLeft || e == seBottomLeft)
      r.Left = std::min(r.Left + dx, r.Right - 1);
    if (e == seRight || e == seTopRight || e == seBottomRight)
      r.Right = std::max(r.Right + dx, r.Left + 1);
    if (e == seTop || e == seTopLeft || e == seTopRight) r.Top = std::min(r.Top + dy, r.Bottom - 1);
    if (e == seBottom || e == seBottomLeft || e == seBottomRight)
      r.Bottom = std::max(r.Bottom + dy, r.Top + 1);
    SendMessage(w->Handle, wmSizing, e, reinterpret_cast<std::intptr_t>(&r));
    if (r.Empty()) return;  // a handler that empties the rectangle refuses the step
  }
  if (FindWindow(t.Window)) MoveWindow(t.Window, r, true);
}

void StartTracker(THandle window, uint32_t edge) {
  TWindowRec* w = TopLevelOf(FindWindow(window));
  if (!w || !(Layer().Buttons & mdLeft)) return;  // the button is already up: nothing to drag
  if (Backend().WindowManagerMoveResize(*w, edge, Layer().Cursor)) return;
  Layer().Tracker = {true, w->Handle, edge, Layer().Cursor, w->Bounds};
  Backend().GrabPointer(w);
}

}  // namespace

void EndTracker() {
  Layer().Tracker.Active = false;
  TWindowRec* capture = FindWindow(Layer().Capture);
  Backend().GrabPointer(capture);
}

void SetFocus(THandle window) {
  TState& s = Layer();
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

THandle GetFocus() { return Layer().Focus; }
// ---- mouse -----------------------------------------------------------------

void SetCapture(THandle window) {
  TState& s = Layer();
  TWindowRec* w = FindWindow(window);
  if (!w || s.Capture == window) return;
  const THandle old = s.Capture;
  s.Capture = window;
  if (FindWindow(old)) SendMessage(old, wmCaptureChanged, 0, window);
  if (!s.Tracker.Active) Backend().GrabPointer(w);
}

void ReleaseCapture() {
  TState& s = Layer();
  const THandle old = s.Capture;
  if (!old) return;
  s.Capture = 0;
  if (!s.Tracker.Active && s.Backend) s.Backend->GrabPointer(nullptr);
  if (FindWindow(old)) SendMessage(old, wmCaptureChanged, 0, 0);
}

THandle GetCapture() { return Layer().Capture; }

TPointI GetCursorPos() {
  if (Backend().Kind() == pkX11) Layer().Cursor = Backend().CursorPos();
  return Layer().Cursor;
}

void BeginSystemMove(THandle window) { StartTracker(window, 0); }

void BeginSystemSize(THandle window, TSizeEdge edge) {
  if (edge >= seLeft && edge <= seBottomRight) StartTracker(window, edge);
}

// ---- input from the backends ------------------------------------------------

void DeliverPointer(THandle target, TPointerEvent kind, int button, TPointI screen,
                    uint32_t modifiers, uint64_t timeMs) {
  Layer().Cursor = screen;
  TRawInput raw;
  raw.Target = target;
  raw.Kind = kind;
  raw.Button = button;
  raw.Screen = screen;
  raw.Modifiers = modifiers;
  raw.Time = timeMs;
  Layer().RawInput.push_back(raw);
}

void DeliverKey(THandle target, bool down, uint32_t virtualKey, uint32_t keycode, char32_t text,
                bool repeat, uint32_t modifiers) {
  TRawInput raw;
  raw.Key = true;
  raw.Target = target;
  raw.Down = down;
  raw.VirtualKey = virtualKey;
  raw.Keycode = keycode;
  raw.Text = text;
  raw.Repeat = repeat;
  raw.Modifiers = modifiers;
  Layer().RawInput.push_back(raw);
}

namespace {

// A click-through child hands pointer input to the window it sits in.
THandle ClickTarget(THandle target) {
  const TWindowRec* w = FindWindow(target);
  while (w != nullptr && w->IsChild() && (w->Params.Flags & wfClickThrough))
    w = FindWindow(w->Params.Parent);
  return w != nullptr ? w->Handle : target;
}

void ProcessPointer(THandle target, TPointerEvent kind, int button, TPointI screen,
                    uint32_t modifiers, uint64_t timeMs) {
  TState& s = Layer();
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
  const THandle dest = FindWindow(s.Capture) ? s.Capture : ClickTarget(target);
  TWindowRec* w = FindWindow(dest);
  if (!w) return;
  const TPointI o = Origin(*w);
  const std::intptr_t client = MakeLParam(screen.X - o.X, screen.Y - o.Y);
  const uint32_t keys = MouseKeys(modifiers);
  switch (kind) {
    case peMove: PostInput(dest, wmMouseMove, keys, client); break;
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
      PostInput(dest,
                button == 1   ? wmLButtonUp
                : button == 2 ? wmMButtonUp
                              : wmRButtonUp,
                keys, client);
      break;
  }
}

void ProcessKey(THandle target, bool down, uint32_t virtualKey, uint32_t keycode, char32_t text,
                bool repeat, uint32_t modifiers) {
  TState& s = Layer();
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

VESPERON_IDLE_PATH void ProcessRawInput(bool (*enough)()) {
  TState& s = Layer();
  while (!s.RawInput.empty() && !enough()) {
    const TRawInput raw = s.RawInput.front();
    s.RawInput.pop_front();
    if (raw.Key) {
      ProcessKey(raw.Target, raw.Down, raw.VirtualKey, raw.Keycode, raw.Text, raw.Repeat,
                 raw.Modifiers);
    } else {
      ProcessPointer(raw.Target, raw.Kind, raw.Button, raw.Screen, raw.Modifiers, raw.Time);
    }
  }
}
// ---- test access -------------------------------------------------------------

void InjectMouseMove(TPointI screen) {
  DeliverPointer(WindowAt(screen), peMove, 0, screen, 0, NowMs());
}

void InjectMouseButton(int button, bool down, TPointI screen) {
  DeliverPointer(WindowAt(screen), down ? peDown : peUp, button, screen, 0, NowMs());
}

void InjectWheel(int notches, TPointI screen) {
  DeliverPointer(WindowAt(screen), peWheel, notches, screen, 0, NowMs());
}

void InjectKey(bool down, uint32_t virtualKey, uint32_t keycode, char32_t text, bool alt) {
  DeliverKey(0, down, virtualKey, keycode, text, false, alt ? static_cast<uint32_t>(mdAlt) : 0u);
}

}  // namespace vesperon
