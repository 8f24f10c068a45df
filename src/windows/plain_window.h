#pragma once
// What the splash, the about box and the configuration assistant share: they
// are plain top-most pop-up windows of the program's own (not skin windows),
// on the same grey background, writing with the same 14-pixel font, and
// placed in the middle of the screen.
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vesperon {

// The background of the plain window classes (the classic inactive-border
// grey of the desktop's colour scheme).
inline constexpr TColor kPlainBackground = MakeColor(0xD4, 0xD0, 0xC8);
// Texts are written in black, with transparent background.
inline constexpr TColor kPlainTextColor = MakeColor(0, 0, 0);

// The 14-pixel text font of the plain windows (a sans font when the named one
// is not installed); nullptr when no font can be loaded at all.
PFont CreatePlainFont();

// A window of the given size whose top left corner lies at half the screen
// size minus half the window's size (integer halves, so an odd screen or
// window size rounds down).
TRect CentredOnScreen(int32_t width, int32_t height);

// The parameters shared by the plain windows: top-most, hidden, the grey
// background, with the handler.
TWindowParams PlainWindowParams(std::string className, std::u16string title, const TRect& bounds,
                                TWindowHandler handler);

// Creates an unowned plain window of `width` x `height` in the middle of the
// screen (it has a task-bar entry of its own) and shows it in front with the
// focus; 0 when it cannot be made.
THandle ShowCentredPlainWindow(std::string className, std::u16string title, int32_t width,
                               int32_t height, TWindowHandler handler);

}  // namespace vesperon
