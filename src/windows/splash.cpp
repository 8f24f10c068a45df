#include "windows/splash.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "windows/plain_window.h"

namespace vesperon {
namespace {

TRect Union(const TRect& a, const TRect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
          std::max(a.Bottom, b.Bottom)};
}

}  // namespace

void TSplash::Show(const TImage& picture) {
  if (Handle_ != 0) return;
  Handle_ = ShowCentredPlainWindow("Splash", u"Vesperon-Splash", kWidth, kHeight,
                                   [this](THandle h, uint32_t msg, std::uintptr_t wp,
                                          std::intptr_t lp) { return Handler(h, msg, wp, lp); });
  if (Handle_ == 0) return;
  if (picture.Width > 0 && picture.Height > 0) {
    Picture_ = TSurface::FromImage(picture);
    TSurface& surface = *GetWindowSurface(Handle_);
    Blit(surface, 0, 0, Picture_.Width(), Picture_.Height(), Picture_, 0, 0);
    PresentWindow(Handle_);
  }
}

void TSplash::Text(std::u16string_view text) {
  TSurface* surface = GetWindowSurface(Handle_);
  if (surface == nullptr) return;
  // A line wider than the box reaches beyond it; restoring what the last
  // line covered as well leaves no remains of it beside the new one.
  const TRect erase = Union(kTextBox, LastText_);
  RestorePicture(*surface, erase);
  LastText_ = {};
  if (Font_ && !text.empty()) {
    TextOut(*surface, Font_, kTextBox.Left, kTextBox.Top, text, kPlainTextColor);
    // Smoothed glyph edges may reach a pixel or two beyond the advance.
    LastText_ = {kTextBox.Left, kTextBox.Top, kTextBox.Left + TextWidth(Font_, text) + 2,
                 kTextBox.Top + FontLineHeight(Font_) + 2};
  }
  const TRect shown = Union(erase, LastText_);
  PresentWindow(Handle_, &shown);
  // Nobody sees a window without a display; there the pause would only slow
  // the start.
  if (PlatformKind() == pkX11) std::this_thread::sleep_for(std::chrono::milliseconds(kLinePauseMs));
}

void TSplash::Close() {
  if (Handle_ != 0 && IsWindow(Handle_)) DestroyWindow(Handle_);
  Handle_ = 0;
  Picture_ = TSurface();
  Font_.reset();
  LastText_ = {};
}

void TSplash::RestorePicture(TSurface& surface, const TRect& area) const {
  if (Picture_.Width() == 0) {
    FillRect(surface, area, kPlainBackground);
    return;
  }
  Blit(surface, area.Left, area.Top, area.Width(), area.Height(), Picture_, area.Left, area.Top);
}

std::intptr_t TSplash::Handler(THandle window, uint32_t msg, std::uintptr_t wParam,
                               std::intptr_t lParam) {
  switch (msg) {
    case wmCreate: Font_ = CreatePlainFont(); return 0;
    case wmClose:
    case wmChar: return 0;        // neither the keyboard nor the window manager closes it
    case wmEraseBkgnd: return 1;  // the surface keeps the picture and the line
    case wmDestroy: Handle_ = 0; return 0;
    default: return DefWindowHandler(window, msg, wParam, lParam);
  }
}

}  // namespace vesperon
