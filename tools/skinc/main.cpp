// The build's skin compiler: the "--compileskin=" step of the player, as a
// small program, so the build can pack the built-in skin before the player
// that embeds it exists.
//   vesperon_skinc DESCRIPTION.xml   writes DESCRIPTION.vsf beside it
#include <iostream>

#include "skin/skin_compiler.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vesperon_skinc DESCRIPTION\n";
    return 2;
  }
  const int rc = vesperon::CompileSkin(argv[1]);
  if (rc == vesperon::kCompileSourceMissing)
    std::cerr << "vesperon_skinc: " << argv[1] << " not found\n";
  return rc;
}
