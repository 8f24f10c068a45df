#include "platform/message_queue.h"

#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <deque>
#include <mutex>

#include "core/idle_path.h"
#include "platform/backend.h"

namespace vesperon {
namespace {

std::deque<TMessage>& Queue() {
  static std::deque<TMessage> queue;
  return queue;
}

// Guards the queue: another thread may post.
std::mutex& QueueLock() {
  static std::mutex lock;
  return lock;
}

// The messages in the queue, changed under the lock with the queue: an
// empty queue is seen without taking the lock, which the idle loop would
// otherwise take three times a pass. A post's count and the waiter's flag
// are both sequentially consistent, so a post either is counted before the
// waiter looks or finds the waiting flag set and wakes it.
std::atomic<size_t> gQueued{0};

volatile std::sig_atomic_t gQuitFromSignal = 0;

// Wakes a WaitForMessage: written by a post from another thread while the
// loop waits, and by the signal handler. Made before main, so that a signal
// handler never creates it.
const int gWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
std::atomic<bool> gWaiting{false};

void Wake() {
  if (gWakeFd < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(gWakeFd, &one, sizeof one);
}

void DrainWake() {
  if (gWakeFd < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(gWakeFd, &count, sizeof count);
}

// poll that tells how long it waited. With a limit, the length comes from
// the time the kernel says was left (ppoll writes it back; the C library's
// ppoll hides it): a clock read right after a long sleep costs more than
// all the idle loop's other work of that pass, as the clock's pages have
// gone cold.
void PollMeasured(std::vector<pollfd>& fds, int timeoutMs, uint64_t* sleptUs) {
  if (sleptUs == nullptr) {
    poll(fds.data(), fds.size(), timeoutMs);
    return;
  }
  if (timeoutMs < 0) {
    const auto start = std::chrono::steady_clock::now();
    poll(fds.data(), fds.size(), timeoutMs);
    *sleptUs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count());
    return;
  }
  timespec left{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1'000'000L};
  constexpr size_t kKernelSigsetBytes = 8;
  syscall(SYS_ppoll, fds.data(), fds.size(), &left, nullptr, kKernelSigsetBytes);
  const uint64_t leftUs =
      static_cast<uint64_t>(left.tv_sec) * 1'000'000u + static_cast<uint64_t>(left.tv_nsec) / 1000u;
  const uint64_t limitUs = static_cast<uint64_t>(timeoutMs) * 1000u;
  *sleptUs = limitUs - std::min(leftUs, limitUs);
}

bool QueueEmpty() { return gQueued.load() == 0; }

}  // namespace

void PostMessage(const TMessage& message) {
  {
    std::lock_guard lock(QueueLock());
    Queue().push_back(message);
    gQueued.fetch_add(1);
  }
  // The waiting flag is set before the waiter last looks at the queue: a
  // message it did not see finds the flag set and wakes it.
  if (gWaiting.load()) Wake();
}

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

void PostQuitMessageFromSignal() {
  gQuitFromSignal = 1;
  Wake();
}

// Order as on Win32: posted messages first, then input, then a paint for a
// window with an invalid area, then a due timer.
VESPERON_IDLE_PATH bool PeekMessage(TMessage& message) {
  if (gQuitFromSignal) {
    gQuitFromSignal = 0;
    PostQuitMessage(0);
  }
  PumpPlatformIfOpen();
  if (QueueEmpty()) ProcessRawInput([] { return !QueueEmpty(); });
  if (!QueueEmpty()) {
    std::lock_guard lock(QueueLock());
    auto& q = Queue();
    if (!q.empty()) {
      message = q.front();
      q.pop_front();
      gQueued.fetch_sub(1);
      return true;
    }
  }
  return NextPaintOrTimer(message);
}

VESPERON_IDLE_PATH bool MessageWaiting() {
  // Events the display connection has read already sit in its own queue,
  // where poll cannot see them: they are taken first.
  PumpPlatformIfOpen();
  return gQuitFromSignal || !QueueEmpty() || LayerHasWork();
}

VESPERON_IDLE_PATH bool WaitForMessage(std::vector<pollfd>& fds, int timeoutMs, uint64_t* sleptUs) {
  gWaiting.store(true);
  if (MessageWaiting()) {
    gWaiting.store(false);
    return false;
  }
  const uint32_t timer = MsUntilNextTimer();
  if (timer != UINT32_MAX && (timeoutMs < 0 || timer < static_cast<uint32_t>(timeoutMs))) {
    timeoutMs = static_cast<int>(timer);
  }
  const size_t callers = fds.size();
  fds.push_back(pollfd{gWakeFd, POLLIN, 0});  // poll skips a descriptor of -1
  if (const int display = LayerConnectionFd(); display >= 0)
    fds.push_back(pollfd{display, POLLIN, 0});
  for (pollfd& fd : fds) fd.revents = 0;
  PollMeasured(fds, timeoutMs, sleptUs);
  // A wake-up that came while nobody waited leaves the descriptor readable:
  // it ends this wait early once, and is taken here.
  if (fds[callers].revents != 0) DrainWake();
  fds.resize(callers);
  gWaiting.store(false);
  return true;
}

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
  std::lock_guard lock(QueueLock());
  Queue().clear();
  gQueued.store(0);
  gQuitFromSignal = 0;
}

}  // namespace vesperon
