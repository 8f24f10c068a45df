#pragma once
// The XML configuration format shared by "settings.xml" and the language
// files: a document whose root element is "CONFIG", and keys written as paths
// of names separated by "/". Every name but the last is a child element
// (found, or created when writing, under the previous one, starting at the
// root); the last name is an attribute of the innermost element. So
// "audio/crossfade/intime" is the attribute "intime" of the element
// "crossfade" under the element "audio".
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace vesperon {

// Raised when a configuration document cannot be read: unreadable file,
// malformed XML, or a root element other than "CONFIG".
class TConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TConfigDocument {
 public:
  // Parses the file when it exists; otherwise starts an empty document with
  // its "CONFIG" root. Throws TConfigError on a file that cannot be used.
  static TConfigDocument Open(const std::filesystem::path& path);
  // Parses the text (for tests and fuzzing); same checks as Open.
  static TConfigDocument Parse(std::string_view xml);

  // The attribute text of the key, or nothing when the path or the
  // attribute is missing.
  std::optional<std::u16string> Get(std::string_view key) const;
  // Sets the attribute, creating the missing elements of the path.
  void Set(std::string_view key, std::u16string_view value);

  // Value conversions: the default stands in for a missing key or an
  // unusable text.
  std::u16string ReadString(std::string_view key, std::u16string_view fallback) const;
  int32_t ReadInteger(std::string_view key, int32_t fallback) const;
  bool ReadBoolean(std::string_view key, bool fallback) const;
  void WriteInteger(std::string_view key, int32_t value) { Set(key, ToU16(std::to_string(value))); }
  void WriteBoolean(std::string_view key, bool value) { Set(key, value ? u"True" : u"False"); }

  // The whole document as UTF-8 text.
  std::string Serialize() const;

 private:
  static std::u16string ToU16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
  }
  static TConfigDocument FromParseResult(pugi::xml_document&& doc,
                                         const pugi::xml_parse_result& result,
                                         const std::string& what);
  pugi::xml_document Doc;
};

// Decimal integer text as the configuration files hold it: an optional sign
// and digits, within 32 bits. Anything else gives nothing.
std::optional<int32_t> ParseDecimal(std::string_view text);

}  // namespace vesperon
