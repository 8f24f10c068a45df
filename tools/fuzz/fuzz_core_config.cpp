// The XML files the user edits by hand: settings, language files and the key
// table. Every input must end in a value or a clean rejection, and a settings
// document that was read must also survive being written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/config_xml.h"
#include "core/keys.h"
#include "core/language.h"
#include "core/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    vesperon::ParseKeyTable(bytes);
  } catch (const vesperon::TKeyTableError&) {
  }
  try {
    vesperon::LanguageFromXml(bytes);
  } catch (const vesperon::TConfigError&) {
  }
  try {
    vesperon::TConfigDocument doc = vesperon::TConfigDocument::Parse(bytes);
    const vesperon::TSettings read = vesperon::ReadSettingsFrom(doc);
    vesperon::WriteSettingsTo(read, doc);
    const vesperon::TSettings again =
        vesperon::ReadSettingsFrom(vesperon::TConfigDocument::Parse(doc.Serialize()));
    if (again.LastSkin != read.LastSkin || again.CrossfadeInTime != read.CrossfadeInTime ||
        again.LastPos.x != read.LastPos.x || again.Shuffle != read.Shuffle) {
      std::abort();
    }
  } catch (const vesperon::TConfigError&) {
  }
  return 0;
}
