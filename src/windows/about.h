#pragma once
// The about box: a top-most pop-up of the about picture's size in the middle
// of the screen, owned by the main skin window, over which 15 credit lines
// rise slowly and start again from the bottom. The lines show only on the
// picture's middle band; they slide under its top 70 and bottom 75 rows.
//
// Each loaded skin creates one, hidden; the menu and "show_window(about)"
// show it, a click hides it, unloading the skin destroys it. One thread
// timer (25 ms) moves the lines while the box is shown; hiding or destroying
// the box stops it, so a second show does not scroll twice as fast and no
// tick reaches a destroyed box.
#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vesperon {

class TAbout {
 public:
  static constexpr uint32_t kTickMs = 25;
  static constexpr double kStartOffset = 200.0;
  static constexpr double kStep = 0.75;         // pixels per tick: 30 a second
  static constexpr double kWrapBelow = -150.0;  // then the lines start from the bottom
  static constexpr int32_t kTopBand = 70;       // rows of the picture above the text
  static constexpr int32_t kBottomBand = 75;    // and below it
  static constexpr int32_t kLineHeight = 14;
  static constexpr std::size_t kLineCount = 15;

  TAbout() = default;
  TAbout(const TAbout&) = delete;
  TAbout& operator=(const TAbout&) = delete;
  ~TAbout() { Destroy(); }

  // Creates the hidden window ("About", "Vesperon-About") of the picture's
  // size (240 x 320 grey without lines when the picture is empty because it
  // did not decode). False when the window cannot be made.
  bool Create(THandle owner, const TImage& picture);
  // Starts the lines at offset 200 and shows the box in front with the focus.
  void Show();
  // Hides the box and stops its timer.
  void Hide();
  // Stops the timer and destroys the window.
  void Destroy();

  // One timer step: the lines rise by kStep and the box repaints at once.
  void Tick();

  THandle Handle() const { return Handle_; }
  double Offset() const { return Offset_; }
  // The running timer's id, 0 while none runs.
  uint32_t TimerId() const { return TimerId_; }
  static const std::array<std::u16string, kLineCount>& Lines();

 private:
  std::intptr_t Handler(THandle window, uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
  void Paint();
  void StopTimer();

  THandle Handle_ = 0;
  TSurface Picture_;
  PFont Font_;
  uint32_t TimerId_ = 0;
  double Offset_ = kStartOffset;
};

}  // namespace vesperon
