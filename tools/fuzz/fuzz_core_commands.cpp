// Command strings come from skin packages and keys.xml, both outside input:
// parsing must survive any text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/commands.h"
#include "core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::u16string text =
      vesperon::Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data), size));
  const vesperon::TParsedCommand command = vesperon::ParseCommand(text);
  if (command.Name.size() > text.size() || command.Args.size() > text.size()) std::abort();
  return 0;
}
