#include "windows/about.h"

#include <cmath>

#include "core/version.h"
#include "windows/plain_window.h"

namespace vesperon {
namespace {

// The box's size when the picture is missing.
constexpr int32_t kFallbackWidth = 240;
constexpr int32_t kFallbackHeight = 320;

std::u16string VersionLine() {
  const std::string line = "Version " + std::to_string(kVersionMajor) + "." +
                           std::to_string(kVersionMinor) + " Build " +
                           std::to_string(kVersionBuild);
  return std::u16string(line.begin(), line.end());
}

}  // namespace

const std::array<std::u16string, TAbout::kLineCount>& TAbout::Lines() {
  static const std::array<std::u16string, kLineCount> lines{
      u"Vesperon",
      VersionLine(),
      u"",
      u"Programming:",
      u"the Vesperon developers",
      u"",
      u"Graphics:",
      u"the Vesperon artists",
      u"",
      u"Thanks to:",
      u"the GCC developers",
      u"everyone who tried the early builds",
      u"",
      u"",
      u"www.vesperon.example.org",
  };
  return lines;
}

bool TAbout::Create(THandle owner, const TImage& picture) {
  Destroy();
  if (picture.Width > 0 && picture.Height > 0) Picture_ = TSurface::FromImage(picture);
  const int32_t width = Picture_.Width() > 0 ? Picture_.Width() : kFallbackWidth;
  const int32_t height = Picture_.Height() > 0 ? Picture_.Height() : kFallbackHeight;
  TWindowParams params =
      PlainWindowParams("About", u"Vesperon-About", CentredOnScreen(width, height),
                        [this](THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
                          return Handler(h, msg, wp, lp);
                        });
  params.Owner = owner;
  Handle_ = CreateWindow(params);
  if (Handle_ == 0) Picture_ = TSurface();
  return Handle_ != 0;
}

void TAbout::Show() {
  if (Handle_ == 0) return;
  // A box shown again restarts its lines with the one timer it has.
  StopTimer();
  TimerId_ = SetTimer(kTickMs, [this](uint32_t) { Tick(); });
  Offset_ = kStartOffset;
  ShowWindow(Handle_, swShow);
  SetForegroundWindow(Handle_);
}

void TAbout::Hide() {
  if (Handle_ != 0) ShowWindow(Handle_, swHide);
  StopTimer();
}

void TAbout::Destroy() {
  StopTimer();
  if (Handle_ != 0 && IsWindow(Handle_)) DestroyWindow(Handle_);
  Handle_ = 0;
  Picture_ = TSurface();
  Font_.reset();
}

void TAbout::Tick() {
  Offset_ -= kStep;
  if (Offset_ < kWrapBelow) Offset_ = Picture_.Height() > 0 ? Picture_.Height() : kFallbackHeight;
  InvalidateRect(Handle_, nullptr, false);
  UpdateWindow(Handle_);
}

void TAbout::StopTimer() {
  if (TimerId_ != 0) KillTimer(0, TimerId_);
  TimerId_ = 0;
}

// The window's surface is the off-screen buffer: everything is drawn into it
// and shown once by EndPaint, so the box never shows a half-drawn state.
void TAbout::Paint() {
  const TPaint paint = BeginPaint(Handle_);
  TSurface& s = *paint.Surface;
  const int32_t w = Picture_.Width();
  const int32_t h = Picture_.Height();
  const int32_t middle = h - kTopBand - kBottomBand;
  Blit(s, 0, kTopBand, w, middle, Picture_, 0, kTopBand);
  const int32_t y0 = static_cast<int32_t>(std::lround(Offset_));
  for (std::size_t k = 0; k < kLineCount; ++k) {
    const int32_t y = y0 + kLineHeight + kLineHeight * static_cast<int32_t>(k);
    TextOut(s, Font_, w / 2, y, Lines()[k], kPlainTextColor, true);
  }
  // The picture's top and bottom bands cover the lines that left the middle.
  Blit(s, 0, 0, w, kTopBand, Picture_, 0, 0);
  Blit(s, 0, h - kBottomBand, w, kBottomBand, Picture_, 0, h - kBottomBand);
  EndPaint(Handle_, paint);
}

std::intptr_t TAbout::Handler(THandle window, uint32_t msg, std::uintptr_t wParam,
                              std::intptr_t lParam) {
  switch (msg) {
    case wmCreate: Font_ = CreatePlainFont(); return 0;
    case wmClose:
    case wmChar: return 0;  // neither the keyboard nor the window manager closes it
    case wmEraseBkgnd:
      return Picture_.Width() > 0 ? 1 : DefWindowHandler(window, msg, wParam, lParam);
    case wmPaint:
      if (Picture_.Width() == 0) break;
      Paint();
      return 0;
    case wmLButtonDown: Hide(); return 0;
    case wmDestroy:
      // Also when the window goes with its owner: no tick may follow.
      StopTimer();
      Handle_ = 0;
      return 0;
    default: break;
  }
  return DefWindowHandler(window, msg, wParam, lParam);
}

}  // namespace vesperon
