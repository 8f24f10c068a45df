// The popup menu, its skins submenu and the tray icon.
#include "skin/menus_tray.h"

#include <algorithm>
#include <system_error>

#include "core/language.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"
#include "resources/pictures/pictures.h"

namespace vesperon {
namespace {

bool HasSkinExtension(const std::filesystem::path& file) {
  return AsciiLower(file.extension().string()) == ".vsf";
}

// Letter case ignored first, so "Aurora" and "lumen" sort as a reader
// expects; byte order breaks ties so the order never depends on the folder.
bool SkinNameLess(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::string na = a.filename().string(), nb = b.filename().string();
  const std::string la = AsciiLower(na), lb = AsciiLower(nb);
  return la != lb ? la < lb : na < nb;
}

// Without a "skins" folder the submenu stays empty.
void FillSkinsMenu(TMenusAndTray& menus) {
  menus.SkinsMenu = CreatePopupMenu();
  const std::filesystem::path folder = ExecutableDir() / "skins";
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return;
  menus.SkinFiles = ListSkinFiles(folder);
  for (std::size_t n = 0; n < menus.SkinFiles.size(); ++n) {
    AppendMenuItem(menus.SkinsMenu, idmSkinFirst + static_cast<uint32_t>(n),
                   SkinMenuText(menus.SkinFiles[n]));
  }
  if (!menus.SkinFiles.empty()) AppendMenuSeparator(menus.SkinsMenu);
  AppendMenuItem(menus.SkinsMenu, idmLoadSkin, gLang.Open);
}

void FillPopupMenu(TMenusAndTray& menus) {
  menus.Popup = CreatePopupMenu();
  AppendSubMenu(menus.Popup, menus.SkinsMenu, gLang.Skins);
  AppendMenuSeparator(menus.Popup);
  AppendMenuItem(menus.Popup, idmMinimize, gLang.Minimize);
  AppendMenuItem(menus.Popup, idmRestore, gLang.Restore);
  AppendMenuSeparator(menus.Popup);
  AppendMenuItem(menus.Popup, idmAbout, gLang.About);
  AppendMenuItem(menus.Popup, idmExit, gLang.Exit);
}

}  // namespace

const TIconSet& ProgramIcon() {
  static const TIconSet icon = DecodeIconSet(ProgramIconSet());
  return icon;
}

std::vector<std::filesystem::path> ListSkinFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::error_code typeError;
    if (HasSkinExtension(it->path()) && it->is_regular_file(typeError)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end(), SkinNameLess);
  if (files.size() > kSkinMenuMax) files.resize(kSkinMenuMax);
  return files;
}

std::u16string SkinMenuText(const std::filesystem::path& file) {
  std::u16string text = Utf8ToUtf16(file.filename().string());
  // Undecodable bytes travel as lone surrogates U+DC80..U+DCFF (core/text.h);
  // on screen they are the replacement character.
  for (char16_t& c : text) {
    if (c >= 0xDC80 && c <= 0xDCFF) c = 0xFFFD;
  }
  return text;
}

void BuildMenusAndTray(TMenusAndTray& menus, THandle mainWindow) {
  FillSkinsMenu(menus);
  FillPopupMenu(menus);
  TNotifyIconData& icon = menus.NotifyIconData;
  icon = TNotifyIconData{};
  icon.Window = mainWindow;
  icon.Tip = kTrayTip;
  menus.TrayAdded = AddTrayIcon(mainWindow, icon.Id, icon.CallbackMessage, ProgramIcon(), icon.Tip);
  if (!menus.TrayAdded) Log("the tray icon could not be added");
}

void RemoveSkinTrayIcon(TMenusAndTray& menus) {
  if (menus.TrayAdded) RemoveTrayIcon();
  menus.TrayAdded = false;
}

void DestroyMenus(TMenusAndTray& menus) {
  // The skins submenu belongs to the popup menu once appended to it.
  if (menus.Popup) {
    DestroyMenu(menus.Popup);
  } else if (menus.SkinsMenu) {
    DestroyMenu(menus.SkinsMenu);
  }
  menus.Popup = menus.SkinsMenu = 0;
  menus.SkinFiles.clear();
}

void OpenPopupMenu(const TMenusAndTray& menus, TPointI screen, THandle mainWindow) {
  if (menus.Popup) TrackPopupMenu(menus.Popup, screen, mainWindow);
}

std::filesystem::path SkinFileOfCommand(const TMenusAndTray& menus, uint32_t id) {
  if (id < idmSkinFirst || id - idmSkinFirst >= menus.SkinFiles.size()) return {};
  return menus.SkinFiles[id - idmSkinFirst];
}

void SetTrayTip(TMenusAndTray& menus, std::u16string_view text) {
  if (!menus.TrayAdded) return;
  menus.NotifyIconData.Tip = CutUtf16(text, kTrayTipMax);
  ModifyTrayTip(menus.NotifyIconData.Tip);
}

bool ShowBalloon(TMenusAndTray& menus, std::u16string_view title, std::u16string_view text) {
  if (!menus.TrayAdded || !TrayIconDocked()) return false;
  TNotifyIconData& icon = menus.NotifyIconData;
  icon.Flags = 0x17;
  icon.BalloonTitle = CutUtf16(title, kBalloonTitleMax);
  icon.BalloonText = CutUtf16(text, kBalloonTextMax);
  const bool shown = ShowTrayBalloon(icon.BalloonTitle, icon.BalloonText);
  icon.Flags = 7;
  return shown;
}

}  // namespace vesperon
