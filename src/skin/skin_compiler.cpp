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
  // clang-format off
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
  // clang-format on
  return rules;
}

const TPackRule* RuleFor(std::string_view element) {
  for (const TPackRule& rule : PackRules())
    if (rule.Element == element) return &rule;
  return nullptr;
}

// True when `name`, taken relative to `base`, stays inside it: no absolute
// name, no ".." that climbs out, no symbolic link that leads elsewhere.
bool InsideFolder(const std::filesystem::path& base, const std::string& name) {
  const std::filesystem::path relative(name);
  if (relative.has_root_path()) return false;
  const std::filesystem::path normal = relative.lexically_normal();
  if (!normal.empty() && *normal.begin() == "..") return false;
  std::error_code ec;
  const std::filesystem::path root =
      std::filesystem::weakly_canonical(base.empty() ? "." : base, ec);
  if (ec) return false;
  const std::filesystem::path real = std::filesystem::weakly_canonical(root / normal, ec);
  if (ec) return false;
  const std::filesystem::path inside = real.lexically_relative(root);
  return !inside.empty() && *inside.begin() != "..";
}

class TImageCollector {
 public:
  TImageCollector(const std::filesystem::path& baseDir, std::vector<std::string>* refused)
      : Base_(baseDir), Refused_(refused) {}

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
    if (!Packed_.insert(name).second || name.empty()) return;
    if (!InsideFolder(Base_, name)) {
      if (Refused_) Refused_->push_back(name);
      return;
    }
    std::error_code ec;
    const std::filesystem::path path = Base_ / std::filesystem::path(name);
    if (!std::filesystem::is_regular_file(path, ec)) return;
    std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return;
    Records_.push_back({name, isMask, std::move(*bytes)});
  }

  std::filesystem::path Base_;
  std::vector<std::string>* Refused_;
  std::vector<TImageRecord> Records_;
  std::set<std::string> Packed_;
};

int Fail(const std::filesystem::path& description, const std::string& problem) {
  std::cerr << "vesperon: cannot compile the skin " << description.string() << ": " << problem
            << "\n";
  return kCompileFailed;
}

}  // namespace

std::vector<TImageRecord> CollectSkinImages(const pugi::xml_node& skin,
                                            const std::filesystem::path& baseDir,
                                            std::vector<std::string>* refused) {
  TImageCollector collect(baseDir, refused);
  for (const pugi::xml_node& child : skin.children()) {
    if (child.type() != pugi::node_element) continue;
    const std::string name = AsciiLower(child.name());
    if (name == "standardwindow" || name == "window" || name == "font")
      collect.Walk(child, *RuleFor(name));
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
    return Fail(description, std::string("the description is not well-formed XML (") +
                                 parsed.description() + " at byte " +
                                 std::to_string(parsed.offset) + ")");
  const std::filesystem::path baseDir = description.parent_path();
  bool found = false;
  for (const pugi::xml_node& top : doc.children()) {
    if (top.type() != pugi::node_element || AsciiLower(top.name()) != "skin") continue;
    found = true;
    std::vector<std::string> refused;
    const std::vector<TImageRecord> images = CollectSkinImages(top, baseDir, &refused);
    for (const std::string& name : refused) {
      std::cerr << "vesperon: warning: the skin " << description.string() << " names the image \""
                << EscapeForLog(name) << "\" outside its folder; it is left out\n";
    }
    const std::string packed = CompressPackedSkin(LayoutPackedSkin(*source, images));
    if (!WriteFileAtomically(PackedSkinPath(description), packed))
      return Fail(description, "cannot write " + PackedSkinPath(description).string());
  }
  if (!found) return Fail(description, "the description has no \"skin\" element");
  return kCompileDone;
}

}  // namespace vesperon
