#include "windows/video_window.h"

namespace vesperon {

const TFramedWindowKind& TVideoWin::Kind() {
  static const TFramedWindowKind kind{
      "VideoWindow",
      u"Video",
      "creating video window...",
      "video window class already exists",
      "could not create video window! Error: ",
  };
  return kind;
}

void TVideoWin::Show() {
  if (Handle == 0) return;
  const TPointI main = MainWindowPosition(MainWindow);
  ShowAt({main.X + kFramedWindowStartOffset, main.Y + kFramedWindowStartOffset});
}

}  // namespace vesperon
