// Views of the artwork the build embeds (see resources/CMakeLists.txt).
#include "resources/pictures/pictures.h"
#include "resources/skins/builtin_skin.h"

extern "C" const unsigned char vesperon_builtin_skin[];
extern "C" const unsigned char vesperon_builtin_skin_end[];
extern "C" const unsigned char vesperon_splash_bmp[];
extern "C" const unsigned char vesperon_splash_bmp_end[];
extern "C" const unsigned char vesperon_about_bmp[];
extern "C" const unsigned char vesperon_about_bmp_end[];
extern "C" const unsigned char vesperon_program_icon_set[];
extern "C" const unsigned char vesperon_program_icon_set_end[];

namespace vesperon {
namespace {

std::string_view Bytes(const unsigned char* begin, const unsigned char* end) {
  return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin)};
}

}  // namespace

std::string_view BuiltinSkinFile() { return Bytes(vesperon_builtin_skin, vesperon_builtin_skin_end); }
std::string_view SplashPicture() { return Bytes(vesperon_splash_bmp, vesperon_splash_bmp_end); }
std::string_view AboutPicture() { return Bytes(vesperon_about_bmp, vesperon_about_bmp_end); }
std::string_view ProgramIconSet() { return Bytes(vesperon_program_icon_set, vesperon_program_icon_set_end); }

}  // namespace vesperon
