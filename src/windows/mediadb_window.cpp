#include "windows/mediadb_window.h"

#include <exception>

#include "core/log.h"
#include "core/settings.h"

namespace vesperon {
namespace {

const TFramedWindowKind kMediaDBKind{
    "MediaDBWindow",
    u"Media DB",
    "creating media-db window...",
    "mediadb window class already exists",
    "could not create media-db window! Error: ",
};

}  // namespace

TMediaDBWin::TMediaDBWin(TFramedWindowLook look) : TFramedWindow(std::move(look)) {}

TMediaDBWin::~TMediaDBWin() {
  // The list view goes before its parent window.
  ListView.reset();
  Destroy();
}

bool TMediaDBWin::Create(THandle mainWindow) {
  if (!TFramedWindow::Create(kMediaDBKind, mainWindow)) return false;
  ListView = std::make_unique<TListView>(Handle, Look);
  PlaceListView();
  Log("created media-db window");
  return true;
}

void TMediaDBWin::Show() {
  const TPointI main = MainWindowPosition(MainWindow);
  ShowAt({main.X + gSettings.MediaDbWinOffset.x, main.Y + gSettings.MediaDbWinOffset.y});
}

void TMediaDBWin::PlaceListView() {
  if (!ListView) return;
  // One rule at creation and after every resize: the list starts at x 100
  // and leaves the right, top and bottom frame pieces free.
  const int32_t top = CornerHeight;
  ListView->SetBounds(kListViewLeft, top, std::max(0, Width - CornerWidth - kListViewLeft),
                      std::max(0, Height - 2 * top));
}

std::intptr_t TMediaDBWin::WindowProc(uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  // Keys typed into the window go to the list.
  if (msg == wmSetFocus && ListView && ListView->Handle != 0) {
    SetFocus(ListView->Handle);
    return 0;
  }
  return TFramedWindow::WindowProc(msg, wParam, lParam);
}

void TMediaDBWin::Moved(TPointI topLeft) {
  const TPointI main = MainWindowPosition(MainWindow);
  gSettings.MediaDbWinOffset = {topLeft.X - main.X, topLeft.Y - main.Y};
}

void TMediaDBWin::Resized(int32_t width, int32_t height) {
  try {
    Width = width;
    Height = height;
    SetRegion();
    PlaceListView();
    InvalidateRect(Handle, nullptr, true);
    UpdateWindow(Handle);
  } catch (const std::exception&) {
    // A failed resize keeps the old outline; the next one tries again.
  }
}

}  // namespace vesperon
