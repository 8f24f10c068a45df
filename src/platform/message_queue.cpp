#include "platform/message_queue.h"

#include <csignal>
#include <deque>

#include "platform/backend.h"

namespace vesperon {
namespace {

std::deque<TMessage>& Queue() {
  static std::deque<TMessage> queue;
  return queue;
}

volatile std::sig_atomic_t gQuitFromSignal = 0;

}  // namespace

void PostMessage(const TMessage& message) { Queue().push_back(message); }

void PostMessage(THandle window, uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  TMessage m;
  m.Window = window;
  m.Msg = msg;
  m.WParam = wParam;
  m.LParam = lParam;
  PostMessage(m);
}

void PostQuitMessage(int exitCode) {
  TMessage m;
  m.Msg = wmQuit;
  m.WParam = static_cast<std::uintptr_t>(exitCode);
  PostMessage(m);
}

void PostQuitMessageFromSignal() { gQuitFromSignal = 1; }

// Order as on Win32: posted messages first, then input, then a paint for a
// window with an invalid area, then a due timer.
bool PeekMessage(TMessage& message) {
  if (gQuitFromSignal) {
    gQuitFromSignal = 0;
    PostQuitMessage(0);
  }
  PumpPlatformIfOpen();
  auto& q = Queue();
  if (q.empty()) ProcessRawInput([&q] { return !q.empty(); });
  if (q.empty()) return NextPaintOrTimer(message);
  message = q.front();
  q.pop_front();
  return true;
}

bool MessageWaiting() {
  // Events Xlib has read already sit in its own queue, where poll cannot
  // see them: they are taken first.
  PumpPlatformIfOpen();
  return gQuitFromSignal || !Queue().empty() || LayerHasWork();
}

int MessageWaitFd() { return LayerConnectionFd(); }

void TranslateMessage(const TMessage& message) {
  if ((message.Msg != wmKeyDown && message.Msg != wmSysKeyDown) || message.Char == 0) return;
  const uint32_t charMsg = message.Msg == wmKeyDown ? 0x0102u : 0x0106u;  // wmChar, wmSysChar
  char32_t c = message.Char;
  if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return;
  if (c >= 0x10000) {
    c -= 0x10000;
    PostMessage(message.Window, charMsg, 0xD800 + (c >> 10), message.LParam);
    PostMessage(message.Window, charMsg, 0xDC00 + (c & 0x3FF), message.LParam);
    return;
  }
  PostMessage(message.Window, charMsg, c, message.LParam);
}

void DispatchMessage(const TMessage& message) {
  if (message.Window == 0) {
    if (message.Msg == wmTimer) RunThreadTimer(static_cast<uint32_t>(message.WParam));
    return;
  }
  TWindowRec* w = FindWindow(message.Window);
  if (!w) return;
  const TRect invalidBefore = w->Invalid;
  SendMessage(message.Window, message.Msg, message.WParam, message.LParam);
  // A paint handler that never began painting would be asked again at once,
  // for ever; the area counts as painted, as it does on Win32.
  if (message.Msg == wmPaint) {
    w = FindWindow(message.Window);
    if (w && w->Invalid == invalidBefore) {
      w->Invalid = {};
      w->EraseNeeded = false;
    }
  }
}

void ClearMessageQueue() {
  Queue().clear();
  gQuitFromSignal = 0;
}

}  // namespace vesperon
