#pragma once
// Test access to the windowing layer: input injected as if a user gave it,
// the tray's state, the screen size and a manual clock. The injection works
// on either backend (it enters the layer where a backend's events do).
#include <string>

#include "platform/platform.h"

namespace vesperon {

// Buttons: 1 left, 2 middle, 3 right. The event goes to the window under
// the point, to the captured window, or to an open menu.
void InjectMouseMove(TPointI screen);
void InjectMouseButton(int button, bool down, TPointI screen);
void InjectWheel(int notches, TPointI screen);  // positive: away from the user
// A key by virtual-key code and X keycode (the scan code is keycode - 8);
// text is the character it types (0 for none). Goes to the focus window.
void InjectKey(bool down, uint32_t virtualKey, uint32_t keycode, char32_t text = 0,
               bool alt = false);
void InjectTrayMouse(uint32_t mouseMessage);

struct TTrayState {
  bool Present = false;
  THandle Owner = 0;
  uint32_t Id = 0;
  uint32_t CallbackMessage = 0;
  std::u16string Tip;
  std::u16string BalloonTitle;
  std::u16string BalloonText;
  int BalloonCount = 0;
};
TTrayState GetTrayState();
// Headless only: whether a tray exists to dock into.
void SetTrayAvailableForTesting(bool available);
void SetScreenSizeForTesting(int32_t width, int32_t height);

// A manual clock for timers and double clicks (starts at the current time).
void UseManualClockForTesting(bool manual);
void AdvanceClockForTesting(uint32_t ms);

uint32_t PresentCount(THandle window);
// The backend's window (X11: the Window id), for reading it back from the server.
std::uintptr_t NativeWindowForTesting(THandle window);
THandle WindowAtPoint(TPointI screen);

// Takes and dispatches every queued message (with translation); returns how
// many were handled. A wmQuit is kept and stops the loop.
int DispatchPendingMessages();

}  // namespace vesperon
