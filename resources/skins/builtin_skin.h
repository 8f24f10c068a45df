#pragma once
// The built-in default skin: a packed skin file carried inside the
// executable, used whenever no usable skin file is given.
#include <string_view>

namespace vesperon {

std::string_view BuiltinSkinFile();

}  // namespace vesperon
