// The skin as the core and the scripts see it: TSkinLink (command strings,
// events, the windows the commands open) and the skin side of the script
// host (labels, visibility, progress bars by name).
#include <algorithm>
#include <limits>

#include "core/idle_path.h"
#include "core/log.h"
#include "core/text.h"
#include "skin/main_window.h"
#include "skin/skin.h"
#include "skin/skin_hooks.h"

namespace vesperon {
namespace {

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

class TSkinScriptHost : public TScriptSkinHost {
 public:
  explicit TSkinScriptHost(TSkin& skin) : Skin(skin) {}

  void SetLabelText(std::string_view name, std::string_view text) override {
    if (TLabel* label = Skin.LabelByName(name)) label->SetText(text);
  }
  void SetItemVisible(std::string_view name, bool visible) override {
    if (TSkinControl* item = Skin.Item(name)) item->SetVisible(visible);
  }
  int64_t ProgressBarPosition(std::string_view name) override {
    const TProgressBar* bar = Skin.ProgressBarByName(name);
    return bar ? bar->Position : 0;
  }
  void SetProgressBarPosition(std::string_view name, int64_t position) override {
    TProgressBar* bar = Skin.ProgressBarByName(name);
    if (bar == nullptr) return;
    bar->SetPosition(std::min(ClampToInt32(position), bar->Max));
  }
  void SetProgressBarMax(std::string_view name, int64_t maximum) override {
    TProgressBar* bar = Skin.ProgressBarByName(name);
    if (bar == nullptr) return;
    bar->Max = ClampToInt32(maximum);
    bar->Position = std::min(bar->Position, bar->Max);
  }

 private:
  TSkin& Skin;
};

}  // namespace

class TSkinObjectLink : public TSkinLink {
 public:
  explicit TSkinObjectLink(TSkin& skin) : Skin(skin) {}

  void SelectMediaRow(int32_t index) override {
    if (Skin.MediaDBCreated_ && gSkinWindowHooks.MediaDB.SelectRow)
      gSkinWindowHooks.MediaDB.SelectRow(index);
  }
  void SetTrayTip(std::u16string_view text) override { vesperon::SetTrayTip(text); }
  std::u16string_view OnSong() const override { return Skin.OnSong; }
  std::u16string_view OnTime() const override { return Skin.OnTime; }
  bool RunScript(std::string_view upperName) override { return Skin.RunScript(upperName); }
  VESPERON_IDLE_PATH bool RunOnTimeScript() override { return Skin.RunOnTimeScript(); }
  VESPERON_IDLE_PATH void AdvanceScrolling() override { Skin.AdvanceScrolling(); }

  void ShowMediaWindow() override { Show(gSkinWindowHooks.MediaDB, Skin.MediaDBCreated_); }
  void ShowVideoWindow() override { Show(gSkinWindowHooks.Video, Skin.VideoCreated_); }
  void ShowAboutWindow() override { Show(gSkinWindowHooks.About, Skin.AboutCreated_); }
  void ShowSkinWindow(std::u16string_view name) override {
    if (TWindow* window = Skin.WindowByName(Utf16ToCp1252(name));
        window != nullptr && window->Handle != 0)
      ShowWindow(window->Handle, swShow);
  }
  // A skin that fails to load would leave the player without a window: the
  // previous skin, else the built-in one, is loaded in its place.
  bool LoadSkin(std::u16string_view name) override { return SwitchSkin(Skin, name); }

 private:
  static void Show(const TSkinWindowFactory& factory, bool created) {
    if (created && factory.Show) factory.Show();
  }
  TSkin& Skin;
};

TSkin::TSkin()
    : ScriptSkinHost_(std::make_unique<TSkinScriptHost>(*this)),
      Link_(std::make_unique<TSkinObjectLink>(*this)) {
  Scripts.SetHost({nullptr, ScriptSkinHost_.get()});
}

TSkin::~TSkin() { Unload(); }

}  // namespace vesperon
