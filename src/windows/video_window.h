#pragma once
// The video window: a framed window with nothing inside (the frame, the
// skin's background colour, the corner-mask outline, moving and sizing by
// the nine zones). Each loaded skin creates one, hidden, beside its media-db
// window and destroys it on unloading; "show_window(video)" shows it 20
// pixels right of and below the main window's corner every time, wherever
// the user left it; closing it hides it. Its outline follows every resize.
#include "windows/framed_window.h"

namespace vesperon {

class TVideoWin : public TFramedWindow {
 public:
  explicit TVideoWin(TFramedWindowLook look) : TFramedWindow(std::move(look)) {}

  // The class "VideoWindow", the title "Video" and their log lines.
  static const TFramedWindowKind& Kind();

  // Creates the hidden 640 x 480 window owned by the main window.
  bool Create(THandle mainWindow) { return TFramedWindow::Create(Kind(), mainWindow); }
  // Moves the window to the main window's corner + 20 with its current size
  // and shows it; no offset is remembered.
  void Show();
};

}  // namespace vesperon
