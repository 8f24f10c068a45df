#pragma once
// The windowing and drawing layer: the one header the rest of the player uses
// for windows, shapes, painting, input, timers, menus and the tray icon.
//
// The layer keeps Win32 meanings under its own names: a window has a handler
// (its window procedure) that receives messages with Win32 numbers and
// parameter packing, child controls report clicks to their parent as command
// messages and owner-drawn ones ask their parent to draw them. All drawing is
// done in software into 32-bit surfaces (bytes blue, green, red, 0, rows
// top-down, the `TImage` layout); a backend only shows a window's surface and
// applies its shape. Two backends exist: X11 and headless (in memory, for
// tests and machines without a display). Everything runs on one thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"
#include "platform/image.h"
#include "platform/message_queue.h"

namespace vesperon {

// ---------------------------------------------------------------------------
// Backends

enum TPlatformKind { pkNone, pkHeadless, pkX11 };

// Opens the windowing layer once. pkNone chooses: headless when
// VESPERON_PLATFORM=headless, else X11 on gParams.Display (when given) or
// $DISPLAY, else headless when no display opens. Returns the kind opened.
// Every other function opens the layer with pkNone on first use.
TPlatformKind OpenPlatform(TPlatformKind wanted = pkNone);
// Destroys every window, the menus and the tray icon and closes the display.
void ClosePlatform();
TPlatformKind PlatformKind();
// The X display name in use ("" when headless).
std::string PlatformDisplayName();

// ---------------------------------------------------------------------------
// Regions: sets of pixels kept as non-overlapping rectangles, sorted in bands
// from top to bottom and left to right within a band (the normal form the X
// server uses too, so the same region always has the same rectangle list).

class TRegion {
 public:
  TRegion() = default;
  explicit TRegion(const TRect& rect);
  // Any rectangles, overlapping or not, in any order.
  explicit TRegion(const std::vector<TRect>& rects);

  void Union(const TRect& rect);
  void Union(const TRegion& other);
  void Offset(int32_t dx, int32_t dy);
  bool Contains(int32_t x, int32_t y) const;
  bool Empty() const { return Rects_.empty(); }
  TRect Bounds() const;
  const std::vector<TRect>& Rects() const { return Rects_; }
  friend bool operator==(const TRegion&, const TRegion&) = default;

 private:
  friend TRegion RegionFromMask(const TImage&, uint8_t, uint8_t, uint8_t);
  std::vector<TRect> Rects_;
};

// The region of all pixels whose colour differs from the key, one rectangle
// per horizontal run of such pixels (merged into bands). Empty when every
// pixel has the key colour.
TRegion RegionFromMask(const TImage& mask, uint8_t r, uint8_t g, uint8_t b);

// The four corner masks of a framed window (white is cut away); null when a
// mask is missing.
struct TCornerMasks {
  const TImage* TopLeft = nullptr;
  const TImage* TopRight = nullptr;
  const TImage* BottomLeft = nullptr;
  const TImage* BottomRight = nullptr;
};

// The shape of a framed window of width x height pixels: the full-height
// middle band between the corner columns, the left and right bands between
// the corner rows, and each corner mask's region in its corner. The corner
// size is the top-left mask's size; a missing mask leaves its corner square
// cut away, and without a top-left mask the window stays rectangular. The
// result never reaches outside the window.
TRegion FramedWindowRegion(int32_t width, int32_t height, const TCornerMasks& corners);

// ---------------------------------------------------------------------------
// Surfaces and software drawing

// A colour as 0x00RRGGBB, the value a surface pixel holds.
using TColor = uint32_t;
constexpr TColor MakeColor(uint8_t r, uint8_t g, uint8_t b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
}
// "No colour": a window without background is not erased.
constexpr TColor clNone = 0xFF000000u;

class TSurface {
 public:
  TSurface() = default;
  TSurface(int32_t width, int32_t height, TColor fill = 0);
  static TSurface FromImage(const TImage& image);
  TImage ToImage() const;

