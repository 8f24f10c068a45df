#pragma once
// The thread's message queue: window messages, posted messages and the quit
// message, taken one at a time by the main loop without waiting.
#include <poll.h>

#include <cstdint>
#include <vector>

namespace vesperon {

using THandle = std::uintptr_t;  // a window handle; 0 is none

// Message identifiers carry the numbers of their Win32 counterparts, so that
// logs and tables compare with the original Windows build.
enum TMessageId : uint32_t {
  wmNull = 0x0000,
  wmQuit = 0x0012,
  wmUser = 0x0400,
};

struct TMessage {
  THandle Window = 0;
  uint32_t Msg = wmNull;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  // Key-down messages: the character the key types (UTF-32, 0 for none),
  // which TranslateMessage turns into wmChar messages.
  uint32_t Char = 0;
};

// Appends a message to the queue; any thread may post, and a post wakes a
// WaitForMessage. From a signal handler only PostQuitMessageFromSignal.
void PostMessage(const TMessage& message);
void PostMessage(THandle window, uint32_t msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
void PostQuitMessage(int exitCode);
// Async-signal-safe: marks a quit message as pending and wakes a
// WaitForMessage; the next PeekMessage delivers it.
void PostQuitMessageFromSignal();

// Takes the oldest message, pumping the windowing backend first, without
// waiting. False when there is none.
bool PeekMessage(TMessage& message);
// For a main loop that sleeps while there is nothing to do. MessageWaiting
// reads the display's pending events and is true when PeekMessage would find
// a message now: one is queued, a quit from a signal is pending, input waits,
// a window needs painting or a timer is due.
bool MessageWaiting();
// Sleeps until PeekMessage may find a message (a post from any thread, a
// quit from a signal, the display's events, the next window or thread timer
// falling due), one of `fds` is ready (their revents are filled in), or
// `timeoutMs` (-1: no limit) has passed. Returns false at once, without
// looking at `fds`, when a message waits already (MessageWaiting).
// `sleptUs`, when given, receives how long the wait lasted, in
// microseconds; a wait with a limit that ran its full length counts as
// exactly that long, so that no clock is read after an idle sleep.
bool WaitForMessage(std::vector<pollfd>& fds, int timeoutMs, uint64_t* sleptUs = nullptr);
// Milliseconds until the next timer falls due; UINT32_MAX: no timer.
uint32_t MsUntilNextTimer();

// Posts the character messages of a key-down message.
void TranslateMessage(const TMessage& message);
// Hands the message to its window's handler; a timer message without a
// window runs its timer's callback; anything else without a window goes
// nowhere.
void DispatchMessage(const TMessage& message);

// Drops every queued message (between tests).
void ClearMessageQueue();

}  // namespace vesperon
