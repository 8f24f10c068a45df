// The window procedure of every skin window: one case per message, each
// calling a named function.
#include "skin/window_proc.h"

#include <algorithm>
#include <filesystem>

#include "core/commands.h"
#include "core/files.h"
#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/skin_link.h"
#include "skin/main_window.h"
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

// The main window's place is kept as the last position. The position of a
// minimized window says nothing about where it stands, so it is skipped.
void Moved(THandle handle) {
  if (handle != gMainWindow || IsMinimized(handle)) return;
  const TRect r = GetWindowRect(handle);
  gSettings.LastPos = {r.Left, r.Top};
}

// A minimized main window lives on as the tray icon, but only while a tray
// holds the icon: without one it could never come back, and it stays an
// ordinary minimized window.
bool Minimized(THandle handle) {
  if (handle != gMainWindow || !TrayIconDocked()) return false;
  ShowWindow(handle, swHide);
  return true;
}

void Close(THandle handle) {
  if (handle == gMainWindow) {
    Log("got WM_CLOSE for the main window");
    PostQuitMessage(0);
  } else {
    ShowWindow(handle, swHide);
  }
}

void Restore(THandle handle) {
  ShowWindow(handle, swRestore);
  SetForegroundWindow(handle);
}

// Key table entries run as command strings.
void KeyDown(std::uintptr_t virtualKey, std::intptr_t keyData) {
  if (const std::optional<std::u16string> function =
          KeyLookup(static_cast<uint32_t>(virtualKey), keyData))
    RunCommand(*function);
}

void OpenMenu(TPointI screen) {
  if (gSkin != nullptr) OpenPopupMenu(gSkin->MenusAndTray, screen, gMainWindow);
}

void TrayMouse(THandle handle, std::intptr_t mouseMessage) {
  if (mouseMessage == wmLButtonDblClk) {
    Restore(handle);
  } else if (mouseMessage == wmRButtonUp) {
    SetForegroundWindow(handle);
    OpenMenu(GetCursorPos());
    PostMessage(handle, wmNull);
  }
}

// A skin chosen from the submenu. A file that has gone since the menu was
// built is ignored and the skin stays.
void ChooseSkin(uint32_t id) {
  const std::filesystem::path file = SkinFileOfCommand(gSkin->MenusAndTray, id);
  std::error_code error;
  if (file.empty() || !std::filesystem::is_regular_file(file, error)) return;
  const std::u16string name = U16FromPath(file);
  Log(u"load_skin " + name);
  SwitchSkin(*gSkin, name);
}

// A button's click: its command string runs. The string is copied first,
// because the command may unload the skin and with it the button.
void ButtonCommand(TWindow& window, uint32_t id) {
  const TButton* button = window.ButtonById(id);
  if (button == nullptr) return;
  const std::u16string function = button->Function;
  RunCommand(function);
}

void Command(THandle handle, TWindow& window, uint32_t id) {
  switch (id) {
    case idmExit:
      Log("got BN_CLICKED for IDM_EXIT");
      PostQuitMessage(0);
      return;
    case idmMinimize: ShowWindow(handle, swMinimize); return;
    case idmRestore: Restore(handle); return;
    case idmLoadSkin: Log("got BN_CLICKED for IDM_LOADSKIN"); return;
    case idmAbout:
      if (gSkinLink != nullptr) gSkinLink->ShowAboutWindow();
      return;
    default: break;
  }
  if (id >= idmSkinFirst && id < idmSkinFirst + kSkinMenuMax) {
    ChooseSkin(id);
  } else {
    ButtonCommand(window, id);
  }
}

}  // namespace

std::intptr_t SkinWindowProc(THandle handle, uint32_t msg, std::uintptr_t wParam,
                             std::intptr_t lParam) {
  TWindow* window = gSkin != nullptr ? gSkin->WindowByHandle(handle) : nullptr;
  if (window == nullptr) return msg == wmCreate ? 0 : DefWindowHandler(handle, msg, wParam, lParam);
  switch (msg) {
    case wmCreate: return 0;
    case wmMove: Moved(handle); return 0;
    case wmSize:
      if (wParam == sizeMinimized && Minimized(handle)) return 0;
      return DefWindowHandler(handle, msg, wParam, lParam);
    case wmPaint: window->Paint(); return 0;
    case wmClose: Close(handle); return 0;
    case wmDrawItem: DrawItem(*window, *reinterpret_cast<const TDrawItem*>(lParam)); return 0;
    case wmKeyDown: KeyDown(wParam, lParam); return 0;
    case wmKeyUp:
    case wmChar: return 0;
    case wmCommand: Command(handle, *window, LoWord(wParam)); return 0;
    case wmMouseMove: window->ResetHover(); return 0;
    case wmLButtonDown: BeginSystemMove(handle); return 0;
    case wmLButtonUp:
    case wmRButtonDown:
    case wmMButtonDown:
    case wmMButtonUp: return 0;
    case wmRButtonUp:
      OpenMenu(ClientToScreen(handle, {LoWordSigned(lParam), HiWordSigned(lParam)}));
      return 0;
    case wmTrayIcon: TrayMouse(handle, lParam); return 0;
    default: return DefWindowHandler(handle, msg, wParam, lParam);
  }
}

}  // namespace vesperon