  int32_t Width() const { return Width_; }
  int32_t Height() const { return Height_; }
  // Pixels as 0x00RRGGBB words, which in memory are bytes blue, green, red, 0.
  uint32_t* Row(int32_t y) { return Pixels_.data() + static_cast<std::size_t>(y) * Width_; }
  const uint32_t* Row(int32_t y) const {
    return Pixels_.data() + static_cast<std::size_t>(y) * Width_;
  }
  TColor At(int32_t x, int32_t y) const { return Row(y)[x]; }
  const uint32_t* Data() const { return Pixels_.data(); }
  // Keeps the top-left part, fills new pixels.
  void Resize(int32_t width, int32_t height, TColor fill);
  // Drawing is limited to this rectangle (the whole surface by default).
  void SetClip(const TRect& clip);
  void ResetClip();
  const TRect& Clip() const { return Clip_; }

 private:
  int32_t Width_ = 0;
  int32_t Height_ = 0;
  std::vector<uint32_t> Pixels_;
  TRect Clip_;
};

// Block copy of w x h pixels (BitBlt).
void Blit(TSurface& dst, int32_t dx, int32_t dy, int32_t w, int32_t h, const TSurface& src,
          int32_t sx, int32_t sy);
// Block copy that leaves the destination alone where the source has the key
// colour (TransparentBlt without stretching).
void TransparentBlit(TSurface& dst, int32_t dx, int32_t dy, int32_t w, int32_t h,
                     const TSurface& src, int32_t sx, int32_t sy, TColor key);
void FillRect(TSurface& dst, const TRect& rect, TColor color);
// Fills the rectangle and draws a one-pixel outline on its edge (Rectangle).
void DrawRectangle(TSurface& dst, const TRect& rect, TColor fill, TColor outline);
// Fills the polygon (even-odd rule, pixel centres) and outlines it with
// one-pixel lines (Polygon). clNone skips the fill or the outline.
void DrawPolygon(TSurface& dst, const std::vector<TPointI>& points, TColor fill, TColor outline);
void DrawLine(TSurface& dst, TPointI from, TPointI to, TColor color);

// ---------------------------------------------------------------------------
// Fonts and text (FreeType through fontconfig; the same pixels on every
// backend). A font name that is not installed ("Verdana", "MS Sans Serif")
// falls back to the sans font fontconfig offers.

class TTextFont;
using PFont = std::shared_ptr<TTextFont>;

// PixelHeight is the character (em) height, as a negative Win32 font height.
// Returns nullptr (logged) when no font at all can be loaded.
PFont CreateFont(const std::string& name, int32_t pixelHeight, bool bold = false);
// The file fontconfig chose, for the log.
std::string FontFile(const PFont& font);
int32_t FontAscent(const PFont& font);
int32_t FontLineHeight(const PFont& font);
int32_t TextWidth(const PFont& font, std::u16string_view text);

enum TTextFlags : uint32_t {
  dtLeft = 0x0000,
  dtCenter = 0x0001,       // centred horizontally in the rectangle
  dtVCenter = 0x0004,      // centred vertically
  dtEndEllipsis = 0x8000,  // cut with "..." when wider than the rectangle
};

// Draws one line with transparent background inside the rectangle (clipped
// to it) and returns the width drawn.
int32_t DrawText(TSurface& dst, const PFont& font, std::u16string_view text, const TRect& rect,
                 TColor color, uint32_t flags = dtLeft);
// Draws one line whose cell top is at y; with centred the line is centred on
// x (TextOut with TA_CENTER), else it starts at x.
void TextOut(TSurface& dst, const PFont& font, int32_t x, int32_t y, std::u16string_view text,
             TColor color, bool centred = false);

// ---------------------------------------------------------------------------
// Messages (Win32 numbers and parameter packing)

// clang-format off
enum TWindowMessage : uint32_t {
  wmCreate = 0x0001,
  wmDestroy = 0x0002,
  wmMove = 0x0003,          // LParam: left | top << 16 (signed 16-bit each)
  wmSize = 0x0005,          // WParam: sizeRestored/Minimized; LParam: width | height << 16
  wmSetFocus = 0x0007,
  wmKillFocus = 0x0008,
  wmPaint = 0x000F,
  wmClose = 0x0010,
  wmEraseBkgnd = 0x0014,    // result nonzero: the handler erased (or wants no erase)
  wmShowWindow = 0x0018,
  wmSetFont = 0x0030,       // WParam: const PFont* for a standard control; LParam: redraw
  wmDrawItem = 0x002B,      // WParam: control id; LParam: TDrawItem*
  wmKeyDown = 0x0100,       // WParam: virtual key; LParam: key data (scan code in bits 16-23)
  wmKeyUp = 0x0101,
  wmChar = 0x0102,          // WParam: UTF-16 unit
  wmSysKeyDown = 0x0104,    // with Alt held
  wmSysKeyUp = 0x0105,
  wmCommand = 0x0111,       // WParam: id | notification << 16; LParam: control handle or 0
  wmSysCommand = 0x0112,    // WParam: scMove, scSize + edge, scMinimize, scRestore, scClose
  wmTimer = 0x0113,         // WParam: timer id
  wmMouseMove = 0x0200,     // WParam: key flags; LParam: client x | y << 16
  wmLButtonDown = 0x0201,
  wmLButtonUp = 0x0202,
  wmLButtonDblClk = 0x0203,
  wmRButtonDown = 0x0204,
  wmRButtonUp = 0x0205,
  wmRButtonDblClk = 0x0206,
  wmMButtonDown = 0x0207,
  wmMButtonUp = 0x0208,
  wmMouseWheel = 0x020A,    // WParam: keys | signed delta << 16 (120 a notch); LParam: screen x | y << 16
  wmSizing = 0x0214,        // WParam: edge; LParam: TRect* (screen) the handler may change; result 1
  wmCaptureChanged = 0x0215,
};

// Key flags in the WParam of mouse messages.
enum TMouseKeys : uint32_t { mkLButton = 0x01, mkRButton = 0x02, mkShift = 0x04, mkControl = 0x08, mkMButton = 0x10 };
// WParam of wmSize.
enum TSizeKind : uint32_t { sizeRestored = 0, sizeMinimized = 1 };
// Edges of wmSizing and of scSize.
enum TSizeEdge : uint32_t {
  seLeft = 1, seRight = 2, seTop = 3, seTopLeft = 4, seTopRight = 5,
  seBottom = 6, seBottomLeft = 7, seBottomRight = 8,
};
// clang-format on
// System commands (WParam of wmSysCommand). scMove + 2 (0xF012) drags by any
// point; scSize + edge sizes by that edge.
constexpr uint32_t scSize = 0xF000;
constexpr uint32_t scMove = 0xF010;
constexpr uint32_t scMinimize = 0xF020;
constexpr uint32_t scClose = 0xF060;
constexpr uint32_t scRestore = 0xF120;
// Notification of a button's command.
constexpr uint32_t bnClicked = 0;

inline std::intptr_t MakeLParam(int32_t lo, int32_t hi) {
  return static_cast<std::intptr_t>(static_cast<uint32_t>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)));
}
inline int32_t LoWordSigned(std::intptr_t v) { return static_cast<int16_t>(v & 0xFFFF); }
inline int32_t HiWordSigned(std::intptr_t v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }
inline uint32_t LoWord(std::uintptr_t v) { return static_cast<uint32_t>(v & 0xFFFF); }
inline uint32_t HiWord(std::uintptr_t v) { return static_cast<uint32_t>((v >> 16) & 0xFFFF); }
// Bits 16-23 of a key message's data: the scan code (X keycode - 8).
inline uint32_t KeyScanCode(std::intptr_t keyData) {
  return static_cast<uint32_t>((keyData >> 16) & 0xFF);
}

