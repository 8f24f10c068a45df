// Loading and unloading a skin: the packed file read, the description's
// objects built, fonts made, the main window shown, then the menus, the tray
// icon and the other windows; unloading frees it all in reverse.
#include <algorithm>
#include <exception>
#include <optional>
#include <string>

#include "core/commands.h"
#include "core/idle_path.h"
#include "core/log.h"
#include "core/text.h"
#include "skin/main_window.h"
#include "skin/skin.h"
#include "skin/skin_description.h"
#include "skin/skin_hooks.h"
#include "skin/skin_source.h"

namespace vesperon {

namespace {

// Whether a window element of the description is named "main", compared as
// the element handlers store names.
bool NamesMainWindow(const pugi::xml_document& document) {
  auto lower = [](const pugi::xml_node& node) { return AsciiLower(std::string_view(node.name())); };
  for (const pugi::xml_node& skin : document.children()) {
    if (skin.type() != pugi::node_element || lower(skin) != "skin") continue;
    for (const pugi::xml_node& window : skin.children()) {
      if (lower(window) != "window") continue;
      for (const pugi::xml_node& child : window.children())
        if (lower(child) == "name" &&
            AsciiLower(std::string_view(child.first_child().value())) == "main")
          return true;
    }
  }
  return false;
}

}  // namespace

void TSkin::ResetValues() {
  HasMainWindow = false;
  FirstWindowIsMain = false;
  OnTime.clear();
  OnSong.clear();
  StandardWindow = TStandardWindow();
  SurfaceArea_ = 0;
  TextStripArea_ = 0;
  BudgetReported_ = false;
}

bool TSkin::Load(std::u16string_view name) {
  // A skin still loaded goes first, and nothing of it carries over.
  Unload();
  ResetValues();
  TPackedSkin package;
  if (!LoadSkinPackage(name, package)) return false;
  return LoadPackage(package);
}

bool TSkin::LoadPackage(TPackedSkin& package) {
  Unload();
  ResetValues();
  bool built = false;
  try {
    built = BuildAll(package);
  } catch (const std::exception& e) {
    LogError(std::string("could not load the skin: ") + e.what());
  }
  if (!built) {
    Unload();
    return false;
  }
  // The labels that scroll and the OnTime script, so that the slow tick
  // neither walks every window's labels nor parses and looks up a name.
  for (auto& window : Windows)
    for (auto& label : window->Labels)
      if (label->Scrolling) ScrollingLabels_.push_back(label.get());
  if (const std::optional<std::string> script = ScriptCommandName(OnTime)) {
    OnTimeIsScript_ = true;
    OnTimeEngine_ = Scripts.Find(*script);
  }
  // Load steps after the main window is up: its menus and tray icon, then
  // the windows that are not skin windows.
  BuildMenusAndTray(*this);
  MenusBuilt_ = true;
  CreateOtherWindows();
  return true;
}

// Takes the package's images, runs the description's handlers (which
// create windows and controls), builds the fonts and shows the main window.
// False when the load fails; the caller then unloads what was built.
bool TSkin::BuildAll(TPackedSkin& package) {
  Images = std::move(package.Images);

  FirstWindowIsMain = !NamesMainWindow(package.Document);
  if (!package.Document.first_child()) {
    LogError("the skin has no items!");
  } else {
    for (const pugi::xml_node& node : package.Document.children())
      if (node.type() == pugi::node_element && AsciiLower(std::string_view(node.name())) == "skin")
        HandleSkinElement(*this, node);
  }
  if (Windows.empty()) {
    LogError("the skin has no windows!");
    return false;
  }
  if (!HasMainWindow) {
    LogWarning("the skin has no main window! Making the first window the main window!");
    Windows[0]->Name = "main";
  }
  for (auto& font : Fonts) {
    font->Window = Windows[0]->Handle;
    font->Build();
  }
  TWindow* main = WindowByName("main");
  if (main == nullptr || main->Handle == 0) {
    LogError("the skin's main window could not be created!");
    return false;
  }
  ShowWindow(main->Handle, swShow);
  SetForegroundWindow(main->Handle);
  gMainWindow = main->Handle;
  return true;
}

void TSkin::CreateOtherWindows() {
  auto create = [this](TSkinWindowFactory& factory, const char* what) {
    if (!factory.Create) {
      Log(std::string("no ") + what + " window to create");
      return false;
    }
    return factory.Create(*this);
  };
  AboutCreated_ = create(gSkinWindowHooks.About, "about");
  MediaDBCreated_ = create(gSkinWindowHooks.MediaDB, "media-db");
  VideoCreated_ = create(gSkinWindowHooks.Video, "video");
}

void TSkin::Unload() {
  const bool anything = !Windows.empty() || !Images.empty() || !Fonts.empty() ||
                        Scripts.Count() > 0 || MenusBuilt_ || AboutCreated_ || MediaDBCreated_ ||
                        VideoCreated_;
  if (!anything) return;
  Log("unloading skin...");
  auto destroy = [](TSkinWindowFactory& factory, bool& created) {
    if (created && factory.Destroy) factory.Destroy();
    created = false;
  };
  destroy(gSkinWindowHooks.Video, VideoCreated_);
  destroy(gSkinWindowHooks.MediaDB, MediaDBCreated_);
  // A skin unloaded by a running script's own doing (it starts a song whose
  // OnSong command loads another skin) keeps its engines until that run has
  // returned: the engine still runs, and writes its result when it ends.
  if (RunDepth_ > 0) {
    for (auto& engine : Scripts.TakeAll()) RetiredEngines_.push_back(std::move(engine));
  } else {
    Scripts.Clear();
  }
  RunningScripts_.clear();
  destroy(gSkinWindowHooks.About, AboutCreated_);
  Fonts.clear();
  ScrollingLabels_.clear();
  OnTimeIsScript_ = false;
  OnTimeEngine_ = nullptr;
  for (auto& window : Windows) window->Destroy();
  Windows.clear();
  gMainWindow = 0;
  if (MenusBuilt_) RemoveMenusAndTray(*this);
  MenusBuilt_ = false;
  Bitmaps_.clear();
  Images.clear();
  ResetValues();
}

const TSurface& TSkin::Bitmap(int32_t index) {
  static const TSurface kNone;
  if (ImageAt(index) == nullptr) return kNone;
  const auto i = static_cast<std::size_t>(index);
  if (Bitmaps_.size() < Images.size()) Bitmaps_.resize(Images.size());
  if (!Bitmaps_[i]) Bitmaps_[i] = std::make_unique<TSurface>(TSurface::FromImage(Images[i].Image));
  return *Bitmaps_[i];
}

bool TSkin::TakeTextStripArea(int64_t area) {
  if (area > kTextStripBudget - TextStripArea_) return false;
  TextStripArea_ += area;
  return true;
}

void TSkin::ReturnTextStripArea(int64_t area) {
  TextStripArea_ = std::max<int64_t>(TextStripArea_ - area, 0);
}

bool TSkin::TakeSurfaceArea(int64_t width, int64_t height) {
  const int64_t area = std::max<int64_t>(width, 0) * std::max<int64_t>(height, 0);
  if (area <= kSurfaceBudget - SurfaceArea_) {
    SurfaceArea_ += area;
    return true;
  }
  if (!BudgetReported_) {
    BudgetReported_ = true;
    LogError("the skin's windows and controls need more than " + std::to_string(kSurfaceBudget) +
             " pixels; the rest are not created");
  }
  return false;
}

VESPERON_IDLE_PATH void TSkin::AdvanceScrolling() {
  for (TLabel* label : ScrollingLabels_) label->Advance();
}

bool TSkin::RunScript(std::string_view name) {
  TScriptengine* engine = Scripts.Find(name);
  return engine != nullptr && RunEngine(*engine);
}

VESPERON_IDLE_PATH bool TSkin::RunOnTimeScript() {
  if (!OnTimeIsScript_) return false;
  if (OnTimeEngine_ != nullptr) RunEngine(*OnTimeEngine_);
  return true;
}

VESPERON_IDLE_PATH bool TSkin::RunEngine(TScriptengine& engine) {
  if (std::find(RunningScripts_.begin(), RunningScripts_.end(), &engine) != RunningScripts_.end()) {
    Log("script " + AsciiUpper(engine.Name()) + " is running already; not started again");
    return false;
  }
  RunningScripts_.push_back(&engine);
  struct TRunDepth {
    TSkin& Skin;
    explicit TRunDepth(TSkin& skin) : Skin(skin) { ++Skin.RunDepth_; }
    ~TRunDepth() {
      if (--Skin.RunDepth_ == 0) Skin.RetiredEngines_.clear();
    }
    TRunDepth(const TRunDepth&) = delete;
    TRunDepth& operator=(const TRunDepth&) = delete;
  } depth(*this);
  const bool ok = engine.Run();
  // The run may have unloaded the skin (and emptied the list).
  if (!RunningScripts_.empty()) RunningScripts_.pop_back();
  return ok;
}

void TSkin::SetScriptPlayer(TScriptPlayerHost* player) {
  Player_ = player;
  Scripts.SetHost({Player_, ScriptSkinHost_.get()});
}

}  // namespace vesperon
