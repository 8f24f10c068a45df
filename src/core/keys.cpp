#include "core/keys.h"

#include <pugixml.hpp>

#include "core/config_xml.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"

namespace vesperon {
namespace {

bool NameIs(const char* name, std::string_view expected) { return AsciiLower(name) == expected; }

// A decimal attribute into a 16-bit field: the low 16 bits of a 32-bit number.
uint16_t KeyNumber(const pugi::xml_attribute& attr) {
  const std::optional<int32_t> n = ParseDecimal(attr.value());
  if (!n) {
    throw TKeyTableError(std::string("keys.xml: ") + attr.name() + "=\"" + attr.value() +
                         "\" is not a number");
  }
  return static_cast<uint16_t>(*n);
}

TKeyTableEntry EntryFrom(const pugi::xml_node& key) {
  TKeyTableEntry entry;
  for (const pugi::xml_attribute& attr : key.attributes()) {
    if (NameIs(attr.name(), "value")) {
      entry.Value = KeyNumber(attr);
    } else if (NameIs(attr.name(), "extended")) {
      entry.Extended = KeyNumber(attr);
    } else if (NameIs(attr.name(), "function")) {
      entry.Function = Utf8ToUtf16(attr.value());
    }
  }
  return entry;
}

}  // namespace

std::vector<TKeyTableEntry> ParseKeyTable(std::string_view xml) {
  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size());
  if (!result) {
    throw TKeyTableError(std::string("keys.xml: ") + result.description() + " at offset " +
                         std::to_string(result.offset));
  }
  std::vector<TKeyTableEntry> table;
  for (const pugi::xml_node& top : doc.children()) {
    if (top.type() != pugi::node_element || !NameIs(top.name(), "keys")) continue;
    for (const pugi::xml_node& key : top.children()) {
      if (key.type() != pugi::node_element || !NameIs(key.name(), "key")) continue;
      if (!key.first_attribute()) continue;
      table.push_back(EntryFrom(key));
    }
  }
  return table;
}

void LoadKeyTable() {
  Log("loading keys.xml...");
  gSettings.Keys.clear();
  const std::filesystem::path path = "keys.xml";
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    Log("No keys.xml found");
    return;
  }
  try {
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) throw TKeyTableError("keys.xml: cannot be read");
    gSettings.Keys = ParseKeyTable(*bytes);
  } catch (const TKeyTableError& e) {
    LogError(e.what());
    throw;
  }
  Log("loaded keys.xml");
}

std::optional<std::u16string> KeyLookup(uint32_t virtualKey, std::intptr_t keyData) {
  const auto scanCode = static_cast<uint16_t>((static_cast<std::uintptr_t>(keyData) >> 16) & 0xFF);
  for (const TKeyTableEntry& entry : gSettings.Keys) {
    if (entry.Value == virtualKey && entry.Extended == scanCode) {
      Log("key " + std::to_string(virtualKey) + " was pressed");
      return entry.Function;
    }
  }
  return std::nullopt;
}

}  // namespace vesperon
