// Text conversions meet file names and tag bytes from outside: the UTF-8
// escape must round-trip every byte string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (vesperon::Utf16ToUtf8(vesperon::Utf8ToUtf16(bytes)) != bytes) std::abort();
  vesperon::Utf16ToCp1252(vesperon::Cp1252ToUtf16(bytes));
  return 0;
}