// Windows virtual-key codes the layer produces (letters and digits are
// their upper-case ASCII codes).
// clang-format off
enum TVirtualKey : uint32_t {
  vkBack = 0x08, vkTab = 0x09, vkReturn = 0x0D, vkShift = 0x10, vkControl = 0x11,
  vkMenu = 0x12, vkPause = 0x13, vkCapital = 0x14, vkEscape = 0x1B, vkSpace = 0x20,
  vkPrior = 0x21, vkNext = 0x22, vkEnd = 0x23, vkHome = 0x24, vkLeft = 0x25,
  vkUp = 0x26, vkRight = 0x27, vkDown = 0x28, vkInsert = 0x2D, vkDelete = 0x2E,
  vkNumpad0 = 0x60, vkMultiply = 0x6A, vkAdd = 0x6B, vkSubtract = 0x6D,
  vkDecimal = 0x6E, vkDivide = 0x6F, vkF1 = 0x70, vkF12 = 0x7B,
  vkVolumeMute = 0xAD, vkVolumeDown = 0xAE, vkVolumeUp = 0xAF, vkMediaNext = 0xB0,
  vkMediaPrev = 0xB1, vkMediaStop = 0xB2, vkMediaPlayPause = 0xB3,
};
// clang-format on

// What a parent gets with wmDrawItem: the child to draw, its surface and the
// area. The child is presented after the parent's handler returns.
struct TDrawItem {
  uint32_t ControlId = 0;
  THandle Window = 0;
  TSurface* Surface = nullptr;
  TRect Area;
  bool DrawEntire = true;  // the whole item is to be drawn
  bool Selected = false;   // a button held down
};

