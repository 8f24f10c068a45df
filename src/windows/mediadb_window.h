#pragma once
// The media-db window: a framed window holding the list view of the media
// database. Each loaded skin creates one, hidden; "show_window(media)" shows
// it at the main window's corner plus the stored offset (the settings
// "general/mediadbwinoffset/x" and "/y"), moving it stores the offset anew,
// closing hides it.
#include <memory>

#include "windows/framed_window.h"
#include "windows/listview.h"

namespace vesperon {

// The list view's place in the window: right of the drag area on the left,
// inside the frame on the other three sides.
inline constexpr int32_t kListViewLeft = 100;

class TMediaDBWin : public TFramedWindow {
 public:
  explicit TMediaDBWin(TFramedWindowLook look);
  ~TMediaDBWin() override;

  // Creates the hidden window owned by the main window (0: none) and the
  // list view inside, with the log lines of the media-db window. False
  // (logged) when the window could not be made.
  bool Create(THandle mainWindow);
  // Moves the window to the main window's corner plus the stored offset,
  // with its current size, and shows it.
  void Show();

  std::unique_ptr<TListView> ListView;

 protected:
  std::intptr_t WindowProc(uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
  void Moved(TPointI topLeft) override;
  void Resized(int32_t width, int32_t height) override;

 private:
  // Places the list view for the current size, clear of the frame.
  void PlaceListView();
};

}  // namespace vesperon
