// The skin object: its look-ups and the process-wide references.
#include "skin/skin.h"

#include "core/idle_path.h"
#include "core/text.h"
#include "skin/skin_hooks.h"

namespace vesperon {

TSkin* gSkin = nullptr;
THandle gMainWindow = 0;
TSkinWindowHooks gSkinWindowHooks;

int32_t TSkin::ImageIndex(std::u16string_view name) const {
  return FindImage(Images, Utf16ToUtf8(name));
}

const TImage* TSkin::ImageAt(int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= Images.size()) return nullptr;
  return &Images[static_cast<std::size_t>(index)].Image;
}

const TImage* TSkin::ImageByName(std::u16string_view name) const {
  return ImageAt(ImageIndex(name));
}

VESPERON_IDLE_PATH TWindow* TSkin::WindowByHandle(THandle handle) {
  if (handle == 0) return nullptr;
  for (auto& window : Windows)
    if (window->Handle == handle) return window.get();
  return nullptr;
}

TWindow* TSkin::WindowByName(std::string_view name) {
  for (auto& window : Windows)
    if (window->Name == name) return window.get();
  return nullptr;
}

namespace {

// The first control of one kind list, over all windows, that matches.
template <typename TList, typename TMatch>
auto FirstIn(std::vector<std::unique_ptr<TWindow>>& windows, TList TWindow::*list, TMatch match)
    -> decltype((windows[0].get()->*list)[0].get()) {
  for (auto& window : windows)
    for (auto& control : window.get()->*list)
      if (match(*control)) return control.get();
  return nullptr;
}

}  // namespace

TButton* TSkin::ButtonByHandle(THandle handle) {
  if (handle == 0) return nullptr;
  return FirstIn(Windows, &TWindow::Buttons,
                 [handle](const TSkinControl& c) { return c.Handle == handle; });
}

TLabel* TSkin::LabelByHandle(THandle handle) {
  if (handle == 0) return nullptr;
  return FirstIn(Windows, &TWindow::Labels,
                 [handle](const TSkinControl& c) { return c.Handle == handle; });
}

TProgressBar* TSkin::ProgressBarByHandle(THandle handle) {
  if (handle == 0) return nullptr;
  return FirstIn(Windows, &TWindow::ProgressBars,
                 [handle](const TSkinControl& c) { return c.Handle == handle; });
}

TSkinControl* TSkin::ControlByHandle(THandle handle) {
  if (TSkinControl* c = ButtonByHandle(handle)) return c;
  if (TSkinControl* c = LabelByHandle(handle)) return c;
  return ProgressBarByHandle(handle);
}

TSkinControl* TSkin::Item(std::string_view name) {
  auto named = [name](const TSkinControl& c) { return c.Name == name; };
  for (auto& window : Windows) {
    for (auto& c : window->Buttons)
      if (named(*c)) return c.get();
    for (auto& c : window->Labels)
      if (named(*c)) return c.get();
    for (auto& c : window->ProgressBars)
      if (named(*c)) return c.get();
  }
  return nullptr;
}

TLabel* TSkin::LabelByName(std::string_view name) {
  return FirstIn(Windows, &TWindow::Labels,
                 [name](const TSkinControl& c) { return c.Name == name; });
}

TProgressBar* TSkin::ProgressBarByName(std::string_view name) {
  return FirstIn(Windows, &TWindow::ProgressBars,
                 [name](const TSkinControl& c) { return c.Name == name; });
}

}  // namespace vesperon
