// The window procedure of every skin window, one case per message.
#include "skin/window_proc.h"

#include "core/commands.h"
#include "core/log.h"
#include "skin/skin.h"

namespace vesperon {
namespace {

// Draws the owner-drawn control the layer asks for into its surface.
void DrawItem(TWindow& window, const TDrawItem& item) {
  if (!item.DrawEntire || item.Surface == nullptr) return;
  TSkinControl* control = nullptr;
  if (GetWindowClassName(item.Window) == "BUTTON") {
    control = window.ButtonById(item.ControlId);
  } else {
    control = window.LabelById(item.ControlId);
    if (control == nullptr) control = window.ProgressBarById(item.ControlId);
  }
  if (control != nullptr && control->Handle == item.Window) control->Draw(*item.Surface);
}

// A button's click: its command string runs. The string is copied first,
// because the command may unload the skin and with it the button.
void ButtonCommand(TWindow& window, uint32_t id) {
  const TButton* button = window.ButtonById(id);
  if (button == nullptr) return;
  const std::u16string function = button->Function;
  RunCommand(function);
}

void Close(THandle handle) {
  if (handle == gMainWindow) {
    Log("got WM_CLOSE for the main window");
    PostQuitMessage(0);
  } else {
    ShowWindow(handle, swHide);
  }
}

}  // namespace

std::intptr_t SkinWindowProc(THandle handle, uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  TWindow* window = gSkin != nullptr ? gSkin->WindowByHandle(handle) : nullptr;
  if (window == nullptr) return msg == wmCreate ? 0 : DefWindowHandler(handle, msg, wParam, lParam);
  switch (msg) {
    case wmCreate:
      return 0;
    case wmPaint:
      window->Paint();
      return 0;
    case wmDrawItem:
      DrawItem(*window, *reinterpret_cast<const TDrawItem*>(lParam));
      return 0;
    case wmCommand:
      ButtonCommand(*window, LoWord(wParam));
      return 0;
    case wmMouseMove:
      window->ResetHover();
      return 0;
    case wmClose:
      Close(handle);
      return 0;
    default:
      return DefWindowHandler(handle, msg, wParam, lParam);
  }
}

}  // namespace vesperon