// ---------------------------------------------------------------------------
// Windows

using TWindowHandler = std::function<std::intptr_t(THandle window, uint32_t msg,
                                                   std::uintptr_t wParam, std::intptr_t lParam)>;

enum TWindowFlags : uint32_t {
  wfVisible = 0x01,
  wfAppWindow = 0x02,     // shown in the task bar (owned windows and others are not)
  wfTopMost = 0x04,       // always on top
  wfDoubleClicks = 0x08,  // a second click within the double-click time is wmLButtonDblClk
  wfOwnerDraw = 0x10,     // a control drawn by its parent through wmDrawItem
  wfClickThrough = 0x20,  // a child that lets mouse input through to its parent (a static control)
};

// Child controls the layer provides. A button reports a click as wmCommand to
// its parent; a static control reports nothing. Without wfOwnerDraw the layer
// draws them itself (button face or plain text).
enum TControlKind { ckNone, ckButton, ckStatic };

// A control (Control set) starts with the layer's control handler; Handler
// is then ignored and callers subclass it with SetWindowHandler.
struct TWindowParams {
  std::string ClassName;  // kept for logs and for the X11 WM_CLASS
  std::u16string Title;
  TRect Bounds;        // screen for top-level windows, parent client for children
  THandle Parent = 0;  // set: a child window inside it
  THandle Owner = 0;   // top-level windows: stays above its owner
  uint32_t Flags = 0;
  TControlKind Control = ckNone;
  uint32_t ControlId = 0;
  TColor Background = MakeColor(0xF0, 0xF0, 0xF0);  // clNone: never erased
  TWindowHandler Handler;                           // empty: DefWindowHandler
};

// Creates the window and sends it wmCreate. Returns 0 and logs nothing when
// the window cannot be made; LastWindowError() then says why.
THandle CreateWindow(const TWindowParams& params);
std::string LastWindowError();
// Sends wmDestroy, destroys children first; the handle is then invalid.
bool DestroyWindow(THandle window);
bool IsWindow(THandle window);

