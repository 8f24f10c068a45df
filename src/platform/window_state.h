#pragma once
// Inside the layer: the state the files of the shared logic share (window
// records, focus, capture, timers, the tray, input not yet turned into
// messages) and the small helpers more than one of them needs.
#include <array>
#include <deque>
#include <map>

#include "platform/backend.h"
#include "platform/headless.h"

namespace vesperon {

constexpr int32_t kMaxWindowSide = 16384;

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
  // The two windows found last: on every slow tick the idle loop looks up
  // the same scrolling label and its parent several times, and a walk
  // through the map costs more than the work. Emptied when a window goes.
  std::array<std::pair<THandle, TWindowRec*>, 2> RecentlyFound{};
  std::vector<THandle> TopOrder;  // bottom to top
  THandle NextHandle = 0x1000;
  THandle Focus = 0;
  THandle Capture = 0;
  uint32_t Buttons = 0;  // mdLeft | mdMiddle | mdRight held
  TPointI Cursor;
  std::vector<TTimer> Timers;
  // False once a look through the windows found none to paint, until a
  // window is invalidated, created, shown or restored: the idle loop asks
  // twice a pass, and need not walk every window each time.
  bool PaintMaybeDue = true;
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

TState& Layer();
uint64_t SteadyMs();

TWindowRec* TopLevelOf(TWindowRec* w);
// The screen position of the window's client origin.
TPointI Origin(const TWindowRec& w);
// Visible and not minimised, and so is every parent.
bool ChainVisible(const TWindowRec& w);
// Puts a top-level window at the top of its band (top-most or not).
void RaiseInOrder(THandle h);
// Takes new bounds and tells the window; `native` also moves the backend's
// window (not when the window manager has moved it already).
void SetBounds(THandle window, const TRect& bounds, bool repaint, bool native);

// Calls the window's handler, or the default one when it has none.
std::intptr_t CallHandler(TWindowRec& w, uint32_t msg, std::uintptr_t wp, std::intptr_t lp);
// Posts a message made from input to the main loop's queue.
void PostInput(THandle window, uint32_t msg, std::uintptr_t wp, std::intptr_t lp, uint32_t ch = 0);

// Ends a system move or size the layer does itself.
void EndTracker();

// The handler of standard controls (buttons, static text).
std::intptr_t ControlHandler(THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp);

}  // namespace vesperon