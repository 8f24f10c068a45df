#include "core/config_xml.h"

#include <charconv>
#include <sstream>

#include "core/files.h"
#include "core/text.h"

namespace vesperon {
namespace {

constexpr const char* kRootName = "CONFIG";
// Comments, processing instructions and the document type are kept, so that
// a saved file holds everything it held before.
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype;

// Splits "a/b/c" into the element path "a/b" and the attribute name "c".
std::pair<std::string_view, std::string_view> SplitKey(std::string_view key) {
  const std::size_t slash = key.rfind('/');
  if (slash == std::string_view::npos) return {std::string_view(), key};
  return {key.substr(0, slash), key.substr(slash + 1)};
}

// Walks the element path below the root. With `create`, missing elements
// are appended; without, a missing one gives an empty node.
pugi::xml_node Walk(pugi::xml_node node, std::string_view path, bool create) {
  while (!path.empty() && node) {
    const std::size_t slash = path.find('/');
    const std::string name(path.substr(0, slash));
    pugi::xml_node child = node.child(name.c_str());
    if (!child && create) child = node.append_child(name.c_str());
    node = child;
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  }
  return node;
}

}  // namespace

std::optional<int32_t> ParseDecimal(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
  }
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

TConfigDocument TConfigDocument::FromParseResult(pugi::xml_document&& doc,
                                                 const pugi::xml_parse_result& result,
                                                 const std::string& what) {
  if (!result) {
    throw TConfigError(what + ": " + result.description() + " at offset " +
                       std::to_string(result.offset));
  }
  if (std::string_view(doc.document_element().name()) != kRootName) {
    throw TConfigError(what + ": root element is not CONFIG");
  }
  TConfigDocument config;
  config.Doc = std::move(doc);
  return config;
}

TConfigDocument TConfigDocument::Open(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    TConfigDocument config;
    config.Doc.append_child(kRootName);
    return config;
  }
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) throw TConfigError(path.string() + ": cannot be read");
  pugi::xml_document doc;
  const pugi::xml_parse_result result =
      doc.load_buffer(bytes->data(), bytes->size(), kParseOptions);
  return FromParseResult(std::move(doc), result, path.string());
}

TConfigDocument TConfigDocument::Parse(std::string_view xml) {
  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size(), kParseOptions);
  return FromParseResult(std::move(doc), result, "configuration");
}

std::optional<std::u16string> TConfigDocument::Get(std::string_view key) const {
  const auto [path, name] = SplitKey(key);
  const pugi::xml_node node = Walk(Doc.document_element(), path, false);
  if (!node) return std::nullopt;
  const pugi::xml_attribute attr = node.attribute(std::string(name).c_str());
  if (!attr) return std::nullopt;
  return Utf8ToUtf16(attr.value());
}

void TConfigDocument::Set(std::string_view key, std::u16string_view value) {
  const auto [path, name] = SplitKey(key);
  pugi::xml_node node = Walk(Doc.document_element(), path, true);
  const std::string attrName(name);
  pugi::xml_attribute attr = node.attribute(attrName.c_str());
  if (!attr) attr = node.append_attribute(attrName.c_str());
  attr.set_value(Utf16ToUtf8(value).c_str());
}

std::u16string TConfigDocument::ReadString(std::string_view key,
                                           std::u16string_view fallback) const {
  std::optional<std::u16string> value = Get(key);
  return value ? std::move(*value) : std::u16string(fallback);
}

int32_t TConfigDocument::ReadInteger(std::string_view key, int32_t fallback) const {
  const std::optional<std::u16string> value = Get(key);
  if (!value) return fallback;
  return ParseDecimal(Utf16ToUtf8(*value)).value_or(fallback);
}

bool TConfigDocument::ReadBoolean(std::string_view key, bool fallback) const {
  const std::optional<std::u16string> value = Get(key);
  if (!value) return fallback;
  const std::u16string lower = AsciiLower(*value);
  if (lower == u"true") return true;
  if (lower == u"false") return false;
  return fallback;
}

std::string TConfigDocument::Serialize() const {
  std::ostringstream out;
  Doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return std::move(out).str();
}

}  // namespace vesperon