enum TShowCommand { swHide, swShow, swMinimize, swRestore };
void ShowWindow(THandle window, TShowCommand command);
bool IsWindowVisible(THandle window);
bool IsMinimized(THandle window);
// Raises the top-level window of `window` and gives it the keyboard focus.
void SetForegroundWindow(THandle window);
void SetFocus(THandle window);
THandle GetFocus();

// Moves and sizes: screen coordinates for top-level windows, the parent's
// client coordinates for children. Sends wmMove and wmSize when they change.
void MoveWindow(THandle window, const TRect& bounds, bool repaint = true);
TRect GetWindowRect(THandle window);  // screen coordinates
TRect GetClientRect(THandle window);  // 0, 0, width, height
TPointI ClientToScreen(THandle window, TPointI point);
TPointI ScreenToClient(THandle window, TPointI point);

void SetWindowText(THandle window, std::u16string_view text);
std::u16string GetWindowText(THandle window);
std::string GetWindowClassName(THandle window);
THandle GetParent(THandle window);
THandle GetOwner(THandle window);
uint32_t GetControlId(THandle window);
// The font a standard control draws its text with (wmSetFont does the same).
void SetWindowFont(THandle window, const PFont& font, bool redraw = true);

// Shape: nullptr (or an empty region) makes the window rectangular again.
// The region is in the window's own coordinates.
void SetWindowRegion(THandle window, const TRegion* region, bool redraw = true);
// False when the window has no shape.
bool GetWindowRegion(THandle window, TRegion& region);

// The handler receives every message to the window. SetWindowHandler
// replaces it and returns the one before, which the new handler calls for
// what it does not handle (subclassing).
TWindowHandler SetWindowHandler(THandle window, TWindowHandler handler);
std::intptr_t DefWindowHandler(THandle window, uint32_t msg, std::uintptr_t wParam,
                               std::intptr_t lParam);
std::intptr_t SendMessage(THandle window, uint32_t msg, std::uintptr_t wParam = 0,
                          std::intptr_t lParam = 0);

// ---------------------------------------------------------------------------
// Painting. A window's surface has the window's size and keeps its pixels;
// what is drawn into it shows once it is presented. Invalid areas make a
// wmPaint when the queue has nothing else; the handler draws between
// BeginPaint and EndPaint, and EndPaint presents the surface.

TSurface* GetWindowSurface(THandle window);
void InvalidateRect(THandle window, const TRect* area = nullptr, bool erase = true);
// Sends wmPaint at once when the window has an invalid area.
void UpdateWindow(THandle window);
// Shows the window's surface (or a part of it) on the screen.
void PresentWindow(THandle window, const TRect* area = nullptr);

struct TPaint {
  TSurface* Surface = nullptr;
  TRect Area;  // the invalid area, clipped to the window
};
TPaint BeginPaint(THandle window);
void EndPaint(THandle window, const TPaint& paint);

// ---------------------------------------------------------------------------
// Mouse, system move and size

// All mouse messages go to this window until released (wmCaptureChanged is
// sent to the window that loses it).
void SetCapture(THandle window);
void ReleaseCapture();
THandle GetCapture();
TPointI GetCursorPos();  // screen coordinates
// Drags the window with the pointer until the left button is released
// (scMove), or moves the given edge (scSize + edge) with a wmSizing message
// for every step. Started from a button-down handler.
void BeginSystemMove(THandle window);
void BeginSystemSize(THandle window, TSizeEdge edge);

// ---------------------------------------------------------------------------
// Timers

using TTimerCallback = std::function<void(uint32_t timerId)>;
// A window timer: wmTimer with WParam id to the window every interval.
uint32_t SetTimer(THandle window, uint32_t id, uint32_t intervalMs);
// A thread timer: the callback runs from DispatchMessage every interval.
// Returns the new timer's id.
uint32_t SetTimer(uint32_t intervalMs, TTimerCallback callback);
bool KillTimer(THandle window, uint32_t id);

