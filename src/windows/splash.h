#pragma once
// The start-up splash: a top-most 480 x 320 pop-up in the middle of the
// screen that shows the splash picture and one line of progress text.
//
// Start-up draws each line directly (not from a paint handler), since no
// message loop runs yet; the window's surface keeps the picture and the
// line, so a repaint of an uncovered part shows them again. While a display
// shows the splash, every line stays at least 100 ms, so a fast start-up
// still shows each of its steps.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vesperon {

class TSplash {
 public:
  static constexpr int32_t kWidth = 480;
  static constexpr int32_t kHeight = 320;
  // The box the progress line starts in; a new line restores it (and
  // whatever a longer line before it covered) from the picture first.
  static constexpr TRect kTextBox{60, 220, 260, 260};
  static constexpr uint32_t kLinePauseMs = 100;

  TSplash() = default;
  TSplash(const TSplash&) = delete;
  TSplash& operator=(const TSplash&) = delete;
  ~TSplash() { Close(); }

  // Creates and shows the window ("Splash", "Vesperon-Splash") and draws the
  // picture. Without a window (it could not be made) the other calls do
  // nothing; an empty picture (one that did not decode) leaves it grey.
  void Show(const TImage& picture);
  // Replaces the progress line.
  void Text(std::u16string_view text);
  // Destroys the window and frees the picture and the font.
  void Close();

  THandle Handle() const { return Handle_; }

 private:
  std::intptr_t Handler(THandle window, uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
  // Copies the part of the picture under `area` back onto the window.
  void RestorePicture(TSurface& surface, const TRect& area) const;

  THandle Handle_ = 0;
  TSurface Picture_;
  PFont Font_;
  // Where the current line was drawn (empty before the first).
  TRect LastText_;
};

}  // namespace vesperon
