#pragma once
// The main window's own furniture: the popup menu (with the submenu of
// installed skins) and the tray icon. Load builds them as its last steps
// before the other windows are created; Unload removes them.
#include <string>
#include <string_view>

namespace vesperon {

class TSkin;

// Called by Load after the main window is shown.
void BuildMenusAndTray(TSkin& skin);
// Called by Unload; does nothing when nothing was built.
void RemoveMenusAndTray(TSkin& skin);
// The tray icon's tip (cut to 127 characters); nothing without an icon.
void SetTrayTip(std::u16string_view text);
// A balloon at the tray icon (title cut to 63, text to 255 characters).
// False when there is no skin or no tray holds the icon, so the caller can
// tell the user another way.
bool ShowBalloon(std::u16string_view title, std::u16string_view text);

// Switches to the packed skin file: the current skin is unloaded and the
// file loaded. When that fails, the reason is logged and the previous skin
// is loaded again, else the built-in one. False when the file could not be
// loaded (the player then shows the previous or the built-in skin); when
// not even the built-in skin loads, the player has no window left and
// quits with exit code 4.
bool SwitchSkin(TSkin& skin, std::u16string_view file);

}  // namespace vesperon
