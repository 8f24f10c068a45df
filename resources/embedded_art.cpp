// Views of the artwork the build embeds (see resources/CMakeLists.txt). The
// sizes come from the generated sources, which let the assembler count them.
#include <cstdint>

#include "resources/pictures/pictures.h"
#include "resources/skins/builtin_skin.h"

extern "C" const unsigned char vesperon_builtin_skin[];
extern "C" const std::uint64_t vesperon_builtin_skin_size;
extern "C" const unsigned char vesperon_splash_bmp[];
extern "C" const std::uint64_t vesperon_splash_bmp_size;
extern "C" const unsigned char vesperon_about_bmp[];
extern "C" const std::uint64_t vesperon_about_bmp_size;
extern "C" const unsigned char vesperon_program_icon_set[];
extern "C" const std::uint64_t vesperon_program_icon_set_size;

namespace vesperon {
namespace {

std::string_view Bytes(const unsigned char* begin, std::uint64_t size) {
  return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(size)};
}

}  // namespace

std::string_view BuiltinSkinFile() {
  return Bytes(vesperon_builtin_skin, vesperon_builtin_skin_size);
}
std::string_view SplashPicture() { return Bytes(vesperon_splash_bmp, vesperon_splash_bmp_size); }
std::string_view AboutPicture() { return Bytes(vesperon_about_bmp, vesperon_about_bmp_size); }
std::string_view ProgramIconSet() {
  return Bytes(vesperon_program_icon_set, vesperon_program_icon_set_size);
}

}  // namespace vesperon
