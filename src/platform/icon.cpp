// Icon sets: reading the _NET_WM_ICON layout the program carries its icon
// in, choosing a size, and a top-level window's icon.

#include "platform/backend.h"

namespace vesperon {
namespace {

// Larger sides are not icons; the limit also keeps width x height far from
// overflowing.
constexpr uint32_t kIconSideMax = 1024;

bool ReadWord(std::string_view bytes, std::size_t& at, uint32_t& value) {
  if (bytes.size() - at < 4) return false;
  value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  at += 4;
  return true;
}

}  // namespace

TIconSet DecodeIconSet(std::string_view bytes) {
  TIconSet icons;
  std::size_t at = 0;
  uint32_t width = 0, height = 0;
  while (ReadWord(bytes, at, width) && ReadWord(bytes, at, height)) {
    if (width == 0 || height == 0 || width > kIconSideMax || height > kIconSideMax) break;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    if ((bytes.size() - at) / 4 < count) break;
    TIconImage icon;
    icon.Width = static_cast<int32_t>(width);
    icon.Height = static_cast<int32_t>(height);
    icon.Pixels.resize(count);
    for (uint32_t& p : icon.Pixels) ReadWord(bytes, at, p);
    icons.push_back(std::move(icon));
  }
  return icons;
}

const TIconImage* PickIcon(const TIconSet& icons, int32_t size) {
  const TIconImage* best = nullptr;
  for (const TIconImage& icon : icons) {
    // The smallest icon at least `size` high; while none is that high, the
    // largest one.
    const bool fits = icon.Height >= size;
    const bool better = !best || (fits && (best->Height < size || icon.Height < best->Height)) ||
                        (!fits && best->Height < size && icon.Height > best->Height);
    if (better) best = &icon;
  }
  return best;
}

void SetWindowIcon(THandle window, const TIconSet& icons) {
  TWindowRec* w = FindWindow(window);
  if (!w || w->IsChild()) return;
  w->Icon = icons;
  Backend().SetIconNative(*w);
}

TIconSet GetWindowIcon(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->Icon : TIconSet{};
}

}  // namespace vesperon
