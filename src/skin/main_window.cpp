// The popup menu and the tray icon of the main window, and switching skins.
#include "skin/main_window.h"

#include "core/log.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "skin/skin.h"

namespace vesperon {

void BuildMenusAndTray(TSkin& skin) { BuildMenusAndTray(skin.MenusAndTray, gMainWindow); }

void RemoveMenusAndTray(TSkin& skin) {
  RemoveSkinTrayIcon(skin.MenusAndTray);
  DestroyMenus(skin.MenusAndTray);
}

void SetTrayTip(std::u16string_view text) {
  if (gSkin != nullptr) SetTrayTip(gSkin->MenusAndTray, text);
}

bool ShowBalloon(std::u16string_view title, std::u16string_view text) {
  return gSkin != nullptr && ShowBalloon(gSkin->MenusAndTray, title, text);
}

bool SwitchSkin(TSkin& skin, std::u16string_view file) {
  // The skin loaded now, by the name Load stored (empty: the built-in one).
  const std::u16string previous = gSettings.LastSkin;
  if (skin.Load(file)) return true;
  LogError(u"the skin " + std::u16string(file) +
           u" could not be loaded; going back to the previous skin");
  if (!previous.empty() && skin.Load(previous)) return false;
  if (skin.Load(u"")) return false;
  LogError("not even the built-in skin could be loaded; quitting");
  PostQuitMessage(4);
  return false;
}

}  // namespace vesperon
