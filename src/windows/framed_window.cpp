#include "windows/framed_window.h"

#include <set>

#include "core/log.h"
#include "core/settings.h"
#include "skin/skin.h"

namespace vesperon {
namespace {

// The window classes of the framed windows that exist. Each kind registers
// its class when created and unregisters it when destroyed, so a second
// window of a kind at the same time (an old skin's window not yet freed)
// finds its class taken, which the log reports.
std::set<std::string>& RegisteredClasses() {
  static std::set<std::string> classes;
  return classes;
}

TSurface SurfaceOf(const TImage& image) {
  return image.Width > 0 && image.Height > 0 ? TSurface::FromImage(image) : TSurface();
}

const TImage* MaskOrNull(const TImage& mask) {
  return mask.Width > 0 && mask.Height > 0 ? &mask : nullptr;
}

TImage ImageOf(const TSkin& skin, const std::u16string& name) {
  const TImage* image = skin.ImageByName(name);
  return image != nullptr ? *image : TImage();
}

// Draws `tile` (cut to tileW x tileH) along an edge from (x, y): span / step
// + 1 copies, the step being the tile's width (horizontal) or height. The
// last copy may reach into the corner, which is drawn afterwards. Nothing
// when the tile has no size to step by.
void TileEdge(TSurface& dst, const TSurface& tile, int32_t x, int32_t y, int32_t tileW,
              int32_t tileH, bool horizontal, int32_t span) {
  const int32_t step = horizontal ? tileW : tileH;
  if (step <= 0 || tile.Width() == 0 || span < 0) return;
  for (int32_t k = 0; k <= span / step; ++k) {
    Blit(dst, horizontal ? x + k * step : x, horizontal ? y : y + k * step, tileW, tileH, tile, 0,
         0);
  }
}

}  // namespace

TFramedWindowLook FramedWindowLookOf(const TSkin& skin) {
  const TStandardWindow& w = skin.StandardWindow;
  TFramedWindowLook look;
  look.Left = ImageOf(skin, w.Left);
  look.Right = ImageOf(skin, w.Right);
  look.TopLeft = ImageOf(skin, w.TopLeft);
  look.Top = ImageOf(skin, w.Top);
  look.TopRight = ImageOf(skin, w.TopRight);
  look.BottomLeft = ImageOf(skin, w.BottomLeft);
  look.Bottom = ImageOf(skin, w.Bottom);
  look.BottomRight = ImageOf(skin, w.BottomRight);
  look.TopLeftMask = ImageOf(skin, w.TopLeftMask);
  look.TopRightMask = ImageOf(skin, w.TopRightMask);
  look.BottomLeftMask = ImageOf(skin, w.BottomLeftMask);
  look.BottomRightMask = ImageOf(skin, w.BottomRightMask);
  look.ButtonColor = ToColor(w.ButtonColor);
  look.ButtonFontColor = ToColor(w.ButtonFontColor);
  look.BgColor = ToColor(w.BgColor);
  look.ScrollColor = ToColor(w.ScrollColor);
  return look;
}

TPointI MainWindowPosition(THandle mainWindow) {
  if (IsWindow(mainWindow)) {
    const TRect r = GetWindowRect(mainWindow);
    return {r.Left, r.Top};
  }
  return {gSettings.LastPos.x, gSettings.LastPos.y};
}

uint32_t FramedZoneCommand(int32_t x, int32_t y, int32_t width, int32_t height, int32_t e,
                           int32_t t) {
  const int column = x < e ? 0 : (x > width - e ? 2 : 1);
  const int row = y < t ? 0 : (y > height - t ? 2 : 1);
  static constexpr uint32_t kZones[3][3] = {
      // left, middle, right
      {scSize + seTopLeft, scSize + seTop, scSize + seTopRight},
      {scSize + seLeft, scMove + 2, scSize + seRight},
      {scSize + seBottomLeft, scSize + seBottom, scSize + seBottomRight},
  };
  return kZones[row][column];
}

void EnforceMinimumFramedSize(uint32_t edge, TRect& rect) {
  if (rect.Width() < kMinFramedWidth) {
    if (edge == seLeft || edge == seTopLeft || edge == seBottomLeft) {
      rect.Left = rect.Right - kMinFramedWidth;
    } else if (edge == seRight || edge == seTopRight || edge == seBottomRight) {
      rect.Right = rect.Left + kMinFramedWidth;
    }
  }
  if (rect.Height() < kMinFramedHeight) {
    if (edge == seTop || edge == seTopLeft || edge == seTopRight) {
      rect.Top = rect.Bottom - kMinFramedHeight;
    } else if (edge == seBottom || edge == seBottomLeft || edge == seBottomRight) {
      rect.Bottom = rect.Top + kMinFramedHeight;
    }
  }
}

TFramedWindow::TFramedWindow(TFramedWindowLook look) : Look(std::move(look)) {
  CornerWidth = Look.TopLeft.Width;
  CornerHeight = Look.TopLeft.Height;
  TopTileWidth = Look.Top.Width;
  BottomTileWidth = Look.Bottom.Width;
  LeftTileHeight = Look.Left.Height;
  RightTileHeight = Look.Right.Height;
  Tiles = {SurfaceOf(Look.Top),        SurfaceOf(Look.Bottom),     SurfaceOf(Look.Left),
           SurfaceOf(Look.Right),      SurfaceOf(Look.TopLeft),    SurfaceOf(Look.TopRight),
           SurfaceOf(Look.BottomLeft), SurfaceOf(Look.BottomRight)};
}

TFramedWindow::~TFramedWindow() { Destroy(); }

bool TFramedWindow::Create(const TFramedWindowKind& kind, THandle mainWindow) {
  Log(kind.CreatingLine);
  MainWindow = IsWindow(mainWindow) ? mainWindow : 0;
  Width = kFramedWindowWidth;
  Height = kFramedWindowHeight;
  if (!RegisteredClasses().insert(kind.ClassName).second) {
    Log(kind.ClassExistsLine);
  } else {
    ClassName = kind.ClassName;
  }
  const TPointI main = MainWindowPosition(MainWindow);
  TWindowParams params;
  params.ClassName = kind.ClassName;
  params.Title = kind.Title;
  params.Bounds = {main.X + kFramedWindowStartOffset, main.Y + kFramedWindowStartOffset,
                   main.X + kFramedWindowStartOffset + Width,
                   main.Y + kFramedWindowStartOffset + Height};
  params.Owner = MainWindow;
  params.Flags = wfDoubleClicks;
  params.Background = Look.BgColor;
  params.Handler = [this](THandle window, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
    if (msg == wmCreate) Handle = window;  // before CreateWindow returns
    return WindowProc(msg, wp, lp);
  };
  Handle = CreateWindow(params);
  if (Handle == 0) {
    LogError(kind.CreateFailedLine + LastWindowError());
    return false;
  }
  SetRegion();
  return true;
}

void TFramedWindow::Destroy() {
  if (Handle != 0) {
    const THandle window = Handle;
    Handle = 0;
    DestroyWindow(window);
  }
  if (!ClassName.empty()) {
    RegisteredClasses().erase(ClassName);
    ClassName.clear();
  }
}

void TFramedWindow::ShowAt(TPointI topLeft) {
  if (Handle == 0) return;
  MoveWindow(Handle, {topLeft.X, topLeft.Y, topLeft.X + Width, topLeft.Y + Height}, true);
  ShowWindow(Handle, swShow);
}

void TFramedWindow::Hide() {
  if (Handle != 0) ShowWindow(Handle, swHide);
}

bool TFramedWindow::Visible() const { return Handle != 0 && IsWindowVisible(Handle); }

void TFramedWindow::SetRegion() {
  const TCornerMasks masks{MaskOrNull(Look.TopLeftMask), MaskOrNull(Look.TopRightMask),
                           MaskOrNull(Look.BottomLeftMask), MaskOrNull(Look.BottomRightMask)};
  Region = FramedWindowRegion(Width, Height, masks);
  if (Handle != 0) SetWindowRegion(Handle, &Region, true);
}

void TFramedWindow::PaintFrame(TSurface& s) const {
  const int32_t e = CornerWidth, t = CornerHeight;
  const auto& [top, bottom, left, right, topLeft, topRight, bottomLeft, bottomRight] = Tiles;
  TileEdge(s, top, e, 0, TopTileWidth, t, true, Width - 2 * e);
  TileEdge(s, bottom, e, Height - t, BottomTileWidth, t, true, Width - 2 * e);
  TileEdge(s, left, 0, t, e, LeftTileHeight, false, Height - 2 * t);
  TileEdge(s, right, Width - e, t, e, RightTileHeight, false, Height - 2 * t);
  Blit(s, 0, 0, e, t, topLeft, 0, 0);
  Blit(s, Width - e, 0, e, t, topRight, 0, 0);
  Blit(s, 0, Height - t, e, t, bottomLeft, 0, 0);
  Blit(s, Width - e, Height - t, e, t, bottomRight, 0, 0);
}

std::intptr_t TFramedWindow::WindowProc(uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  switch (msg) {
    case wmMove: Moved({LoWordSigned(lParam), HiWordSigned(lParam)}); return 0;
    case wmSize:
      if (wParam != sizeMinimized) Resized(LoWordSigned(lParam), HiWordSigned(lParam));
      return 0;
    case wmPaint: Paint(); return 0;
    case wmClose: Closed(); return 0;
    case wmLButtonDown: StartMoveOrSize(LoWordSigned(lParam), HiWordSigned(lParam)); return 0;
    case wmSizing:
      if (lParam != 0)
        EnforceMinimumFramedSize(static_cast<uint32_t>(wParam), *reinterpret_cast<TRect*>(lParam));
      return 1;
    default: return DefWindowHandler(Handle, msg, wParam, lParam);
  }
}

void TFramedWindow::Resized(int32_t width, int32_t height) {
  Width = width;
  Height = height;
  SetRegion();
  InvalidateRect(Handle, nullptr, true);
  UpdateWindow(Handle);
}

void TFramedWindow::Paint() {
  TPaint paint = BeginPaint(Handle);
  if (paint.Surface != nullptr) PaintFrame(*paint.Surface);
  EndPaint(Handle, paint);
}

void TFramedWindow::StartMoveOrSize(int32_t x, int32_t y) {
  SendMessage(Handle, wmSysCommand,
              FramedZoneCommand(x, y, Width, Height, CornerWidth, CornerHeight));
}

}  // namespace vesperon
