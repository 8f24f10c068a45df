// Skin windows: created from a background and a stencil, painted from the
// background, destroyed with their controls.
#include <algorithm>

#include "core/log.h"
#include "core/settings.h"
#include "core/text.h"
#include "skin/skin.h"
#include "skin/window_proc.h"

namespace vesperon {
namespace {

// Before a stencil sizes it, a window is this large.
constexpr int32_t kInitialWidth = 640;
constexpr int32_t kInitialHeight = 480;
// Windows other than the main one open this far right of and below it.
constexpr int32_t kSecondaryOffset = 20;

// The main window created so far by this skin; 0 before.
THandle MainWindowOf(const TSkin& skin) {
  for (const auto& window : skin.Windows)
    if (window->IsMainWindow() && window->Handle != 0) return window->Handle;
  return 0;
}

// A window dragged past the screen's edge may have left its last position
// off the screen (or the screen is smaller now): it is moved just far enough
// that kOnScreenMargin pixels of it show in each direction.
constexpr int32_t kOnScreenMargin = 48;

TPointI OnScreen(TPointI at, int32_t width, int32_t height) {
  const int32_t screenWidth = GetScreenWidth(), screenHeight = GetScreenHeight();
  auto clamp = [](int32_t v, int32_t low, int32_t high) {
    return v < low ? low : (v > high ? high : v);
  };
  const int32_t marginX = std::min(kOnScreenMargin, width),
                marginY = std::min(kOnScreenMargin, height);
  return {clamp(at.X, marginX - width, screenWidth - marginX),
          clamp(at.Y, marginY - height, screenHeight - marginY)};
}

template <typename T>
T* ById(std::vector<std::unique_ptr<T>>& list, uint32_t id, uint32_t base) {
  if (id < base) return nullptr;
  const std::size_t index = id - base;
  return index < list.size() ? list[index].get() : nullptr;
}

}  // namespace

TWindow::~TWindow() { Destroy(); }

// A description without a window named "main" gets its first window as
// the main window (Load renames it afterwards); it is built as one from the
// start, so it is the application window at the saved position.
bool TWindow::IsMainWindow() const {
  return Name == "main" || (Index == 0 && Owner->FirstWindowIsMain);
}

bool TWindow::Build() {
  const bool isMain = IsMainWindow();
  const int32_t offset = isMain ? 0 : kSecondaryOffset;
  const TImage* stencil = Owner->ImageAt(Owner->ImageIndex(Stencil));
  const TPointI at = OnScreen(
      {std::clamp(gSettings.LastPos.x, -kMaxSkinCoordinate, kMaxSkinCoordinate) + offset,
       std::clamp(gSettings.LastPos.y, -kMaxSkinCoordinate, kMaxSkinCoordinate) + offset},
      stencil ? stencil->Width : kInitialWidth, stencil ? stencil->Height : kInitialHeight);
  if (!Owner->TakeSurfaceArea(stencil ? stencil->Width : kInitialWidth,
                              stencil ? stencil->Height : kInitialHeight)) {
    LogError("Could not create window " + Utf16ToUtf8(Cp1252ToUtf16(Name)) +
             "! Error: the skin's windows and controls are too large");
    return false;
  }
  TWindowParams p;
  p.ClassName = std::string(kSkinWindowClass);
  p.Title = Utf8ToUtf16(kSkinWindowClass);
  if (!isMain) p.Title += IntToU16(Index);
  p.Bounds = {at.X, at.Y, at.X + kInitialWidth, at.Y + kInitialHeight};
  p.Flags = isMain ? uint32_t{wfAppWindow} : 0u;
  p.Owner = isMain ? 0 : MainWindowOf(*Owner);
  p.Handler = SkinWindowProc;
  Handle = CreateWindow(p);
  if (Handle == 0) {
    LogError("Could not create window " + Utf16ToUtf8(Cp1252ToUtf16(Name)) +
             "! Error: " + LastWindowError());
    return false;
  }
  if (Name == "main") Owner->HasMainWindow = true;
  SetWindowIcon(Handle, ProgramIcon());

  BackgroundIndex = Owner->ImageIndex(Background);
  StencilIndex = Owner->ImageIndex(Stencil);
  BackgroundBitmap = &Owner->Bitmap(BackgroundIndex);
  if (stencil != nullptr) {
    Region = RegionFromMask(*stencil, 255, 255, 255);
    SetWindowRegion(Handle, &Region, true);
    MoveWindow(Handle, {at.X, at.Y, at.X + stencil->Width, at.Y + stencil->Height}, true);
  }
  return true;
}

void TWindow::Paint() {
  TPaint paint = BeginPaint(Handle);
  if (paint.Surface != nullptr && BackgroundBitmap != nullptr)
    Blit(*paint.Surface, 0, 0, BackgroundBitmap->Width(), BackgroundBitmap->Height(),
         *BackgroundBitmap, 0, 0);
  EndPaint(Handle, paint);
}

void TWindow::ResetHover() {
  auto reset = [](auto& list) {
    for (auto& control : list)
      if (control->State == msOver) control->SetState(msNormal);
  };
  reset(Buttons);
  reset(Labels);
  reset(ProgressBars);
}

void TWindow::Destroy() {
  auto destroyAll = [](auto& list) {
    for (auto& control : list) control->Destroy();
    list.clear();
  };
  destroyAll(Buttons);
  destroyAll(Labels);
  destroyAll(ProgressBars);
  if (Handle != 0) DestroyWindow(Handle);
  if (Handle != 0 && Handle == gMainWindow) gMainWindow = 0;
  Handle = 0;
  BackgroundBitmap = nullptr;
  Region = TRegion();
}

TButton* TWindow::ButtonById(uint32_t id) { return ById(Buttons, id, 0); }
TLabel* TWindow::LabelById(uint32_t id) { return ById(Labels, id, kLabelIdBase); }
TProgressBar* TWindow::ProgressBarById(uint32_t id) {
  return ById(ProgressBars, id, kProgressBarIdBase);
}

}  // namespace vesperon
