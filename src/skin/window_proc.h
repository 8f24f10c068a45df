#pragma once
// The window procedure every skin window shares: painting, drawing the
// owner-drawn controls, button clicks as command strings, hover reset, and
// the main window's keys, dragging, menu, tray, moving, closing and
// minimizing.
#include <cstdint>

#include "platform/platform.h"

namespace vesperon {

std::intptr_t SkinWindowProc(THandle window, uint32_t msg, std::uintptr_t wParam,
                             std::intptr_t lParam);

}  // namespace vesperon
