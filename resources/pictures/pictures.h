#pragma once
// Pictures carried inside the executable: the splash (480 x 320) and about
// (240 x 320) pictures as complete 24-bit BMP files (decode them with
// DecodeBmp), and the program icon.
#include <string_view>

namespace vesperon {

std::string_view SplashPicture();
std::string_view AboutPicture();
// The program icon in several sizes, in the layout of _NET_WM_ICON (read it
// with DecodeIconSet of the windowing layer).
std::string_view ProgramIconSet();

}  // namespace vesperon
