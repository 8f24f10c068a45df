#include "platform/message_queue.h"

#include <csignal>
#include <deque>

namespace vesperon {
namespace {

std::deque<TMessage>& Queue() {
  static std::deque<TMessage> queue;
  return queue;
}

volatile std::sig_atomic_t gQuitFromSignal = 0;

}  // namespace

void PostMessage(const TMessage& message) { Queue().push_back(message); }

void PostQuitMessage(int exitCode) {
  TMessage m;
  m.Msg = wmQuit;
  m.WParam = static_cast<std::uintptr_t>(exitCode);
  PostMessage(m);
}

void PostQuitMessageFromSignal() { gQuitFromSignal = 1; }

bool PeekMessage(TMessage& message) {
  if (gQuitFromSignal) {
    gQuitFromSignal = 0;
    PostQuitMessage(0);
  }
  auto& q = Queue();
  if (q.empty()) return false;
  message = q.front();
  q.pop_front();
  return true;
}

void TranslateMessage(const TMessage&) {}

void DispatchMessage(const TMessage&) {}

void ClearMessageQueue() {
  Queue().clear();
  gQuitFromSignal = 0;
}

}  // namespace vesperon
