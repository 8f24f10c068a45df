// The popup menu and the tray icon of the main window.
#include "skin/main_window.h"

#include "skin/skin.h"

namespace vesperon {

void BuildMenusAndTray(TSkin&) {}

void RemoveMenusAndTray(TSkin&) {}

void SetTrayTip(std::u16string_view) {}

}  // namespace vesperon
