#pragma once
// Inside the layer: the window records that both backends share, the table of
// operations a backend provides, and the entry points through which a
// backend hands input and window-manager events to the shared logic.
#include <memory>
#include <optional>

#include "platform/platform.h"

namespace vesperon {

struct TWindowRec {
  THandle Handle = 0;
  TWindowParams Params;  // as created; Bounds kept up to date below
  TRect Bounds;          // screen for top-level windows, parent client for children
  bool Visible = false;
  bool Minimized = false;
  TSurface Surface;
  std::optional<TRegion> Shape;
  TRect Invalid;  // bounding box of the invalid area; empty when valid
  bool EraseNeeded = false;
  TWindowHandler Handler;
  std::vector<THandle> Children;  // bottom to top
  PFont Font;                     // standard controls' text
  TIconSet Icon;                  // top-level windows: the window manager's icon
  bool Pressed = false;           // a standard or owner-drawn button held down
  bool Destroying = false;
  std::uintptr_t Native = 0;  // the backend's window (X11: the Window id)
  uint32_t PresentCount = 0;
  bool IsChild() const { return Params.Parent != 0; }
};

// Operations of a backend. The shared logic keeps every record; a backend
// mirrors them on its display and reports what the user does.
class TBackend {
 public:
  virtual ~TBackend() = default;
  virtual TPlatformKind Kind() const = 0;
  virtual std::string DisplayName() const { return {}; }
  virtual bool CreateNative(TWindowRec& window, bool popupMenu) = 0;
  virtual void DestroyNative(TWindowRec& window) = 0;
  virtual void ShowNative(TWindowRec& window, bool show) = 0;
  virtual void MinimizeNative(TWindowRec&) {}
  virtual void RaiseNative(TWindowRec&) {}
  virtual void FocusNative(TWindowRec&) {}
  virtual void MoveNative(TWindowRec& window) = 0;
  virtual void SetTitleNative(TWindowRec&) {}
  virtual void SetShapeNative(TWindowRec&) {}
  virtual void SetIconNative(TWindowRec&) {}
  virtual void Present(TWindowRec& window, const TRect& area) = 0;
  // Reads pending events and hands them to the Deliver functions below.
  virtual void Pump() {}
  // The descriptor that becomes readable when the display sends events; -1
  // when there is none (headless).
  virtual int ConnectionFd() const { return -1; }
  // True when events were read from the connection but not yet taken: a
  // wait on ConnectionFd would not see them.
  virtual bool EventsQueued() const { return false; }
  virtual void Flush() {}
  virtual TPointI ScreenSize() const = 0;
  virtual int32_t ScreenDepth() const = 0;
  virtual TPointI CursorPos() const = 0;
  virtual void GrabPointer(TWindowRec*) {}  // nullptr releases
  virtual void GrabKeyboard(TWindowRec*) {}
  // Asks a window manager to move (edge 0) or size the window by an edge
  // with the pointer; false when none does, and the layer moves it itself.
  virtual bool WindowManagerMoveResize(TWindowRec&, uint32_t /*edge*/, TPointI /*root*/) {
    return false;
  }
  // Tray. Dock asks for the icon to be docked now and whenever a tray
  // starts later, until Undock; it gives false when no tray exists now.
  // TrayDocked says whether a tray holds the icon at this moment.
  virtual bool TrayExists() = 0;
  virtual bool TrayDock(const TIconSet& icon, std::u16string_view tip) = 0;
  virtual bool TrayDocked() const = 0;
  virtual void TraySetTip(std::u16string_view tip) = 0;
  virtual void TrayBalloon(std::u16string_view title, std::u16string_view text) = 0;
  virtual void TrayUndock() = 0;
};

std::unique_ptr<TBackend> MakeHeadlessBackend();
// nullptr when the display cannot be opened.
std::unique_ptr<TBackend> MakeX11Backend(const std::string& displayName);

// Shared state, reachable by the backends.
TBackend& Backend();
TWindowRec* FindWindow(THandle window);
TWindowRec* FindNative(std::uintptr_t native);
// Top-level windows from bottom to top.
const std::vector<THandle>& TopLevelOrder();
// The deepest visible window under a screen point (shapes respected).
THandle WindowAt(TPointI screen);

// Pointer buttons: 1 left, 2 middle, 3 right.
enum TPointerEvent { peMove, peDown, peUp, peWheel };
// A pointer event at a screen point that the display says happened in
// `target` (the window under the pointer or the grab window).
void DeliverPointer(THandle target, TPointerEvent kind, int button, TPointI screen,
                    uint32_t modifiers, uint64_t timeMs);
// A key with its virtual-key code, X keycode and the UTF-32 text it types
// (0 for none); `repeat` for auto-repeated presses.
void DeliverKey(THandle target, bool down, uint32_t virtualKey, uint32_t keycode, char32_t text,
                bool repeat, uint32_t modifiers);
// The window manager moved or sized a top-level window (screen bounds);
// the window is told, the display is not asked again.
void DeliverConfigure(THandle window, const TRect& bounds);
void DeliverCloseRequest(THandle window);
void DeliverMinimized(THandle window, bool minimized);
// The tray icon was clicked: the callback message with this mouse message.
void DeliverTrayMouse(uint32_t mouseMessage);

// Modifier bits of DeliverPointer and DeliverKey.
enum TModifiers : uint32_t {
  mdShift = 1,
  mdControl = 2,
  mdAlt = 4,
  mdLeft = 8,
  mdMiddle = 16,
  mdRight = 32
};

// Called by PeekMessage: reads the backend's events when the layer is open,
// and makes the paint or timer message due when the queue is empty.
void PumpPlatformIfOpen();
// Turns reported input into messages, one event at a time, until `enough`.
void ProcessRawInput(bool (*enough)());
bool NextPaintOrTimer(TMessage& message);
// True when input waits to become messages, a visible window needs painting
// or a timer is due: PeekMessage would find a message now.
bool LayerHasWork();
// The open backend's ConnectionFd; -1 when none is open.
int LayerConnectionFd();
// Runs a thread timer's callback; false when the id has none.
bool RunThreadTimer(uint32_t id);

// The popup menus (menu.cpp): while one is open it takes all input.
bool MenusOpen();
void MenuPointer(TPointerEvent kind, int button, TPointI screen);
void MenuKey(uint32_t virtualKey);
void DestroyAllMenus();

// A menu's window: top-most, shown at once, not managed by a window manager.
THandle CreateMenuWindow(const TRect& bounds, TWindowHandler handler);

// The font standard controls and menus draw with.
PFont DefaultUiFont();

// Milliseconds of the layer's clock (steady clock, or the tests' clock).
uint64_t NowMs();

}  // namespace vesperon