// ---------------------------------------------------------------------------
// Screen

int32_t GetScreenWidth();
int32_t GetScreenHeight();
int32_t GetScreenDepth();  // bits per pixel

// ---------------------------------------------------------------------------
// Popup menus, drawn by the layer. Choosing an item posts wmCommand with its
// identifier to the owner window; Escape or a click outside closes the menu.

using TMenu = std::uintptr_t;  // 0 is none
TMenu CreatePopupMenu();
void DestroyMenu(TMenu menu);  // destroys its sub-menus too
void AppendMenuItem(TMenu menu, uint32_t id, std::u16string_view text);
void AppendMenuSeparator(TMenu menu);
void AppendSubMenu(TMenu menu, TMenu subMenu, std::u16string_view text);
int32_t GetMenuItemCount(TMenu menu);
struct TMenuItemInfo {
  bool Separator = false;
  uint32_t Id = 0;
  std::u16string Text;
  TMenu SubMenu = 0;
};
bool GetMenuItemInfo(TMenu menu, int32_t index, TMenuItemInfo& info);
// Opens the menu with its top-left corner at the screen point (moved to stay
// on the screen) and returns at once; false when it cannot open.
bool TrackPopupMenu(TMenu menu, TPointI screen, THandle owner);
void CloseMenus();
// The open menus, outermost first (for tests and the demo).
std::vector<TMenu> OpenMenus();
// The screen rectangle of an item of an open menu.
bool GetMenuItemRect(TMenu menu, int32_t index, TRect& rect);

// ---------------------------------------------------------------------------
// Icons: one picture in several sizes, pixels 0xAARRGGBB (alpha not
// premultiplied), rows top-down.

struct TIconImage {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;
};
using TIconSet = std::vector<TIconImage>;

// Reads icons in the layout of _NET_WM_ICON: per size the width, the height
// and width x height pixels, each a 32-bit little-endian number. A size of 0
// or above 1024 pixels, or pixels cut short, end the set there; the sizes
// read before it are kept.
TIconSet DecodeIconSet(std::string_view bytes);
// The smallest icon at least `size` pixels high, else the largest; nullptr
// for an empty set.
const TIconImage* PickIcon(const TIconSet& icons, int32_t size);
// The picture a window manager shows for a top-level window (task bar,
// window switcher). X11: _NET_WM_ICON.
void SetWindowIcon(THandle window, const TIconSet& icons);
TIconSet GetWindowIcon(THandle window);

// ---------------------------------------------------------------------------
// Tray icon (X11: the freedesktop system tray). The callback message goes to
// the owner with WParam the icon id and LParam the mouse message
// (wmLButtonDblClk, wmRButtonUp, ...).

constexpr std::size_t kTrayTipMax = 127;
constexpr std::size_t kBalloonTitleMax = 63;
constexpr std::size_t kBalloonTextMax = 255;

// True when a tray manager runs on the display.
bool TrayAvailable();
// Registers the one tray icon for the owner window (an earlier icon is
// removed). It docks at once when a tray runs, and whenever a tray starts
// later, until RemoveTrayIcon; clicks, the tip and balloons work from the
// moment it is docked. False only when the owner is not a window.
bool AddTrayIcon(THandle owner, uint32_t id, uint32_t callbackMessage, const TIconSet& icon,
                 std::u16string_view tip);
// True while a tray holds the icon. A minimized window hidden "to the tray"
// can only come back through a docked icon.
bool TrayIconDocked();
// Texts longer than the limits above are cut. The tip is kept while the
// icon waits for a tray; false when no icon is registered.
bool ModifyTrayTip(std::u16string_view tip);
// False when the icon is not docked (nobody would see the balloon).
bool ShowTrayBalloon(std::u16string_view title, std::u16string_view text);
void RemoveTrayIcon();

}  // namespace vesperon
