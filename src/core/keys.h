#pragma once
// The key table: "keys.xml" in the current directory binds keys to command
// strings. Any XML document; its top-level elements named "keys" hold
// elements named "key" whose attributes "value" (virtual-key code),
// "extended" (scan code) and "function" (command string) make one entry each.
// Element and attribute names are compared without regard to letter case.
//
//   <keys>
//     <key value="32" extended="57" function="break"/>
//   </keys>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"

namespace vesperon {

class TKeyTableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills gSettings.Keys from "keys.xml" ("No keys.xml found" and an empty
// table when there is none). Throws TKeyTableError for a malformed file or a
// non-numeric value or extended; start-up then ends with exit code 1.
void LoadKeyTable();

// The entries of one keys.xml document, in file order. Throws TKeyTableError.
std::vector<TKeyTableEntry> ParseKeyTable(std::string_view xml);

// Looks a key-down message up: the first entry whose Value is the
// virtual-key code and whose Extended is the scan code (bits 16-23 of
// `keyData`) wins. Logs "key N was pressed" and returns its command string
// for the caller to run; nothing when no entry matches.
std::optional<std::u16string> KeyLookup(uint32_t virtualKey, std::intptr_t keyData);

}  // namespace vesperon
