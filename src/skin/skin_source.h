#pragma once
// Choosing and reading the packed skin to load: the first steps of loading
// a skin, below the skin objects, windows and controls built from it.
#include <filesystem>
#include <string_view>

#include "skin/packed_skin.h"

namespace vesperon {

// Where a skin name leads. An empty Path means the built-in skin.
struct TSkinChoice {
  std::filesystem::path Path;
  bool Builtin() const { return Path.empty(); }
};

// An empty name selects the built-in skin. A name that denotes an existing
// file is used as it stands; otherwise the file of that name (no extension
// added) in the "skins" folder beside the executable. When that does not
// exist either, or is empty, a warning is logged and the built-in skin is
// chosen.
TSkinChoice ChooseSkin(std::u16string_view name);

// Chooses the skin, inflates and reads it, and stores the choice in the
// LastSkin setting (empty for the built-in skin) so the next start loads
// the same file. False when the file cannot be read or is damaged; the
// error is logged naming the file and the problem, and LastSkin keeps its
// value.
bool LoadSkinPackage(std::u16string_view name, TPackedSkin& skin);

// How the built-in skin is named in messages.
inline constexpr std::string_view kBuiltinSkinOrigin = "(built-in)";

}  // namespace vesperon
