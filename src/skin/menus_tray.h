#pragma once
// The popup menu with its skins submenu, and the tray icon: built at the end
// of every skin load (load step 12), removed by every unload. The skin keeps
// one TMenusAndTray; the main window procedure opens the menu, answers the
// tray's callback message and runs the menu's commands.
//
// Popup menu, top to bottom: the skins submenu (one item per ".vsf" file of
// the "skins" folder beside the executable, sorted by name, at most 51, then
// a separator when there was one, then Open), a separator, Minimize, Restore,
// a separator, About, Exit.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vesperon {

// Menu command identifiers (the low 16 bits of a wmCommand's WParam).
enum TMenuId : uint32_t {
  idmExit = 10001,
  idmMinimize = 10002,
  idmRestore = 10003,
  idmLoadSkin = 10004,  // "Open": logged, nothing else
  idmAbout = 10005,
  idmSkinFirst = 10100,  // idmSkinFirst + n: the n-th skin file of the submenu
};
constexpr std::size_t kSkinMenuMax = 51;

// The tray icon's identifier and the message it sends to the main window
// (WParam the identifier, LParam the mouse message).
constexpr uint32_t kTrayIconId = 1052002;
constexpr uint32_t wmTrayIcon = wmUser + 10;
// The tip the tray icon starts with, and the longest tip and balloon texts.
inline constexpr char16_t kTrayTip[] = u"Vesperon";

// The tray icon's record: what was last handed to the windowing layer.
// Flags follow the shell's notify-icon flags: 7 (message, icon, tip) and
// 0x17 (with a balloon) while a balloon is being shown.
struct TNotifyIconData {
  THandle Window = 0;
  uint32_t Id = kTrayIconId;
  uint32_t Flags = 7;
  uint32_t CallbackMessage = wmTrayIcon;
  std::u16string Tip;
  std::u16string BalloonTitle;
  std::u16string BalloonText;
  uint32_t BalloonIcon = 1;  // information
  uint32_t Timeout = 10;     // seconds
};

struct TMenusAndTray {
  TMenu Popup = 0;
  TMenu SkinsMenu = 0;
  // The skin files of the submenu, indexed by identifier - idmSkinFirst.
  std::vector<std::filesystem::path> SkinFiles;
  TNotifyIconData NotifyIconData;
  bool TrayAdded = false;
};

// The ".vsf" files (extension in any letter case) of the folder, sorted by
// name (letter case ignored, then byte order), at most kSkinMenuMax. Names
// that are not valid UTF-8 are listed too. Empty when the folder is missing.
std::vector<std::filesystem::path> ListSkinFiles(const std::filesystem::path& folder);
// The menu text of a skin file: its name with extension; bytes that are not
// valid UTF-8 show as U+FFFD.
std::u16string SkinMenuText(const std::filesystem::path& file);

// The program icon (drawn by tools/skinart), read once from the copy the
// executable carries: the tray icon and every skin window's icon.
const TIconSet& ProgramIcon();

// Load step 12: the skins submenu and the popup menu (menu texts from
// gLang), then the tray icon owned by `mainWindow` with the tip "Vesperon".
// The tray icon is added even when no tray runs yet: it docks when one
// starts.
void BuildMenusAndTray(TMenusAndTray& menus, THandle mainWindow);
// Removes the tray icon, then destroys the skins submenu and the popup menu.
// Safe to call twice.
void RemoveSkinTrayIcon(TMenusAndTray& menus);
void DestroyMenus(TMenusAndTray& menus);

// Opens the popup menu at a screen point, owned by the main window.
void OpenPopupMenu(const TMenusAndTray& menus, TPointI screen, THandle mainWindow);

// The skin file of a menu identifier; empty when the identifier names none.
std::filesystem::path SkinFileOfCommand(const TMenusAndTray& menus, uint32_t id);

// The tray tip becomes `text`, cut to 127 characters.
void SetTrayTip(TMenusAndTray& menus, std::u16string_view text);
// Shows a balloon at the tray icon (title cut to 63, text to 255
// characters). False when no tray holds the icon at the moment, so the
// caller can tell the user another way.
bool ShowBalloon(TMenusAndTray& menus, std::u16string_view title, std::u16string_view text);

}  // namespace vesperon
