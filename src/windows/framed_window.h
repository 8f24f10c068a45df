#pragma once
// The framed window: a borderless top-level window whose frame is tiled from
// the skin's standard-window images and whose outline is cut to the skin's
// four corner masks. The media-db window (with its list view inside) and the
// video window (empty inside) are framed windows.
//
// The frame: the four edges are tiled from the edge images between the
// corners, the four corner images sit on top, and the interior is the
// window's background, the skin's "bgcolor". A skin without standard-window
// images gives a plain window in that colour. The left button anywhere on
// the window itself (not on a child) moves or sizes it: the corner size E x T
// (the top-left image's size) splits it into nine zones, the middle one
// drags, the others size by their edge or corner; sizing never goes below
// kMinFramedWidth x kMinFramedHeight.
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vesperon {

class TSkin;

// The look a framed window takes from the skin, copied at creation so the
// window never points into the skin. An empty image (0 x 0) draws nothing.
struct TFramedWindowLook {
  TImage Left, Right, TopLeft, Top, TopRight, BottomLeft, Bottom, BottomRight;
  TImage TopLeftMask, TopRightMask, BottomLeftMask, BottomRightMask;
  TColor ButtonColor = 0;
  TColor ButtonFontColor = 0;
  TColor BgColor = 0;
  TColor ScrollColor = 0;
};

// The loaded skin's standard-window look: the images its description names
// (empty where an image is missing) and its four colours.
TFramedWindowLook FramedWindowLookOf(const TSkin& skin);

// What differs between the framed windows: class name, title and the lines
// their creation writes to the log.
struct TFramedWindowKind {
  std::string ClassName;         // "MediaDBWindow"
  std::u16string Title;          // "Media DB"
  std::string CreatingLine;      // plain line before anything is made
  std::string ClassExistsLine;   // plain line when the class is registered already
  std::string CreateFailedLine;  // error line; the layer's reason is appended
};

inline constexpr int32_t kFramedWindowWidth = 640;
inline constexpr int32_t kFramedWindowHeight = 480;
inline constexpr int32_t kMinFramedWidth = 100;
inline constexpr int32_t kMinFramedHeight = 50;
// Where a framed window first appears, from the main window's top-left corner.
inline constexpr int32_t kFramedWindowStartOffset = 20;

// The main window's top-left corner on the screen: its window rectangle when
// the window exists, else the stored position ("general/lastpos").
TPointI MainWindowPosition(THandle mainWindow);

// The system command a left-button press at (x, y) of a window of
// width x height with corner size e x t starts: scMove + 2 for the middle,
// scSize + edge elsewhere.
uint32_t FramedZoneCommand(int32_t x, int32_t y, int32_t width, int32_t height, int32_t e,
                           int32_t t);

// Keeps a sizing rectangle (wmSizing, screen coordinates) at least
// kMinFramedWidth x kMinFramedHeight by moving the edge being dragged back.
void EnforceMinimumFramedSize(uint32_t edge, TRect& rect);

class TFramedWindow {
 public:
  explicit TFramedWindow(TFramedWindowLook look);
  virtual ~TFramedWindow();
  TFramedWindow(const TFramedWindow&) = delete;
  TFramedWindow& operator=(const TFramedWindow&) = delete;

  // Logs the kind's creating line, registers its class, creates the hidden
  // window at the main window's corner + kFramedWindowStartOffset, owned by
  // the main window (0: none), takes the frame sizes and sets the region.
  // False (logged) when the window could not be made; Handle stays 0.
  bool Create(const TFramedWindowKind& kind, THandle mainWindow);
  // Destroys the window and unregisters the class; safe to call twice.
  void Destroy();

  // Moves the window to `topLeft` with its current size and shows it.
  void ShowAt(TPointI topLeft);
  void Hide();
  bool Visible() const;

  // Rebuilds the outline for the current size from the corner masks and
  // applies it (Region holds it afterwards).
  void SetRegion();
  // Tiles the edges and draws the corners into a surface of Width x Height.
  void PaintFrame(TSurface& surface) const;

  THandle Handle = 0;
  THandle MainWindow = 0;
  TFramedWindowLook Look;
  TRegion Region;
  int32_t Width = kFramedWindowWidth;
  int32_t Height = kFramedWindowHeight;
  int32_t CornerWidth = 0;   // E: width of the top-left image
  int32_t CornerHeight = 0;  // T: height of the top-left image
  int32_t TopTileWidth = 0;
  int32_t BottomTileWidth = 0;
  int32_t LeftTileHeight = 0;
  int32_t RightTileHeight = 0;

 protected:
  // The window procedure: one case per message, each calling one of these.
  virtual std::intptr_t WindowProc(uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
  // wmMove: the window's new top-left corner. Nothing by default.
  virtual void Moved(TPointI) {}
  // wmSize: takes the new size, rebuilds the region, repaints.
  virtual void Resized(int32_t width, int32_t height);
  // wmPaint: the frame; the interior is the background.
  virtual void Paint();
  // wmClose: hides (a framed window is never closed by the user).
  virtual void Closed() { Hide(); }
  // Left button down on the window itself: starts the zone's move or size.
  void StartMoveOrSize(int32_t x, int32_t y);

 private:
  // The frame pieces as surfaces to copy from.
  struct TTiles {
    TSurface Top, Bottom, Left, Right, TopLeft, TopRight, BottomLeft, BottomRight;
  } Tiles;
  std::string ClassName;  // the class this window registered ("" when none)
};

}  // namespace vesperon
