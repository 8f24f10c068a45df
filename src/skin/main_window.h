#pragma once
// The main window's own furniture: the popup menu (with the submenu of
// installed skins) and the tray icon. Load builds them as its last steps
// before the other windows are created; Unload removes them.
#include <string_view>

namespace vesperon {

class TSkin;

// Called by Load after the main window is shown.
void BuildMenusAndTray(TSkin& skin);
// Called by Unload; does nothing when nothing was built.
void RemoveMenusAndTray(TSkin& skin);
// The tray icon's tip (cut to 127 characters); nothing without an icon.
void SetTrayTip(std::u16string_view text);

}  // namespace vesperon
