// The element handlers of the skin description. Element and attribute names
// are matched in any letter case; unknown ones are skipped without a word.
// Values that do not convert are logged and left unset, except positions and
// label sizes, whose failure ends the load.
#include "skin/skin_description.h"

#include <charconv>

#include "core/log.h"
#include "core/text.h"
#include "skin/skin.h"

namespace vesperon {
namespace {

std::string LowerName(const pugi::xml_node& node) {
  return AsciiLower(std::string_view(node.name()));
}

// The text of an element's first child node (empty when that is no text).
std::string_view FirstText(const pugi::xml_node& node) { return node.first_child().value(); }

// Item names: lower-cased, in the 8-bit text the script machine speaks.
std::string NameValue(const pugi::xml_node& node) {
  return AsciiLower(Utf16ToCp1252(Utf8ToUtf16(FirstText(node))));
}
std::u16string ImageValue(const pugi::xml_node& node) { return Utf8ToUtf16(FirstText(node)); }
std::u16string CommandValue(const pugi::xml_node& node) {
  return AsciiLower(Utf8ToUtf16(FirstText(node)));
}

// A signed decimal 32-bit integer, blanks around it allowed.
bool ToInteger(std::string_view text, int32_t& value) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  int32_t parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  value = parsed;
  return true;
}

// A value whose failure is logged and leaves the field as it was.
void IntegerOrLog(std::string_view text, int32_t& field, std::string_view what) {
  if (!ToInteger(text, field)) LogError("invalid value for \"" + std::string(what) + "\" in skin");
}

// A value whose failure ends the load.
int32_t IntegerOrFail(std::string_view text, std::string_view what) {
  int32_t value = 0;
  if (!ToInteger(text, value))
    throw TSkinLoadError("invalid value for \"" + std::string(what) + "\" in skin: \"" +
                         std::string(text) + "\"");
  return value;
}

// "#RRGGBB". Components are converted in order; one that fails stops the
// conversion (logged) and keeps those already set.
void ColourOrLog(std::string_view text, TRGBAColor& colour, std::string_view what) {
  bool ok = !text.empty() && text.front() == '#';
  uint8_t* components[] = {&colour.R, &colour.G, &colour.B};
  for (int i = 0; ok && i < 3; ++i) {
    const std::size_t at = 1 + 2 * static_cast<std::size_t>(i);
    const std::string_view digits = at < text.size() ? text.substr(at, 2) : std::string_view();
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    ok = !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
    if (ok) *components[i] = static_cast<uint8_t>(value);
  }
  if (ok) colour.A = 0;
  if (!ok) LogError("invalid value for \"" + std::string(what) + "\" in skin");
}

// The "x" and "y" attributes of a "position" element; missing ones change nothing.
void Position(const pugi::xml_node& node, int32_t& x, int32_t& y) {
  for (const pugi::xml_attribute& a : node.attributes()) {
    const std::string name = AsciiLower(std::string_view(a.name()));
    if (name == "x") x = IntegerOrFail(a.value(), "x");
    if (name == "y") y = IntegerOrFail(a.value(), "y");
  }
}

void ButtonChild(TButton& b, const pugi::xml_node& child) {
  const std::string name = LowerName(child);
  if (name == "name") b.Name = NameValue(child);
  else if (name == "function") b.Function = CommandValue(child);
  else if (name == "normal") b.Normal = ImageValue(child);
  else if (name == "active") b.Active = ImageValue(child);
  else if (name == "hover") b.Hover = ImageValue(child);
  else if (name == "stencil") b.Stencil = ImageValue(child);
  else if (name == "position") Position(child, b.X, b.Y);
}

void LabelFont(TLabel& l, const pugi::xml_node& node) {
  for (const pugi::xml_attribute& a : node.attributes()) {
    const std::string name = AsciiLower(std::string_view(a.name()));
    if (name == "id") IntegerOrLog(a.value(), l.FontId, "id");
    if (name == "size") IntegerOrLog(a.value(), l.Size, "size");
  }
}

void LabelChild(TLabel& l, const pugi::xml_node& child) {
  const std::string name = LowerName(child);
  if (name == "name") l.Name = NameValue(child);
  else if (name == "text") l.Text = Utf16ToCp1252(Utf8ToUtf16(FirstText(child)));
  else if (name == "scrolling") l.Scrolling = AsciiLower(FirstText(child)) == "true";
  else if (name == "position") Position(child, l.X, l.Y);
  else if (name == "font") LabelFont(l, child);
  else if (name == "width") l.Width = IntegerOrFail(FirstText(child), "width");
  else if (name == "height") l.Height = IntegerOrFail(FirstText(child), "height");
}

void ProgressBarChild(TProgressBar& p, const pugi::xml_node& child) {
  const std::string name = LowerName(child);
  if (name == "name") {
    p.Name = NameValue(child);
  } else if (name == "function") {
    p.Function = CommandValue(child);
  } else if (name == "orientation") {
    const std::string o = AsciiLower(FirstText(child));
    p.Vertical = o == "v" || o == "vertical";
  } else if (name == "empty") {
    p.Empty = ImageValue(child);
  } else if (name == "filled") {
    p.Filled = ImageValue(child);
  } else if (name == "stencil") {
    p.Stencil = ImageValue(child);
  } else if (name == "max") {
    IntegerOrLog(FirstText(child), p.Max, "max");
  } else if (name == "position") {
    Position(child, p.X, p.Y);
  }
}

// One button, label or progress bar: appended to its list, filled from the
// element's children, then created inside the window.
template <typename T, typename TChild>
void ControlElement(TWindow& window, std::vector<std::unique_ptr<T>>& list, std::string_view kind,
                    const pugi::xml_node& element, TChild handleChild) {
  Log("processing " + std::string(kind) + "...");
  if (list.size() >= kMaxControlsOfAKind) {
    LogError("too many " + std::string(kind) +
             "s in one window of the skin; the rest are left out");
    return;
  }
  list.push_back(std::make_unique<T>(*window.Owner));
  T& control = *list.back();
  control.Index = static_cast<int32_t>(list.size() - 1);
  control.Parent = window.Handle;
  for (const pugi::xml_node& child : element.children()) handleChild(control, child);
  control.Build();
  Log("created " + std::string(kind) + " " + Utf16ToUtf8(Cp1252ToUtf16(control.Name)));
}

void WindowElement(TSkin& skin, const pugi::xml_node& element) {
  Log("processing window...");
  if (skin.Windows.size() >= kMaxSkinWindows) {
    LogError("too many windows in the skin; the rest are left out");
    return;
  }
  skin.Windows.push_back(std::make_unique<TWindow>(skin));
  TWindow& window = *skin.Windows.back();
  window.Index = static_cast<int32_t>(skin.Windows.size() - 1);
  // The window exists before its controls, which are created inside it.
  for (const pugi::xml_node& child : element.children()) {
    const std::string name = LowerName(child);
    if (name == "name") window.Name = NameValue(child);
    else if (name == "background") window.Background = ImageValue(child);
    else if (name == "stencil") window.Stencil = ImageValue(child);
  }
  window.Build();
  for (const pugi::xml_node& child : element.children()) {
    const std::string name = LowerName(child);
    if (name == "button") ControlElement(window, window.Buttons, "button", child, ButtonChild);
    else if (name == "label") ControlElement(window, window.Labels, "label", child, LabelChild);
    else if (name == "progressbar")
      ControlElement(window, window.ProgressBars, "progressbar", child, ProgressBarChild);
  }
  Log("created window " + Utf16ToUtf8(Cp1252ToUtf16(window.Name)));
}

void FontElement(TSkin& skin, const pugi::xml_node& element) {
  Log("processing font...");
  skin.Fonts.push_back(std::make_unique<TFont>(skin));
  TFont& font = *skin.Fonts.back();
  for (const pugi::xml_node& child : element.children()) {
    const std::string name = LowerName(child);
    if (name == "id") IntegerOrLog(FirstText(child), font.Id, "font-id");
    else if (name == "transparent") ColourOrLog(FirstText(child), font.Transparent, "transparent");
    else if (name == "normal") font.Normal = ImageValue(child);
    else if (name == "active") font.Active = ImageValue(child);
    else if (name == "hover") font.Hover = ImageValue(child);
  }
  Log("processed font");
}

void CloseButtonElement(TStandardWindow& w, const pugi::xml_node& element) {
  for (const pugi::xml_node& child : element.children()) {
    const std::string name = LowerName(child);
    if (name == "normal") w.CloseNormal = ImageValue(child);
    else if (name == "active") w.CloseActive = ImageValue(child);
    else if (name == "hover") w.CloseHover = ImageValue(child);
    else if (name == "stencil") w.CloseStencil = ImageValue(child);
  }
}

void StandardWindowElement(TSkin& skin, const pugi::xml_node& element) {
  Log("processing standardwindow...");
  TStandardWindow& w = skin.StandardWindow;
  const std::pair<const char*, std::u16string*> images[] = {
      {"top", &w.Top},
      {"bottom", &w.Bottom},
      {"left", &w.Left},
      {"right", &w.Right},
      {"topleft", &w.TopLeft},
      {"topright", &w.TopRight},
      {"bottomleft", &w.BottomLeft},
      {"bottomright", &w.BottomRight},
      {"topleftmask", &w.TopLeftMask},
      {"toprightmask", &w.TopRightMask},
      {"bottomleftmask", &w.BottomLeftMask},
      {"bottomrightmask", &w.BottomRightMask}};
  const std::pair<const char*, TRGBAColor*> colours[] = {{"bgcolor", &w.BgColor},
                                                         {"scrollcolor", &w.ScrollColor},
                                                         {"buttoncolor", &w.ButtonColor},
                                                         {"buttonfontcolor", &w.ButtonFontColor}};
  for (const pugi::xml_node& child : element.children()) {
    const std::string name = LowerName(child);
    for (const auto& [key, field] : images)
      if (name == key) *field = ImageValue(child);
    for (const auto& [key, field] : colours)
      if (name == key) ColourOrLog(FirstText(child), *field, key);
    if (name == "closebutton") CloseButtonElement(w, child);
  }
  Log("processed standardwindow");
}

// Script text as the compiler reads it: 8-bit, lines ended by a carriage
// return. A description saved with bare line feeds gets one before each, so
// compile errors name the right line.
std::string ScriptText(std::string_view utf8) {
  std::string text = Utf16ToCp1252(Utf8ToUtf16(utf8));
  if (text.find('\r') != std::string::npos) return text;
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void ScriptElement(TSkin& skin, const pugi::xml_node& element) {
  Log("processing script...");
  if (element.first_child()) skin.Scripts.Add(ScriptText(FirstText(element)));
  Log("processed script");
}

}  // namespace

void HandleSkinElement(TSkin& skin, const pugi::xml_node& element) {
  Log("processing skin...");
  for (const pugi::xml_node& child : element.children()) {
    const std::string name = LowerName(child);
    if (name == "window") WindowElement(skin, child);
    else if (name == "standardwindow") StandardWindowElement(skin, child);
    else if (name == "font") FontElement(skin, child);
    else if (name == "script") ScriptElement(skin, child);
    else if (name == "ontime") skin.OnTime = Utf8ToUtf16(FirstText(child));
    else if (name == "onsong") skin.OnSong = Utf8ToUtf16(FirstText(child));
  }
}

}  // namespace vesperon
