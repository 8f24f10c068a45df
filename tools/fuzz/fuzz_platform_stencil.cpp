// Stencil images come from skin packages: any bytes must give a region in
// normal form holding exactly the opaque pixels, and the drawing operations
// must clip whatever coordinates they get.
#include <cstdlib>

#include "../../tests/platform/stencil_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (!vesperon::CheckStencilBytes(data, size)) std::abort();
  return 0;
}
