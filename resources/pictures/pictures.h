#pragma once
// The splash (480 x 320) and about (240 x 320) pictures: complete 24-bit
// BMP files carried inside the executable; decode them with DecodeBmp.
#include <string_view>

namespace vesperon {

std::string_view SplashPicture();
std::string_view AboutPicture();

}  // namespace vesperon
