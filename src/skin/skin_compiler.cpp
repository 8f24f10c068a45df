#include "skin/skin_compiler.h"

#include <iostream>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

#include "core/files.h"
#include "core/text.h"

namespace vesperon {
namespace {

// Which children of an element name images (and whether as masks), and
// which children are elements whose own images are packed in their place.
struct TImageChild {
  std::string_view Name;
  bool IsMask;
};
struct TPackRule {
  std::string_view Element;
  std::vector<TImageChild> Images;
  std::vector<std::string_view> Nested;
};

const std::vector<TPackRule>& PackRules() {
  static const std::vector<TPackRule> rules = {
      {"standardwindow",
       {{"top", false}, {"bottom", false}, {"left", false}, {"right", false}, {"topleft", false},
        {"topright", false}, {"bottomleft", false}, {"bottomright", false}, {"topleftmask", true},
        {"toprightmask", true}, {"bottomleftmask", true}, {"bottomrightmask", true}},
       {"closebutton"}},
      {"closebutton", {{"normal", false}, {"active", false}, {"hover", false}, {"stencil", true}}, {}},
      {"window", {{"background", false}, {"stencil", true}}, {"button", "progressbar", "visualation"}},
      {"button", {{"normal", false}, {"active", false}, {"hover", false}, {"stencil", true}}, {}},
      {"progressbar", {{"empty", false}, {"filled", false}, {"stencil", true}}, {}},
      {"visualation", {{"stencil", true}}, {}},
      {"font", {{"normal", false}, {"active", false}, {"hover", false}}, {}},
  };
  return rules;
}

const TPackRule* RuleFor(std::string_view element) {
  for (const TPackRule& rule : PackRules())
    if (rule.Element == element) return &rule;
  return nullptr;
}

class TImageCollector {
 public:
  explicit TImageCollector(const std::filesystem::path& baseDir) : Base_(baseDir) {}

  // Packs the element's image children and nested elements in document order.
  void Walk(const pugi::xml_node& element, const TPackRule& rule) {
    for (const pugi::xml_node& child : element.children()) {
      if (child.type() != pugi::node_element) continue;
      const std::string name = AsciiLower(child.name());
      for (const TImageChild& image : rule.Images)
        if (name == image.Name) Pack(child.child_value(), image.IsMask);
      for (std::string_view nested : rule.Nested)
        if (name == nested) Walk(child, *RuleFor(nested));
    }
  }

  std::vector<TImageRecord> Take() { return std::move(Records_); }

 private:
  void Pack(const std::string& name, bool isMask) {
    if (!Packed_.insert(name).second) return;
    std::error_code ec;
    const std::filesystem::path path = Base_ / std::filesystem::path(name);
    if (name.empty() || !std::filesystem::is_regular_file(path, ec)) return;
    std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return;
    Records_.push_back({name, isMask, std::move(*bytes)});
  }

  std::filesystem::path Base_;
  std::vector<TImageRecord> Records_;
  std::set<std::string> Packed_;
};

int Fail(const std::filesystem::path& description, const std::string& problem) {
  std::cerr << "vesperon: cannot compile the skin " << description.string() << ": " << problem << "\n";
  return kCompileFailed;
}

}  // namespace

std::vector<TImageRecord> CollectSkinImages(const pugi::xml_node& skin, const std::filesystem::path& baseDir) {
  TImageCollector collect(baseDir);
  for (const pugi::xml_node& child : skin.children()) {
    if (child.type() != pugi::node_element) continue;
    const std::string name = AsciiLower(child.name());
    if (name == "standardwindow" || name == "window" || name == "font") collect.Walk(child, *RuleFor(name));
  }
  return collect.Take();
}

std::filesystem::path PackedSkinPath(const std::filesystem::path& description) {
  return std::filesystem::path(description).replace_extension(".vsf");
}

int CompileSkin(const std::filesystem::path& description) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(description, ec)) return kCompileSourceMissing;
  const std::optional<std::string> source = ReadWholeFile(description);
  if (!source) return Fail(description, "the description cannot be read");
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(source->data(), source->size());
  if (!parsed)
    return Fail(description, std::string("the description is not well-formed XML (") + parsed.description() +
                                 " at byte " + std::to_string(parsed.offset) + ")");
  const std::filesystem::path baseDir = description.parent_path();
  bool found = false;
  for (const pugi::xml_node& top : doc.children()) {
    if (top.type() != pugi::node_element || AsciiLower(top.name()) != "skin") continue;
    found = true;
    const std::string packed = CompressPackedSkin(LayoutPackedSkin(*source, CollectSkinImages(top, baseDir)));
    if (!WriteFileAtomically(PackedSkinPath(description), packed))
      return Fail(description, "cannot write " + PackedSkinPath(description).string());
  }
  if (!found) return Fail(description, "the description has no \"skin\" element");
  return kCompileDone;
}

}  // namespace vesperon
