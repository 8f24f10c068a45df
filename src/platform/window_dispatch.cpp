// Message routing: the handlers' calls, the default handler, the messages the
// queue makes when it is empty (paints, then due timers), timers and the
// layer's clock.
#include <algorithm>
#include <chrono>

#include "core/idle_path.h"
#include "platform/window_state.h"

namespace vesperon {

uint64_t SteadyMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::intptr_t CallHandler(TWindowRec& w, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  TWindowHandler handler = w.Handler;  // a handler may replace itself
  const THandle h = w.Handle;
  if (handler) return handler(h, msg, wp, lp);
  return DefWindowHandler(h, msg, wp, lp);
}

void PostInput(THandle window, uint32_t msg, std::uintptr_t wp, std::intptr_t lp, uint32_t ch) {
  TMessage m;
  m.Window = window;
  m.Msg = msg;
  m.WParam = wp;
  m.LParam = lp;
  m.Char = ch;
  PostMessage(m);
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
      if (w->Params.Background != clNone)
        FillRect(w->Surface, w->Surface.Clip(), w->Params.Background);
      return 1;
    case wmClose: DestroyWindow(window); return 0;
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
    default: return 0;
  }
}

std::intptr_t SendMessage(THandle window, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  TWindowRec* w = FindWindow(window);
  return w ? CallHandler(*w, msg, wp, lp) : 0;
}

// ---- the queue's helpers -------------------------------------------------

VESPERON_IDLE_PATH void PumpPlatformIfOpen() {
  if (Layer().Backend) Layer().Backend->Pump();
}

namespace {

// The first window to paint; 0 when none (and then none until a window is
// invalidated, created, shown or restored).
VESPERON_IDLE_PATH THandle WindowToPaint(TState& s) {
  if (!s.PaintMaybeDue) return 0;
  for (auto& [h, w] : s.Windows) {
    if (!w->Invalid.Empty() && ChainVisible(*w)) return h;
  }
  s.PaintMaybeDue = false;
  return 0;
}

}  // namespace

VESPERON_IDLE_PATH bool NextPaintOrTimer(TMessage& m) {
  TState& s = Layer();
  if (!s.Backend) return false;
  if (const THandle h = WindowToPaint(s)) {
    m = {};
    m.Window = h;
    m.Msg = wmPaint;
    return true;
  }
  // Without timers the clock is not read: the idle loop asks on every pass.
  if (s.Timers.empty()) return false;
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

VESPERON_IDLE_PATH bool LayerHasWork() {
  TState& s = Layer();
  if (!s.Backend) return false;
  if (!s.RawInput.empty() || s.Backend->EventsQueued()) return true;
  if (WindowToPaint(s) != 0) return true;
  return MsUntilNextTimer() == 0;
}

VESPERON_IDLE_PATH uint32_t MsUntilNextTimer() {
  uint64_t due = UINT64_MAX;
  for (const TTimer& t : Layer().Timers) due = std::min(due, t.Due);
  if (due == UINT64_MAX) return UINT32_MAX;
  const uint64_t now = NowMs();
  return due <= now ? 0 : static_cast<uint32_t>(std::min<uint64_t>(due - now, UINT32_MAX - 1));
}

VESPERON_IDLE_PATH int LayerConnectionFd() {
  return Layer().Backend ? Layer().Backend->ConnectionFd() : -1;
}

bool RunThreadTimer(uint32_t id) {
  for (const TTimer& t : Layer().Timers) {
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
  Layer().Timers.push_back({window, id, interval, NowMs() + interval, {}});
  return id;
}

uint32_t SetTimer(uint32_t intervalMs, TTimerCallback callback) {
  Backend();
  const uint32_t id = Layer().NextThreadTimer++;
  const uint32_t interval = std::max<uint32_t>(intervalMs, 1);
  Layer().Timers.push_back({0, id, interval, NowMs() + interval, std::move(callback)});
  return id;
}

bool KillTimer(THandle window, uint32_t id) {
  return std::erase_if(Layer().Timers,
                       [&](const TTimer& t) { return t.Window == window && t.Id == id; }) > 0;
}

// ---- the clock and test access ----------------------------------------------

uint64_t NowMs() { return Layer().ManualClock ? Layer().ClockMs : SteadyMs(); }

void UseManualClockForTesting(bool manual) {
  Layer().ClockMs = SteadyMs();
  Layer().ManualClock = manual;
}

void AdvanceClockForTesting(uint32_t ms) { Layer().ClockMs += ms; }

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