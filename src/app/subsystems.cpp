// The bodies of the calls into the other subsystems. Each block belongs to
// the subsystem named in its heading; an empty body succeeds.
#include "app/subsystems.h"

#include "app/loop_sources.h"
#include "audio/audio_binding.h"
#include "audio/playback.h"
#include "core/commands.h"
#include "core/files.h"
#include "core/idle_path.h"
#include "core/log.h"
#include "core/skin_link.h"
#include "desktop/desktop.h"
#include "media/mediadb.h"
#include "platform/message_queue.h"
#include "platform/platform.h"
#include "resources/pictures/pictures.h"
#include "skin/bmp.h"
#include "skin/main_window.h"
#include "skin/skin.h"
#include "skin/skin_compiler.h"
#include "skin/skin_hooks.h"
#include "update/install.h"
#include "update/update_check.h"
#include "windows/about.h"
#include "windows/assistant.h"
#include "windows/mediadb_window.h"
#include "windows/splash.h"
#include "windows/video_window.h"

namespace vesperon::app {

// ===== windows: splash =====================================================

namespace {

// Made by ShowSplash and freed by CloseSplash. A start-up that fails
// without closing it leaves it to the end of the process, where no
// destructor may reach into the windowing layer's freed state.
TSplash* gSplash = nullptr;

// One of the pictures the executable carries; empty (the window then shows
// no picture) when it does not decode.
TImage CarriedPicture(std::string_view file, const char* name) {
  TImage image;
  std::string error;
  if (!DecodeBmp(file, image, error))
    Log(std::string("the ") + name + " picture does not decode: " + error);
  return image;
}

}  // namespace

void ShowSplash() {
  if (gSplash == nullptr) gSplash = new TSplash();
  gSplash->Show(CarriedPicture(SplashPicture(), "splash"));
}

void SetSplashStatus(const std::u16string& text) {
  if (gSplash != nullptr) gSplash->Text(text);
}

void CloseSplash() {
  delete gSplash;
  gSplash = nullptr;
}

// ===== skin packages: --compileskin ========================================

int CompileSkin(const std::u16string& descriptionFile) {
  return vesperon::CompileSkin(PathFromU16(descriptionFile));
}

// ===== update: --update ====================================================

void RunUpdateAndInstall() {
  CheckForUpdates();
  InstallUpdate();
}

// ===== audio: initialisation ===============================================

// Initialisation also clears the controller's paused state.
bool InitAudio() {
  if (!vesperon::InitAudio()) return false;
  Playback().Paused = false;
  return true;
}

// ===== media: load =========================================================

void LoadMediaDB() { CreateMediaDB().LoadFromFile(MediaDBPath()); }

// ===== windows: the skin's about box and video window ======================

namespace {

// The skin creates them at load and destroys them at unload through
// gSkinWindowHooks; they belong to the loaded skin, so they live here only
// between those two calls. Plain pointers, as the skin object's: a start-up
// that fails after the skin loaded leaves them to the end of the process,
// where no destructor may reach into the windowing layer's freed state.
TAbout* gAbout = nullptr;
TVideoWin* gVideoWin = nullptr;

void FillAboutHooks() {
  TSkinWindowFactory& about = gSkinWindowHooks.About;
  about.Create = [](TSkin&) {
    static const TImage picture = CarriedPicture(AboutPicture(), "about");
    delete gAbout;
    gAbout = new TAbout();
    return gAbout->Create(gMainWindow, picture);
  };
  about.Show = [] {
    if (gAbout) gAbout->Show();
  };
  about.Hide = [] {
    if (gAbout) gAbout->Hide();
  };
  about.Destroy = [] {
    delete gAbout;
    gAbout = nullptr;
  };
}

void FillVideoHooks() {
  TSkinWindowFactory& video = gSkinWindowHooks.Video;
  video.Create = [](TSkin& skin) {
    delete gVideoWin;
    gVideoWin = new TVideoWin(FramedWindowLookOf(skin));
    return gVideoWin->Create(gMainWindow);
  };
  video.Show = [] {
    if (gVideoWin) gVideoWin->Show();
  };
  video.Hide = [] {
    if (gVideoWin) gVideoWin->Hide();
  };
  video.Destroy = [] {
    delete gVideoWin;
    gVideoWin = nullptr;
  };
}

}  // namespace

// ===== windows: media-db window ============================================

namespace {

// The loaded skin's media-db window, held like the about box above.
TMediaDBWin* gMediaDBWin = nullptr;

void FillMediaWindowHooks() {
  TMediaWindowFactory& f = gSkinWindowHooks.MediaDB;
  f.Create = [](TSkin& skin) {
    delete gMediaDBWin;
    gMediaDBWin = new TMediaDBWin(FramedWindowLookOf(skin));
    return gMediaDBWin->Create(gMainWindow);
  };
  f.Show = [] { gMediaDBWin->Show(); };
  f.Hide = [] { gMediaDBWin->Hide(); };
  f.Destroy = [] {
    delete gMediaDBWin;
    gMediaDBWin = nullptr;
  };
  f.SelectRow = [](int32_t index) {
    if (gMediaDBWin->ListView) gMediaDBWin->ListView->SelectAndReveal(index);
  };
}

}  // namespace

// ===== skin packages: create and load ======================================

// The skin object exists (and gSkinLink with it) before the load, so a
// command string run while loading already reaches it. It is held by a
// plain pointer: a start-up that fails later leaves it to the end of the
// process, where no destructor may reach into the closed windowing layer.
bool CreateAndLoadSkin(const std::u16string& name) {
  FreeSkin();
  gSkin = new TSkin();
  gSkin->SetScriptPlayer(&PlaybackScriptHost());
  gSkinLink = &gSkin->Link();
  FillAboutHooks();
  FillVideoHooks();
  FillMediaWindowHooks();
  // From now on warnings and errors also show as balloons at the tray icon.
  SetLogNotifier(
      [](std::u16string_view title, std::u16string_view text) { ShowBalloon(title, text); });
  return gSkin->Load(name);
}

// ===== windows: configuration assistant ====================================

// Without a display nobody can see the assistant or press its button, so it
// is not opened at all.
void RunConfigurationAssistant() {
  if (PlatformKind() != pkX11) {
    Log("no display: configuration assistant skipped");
    return;
  }
  static TAssistant assistant;
  assistant.Show();
}

// ===== update: automatic check =============================================

void RunUpdateCheck() { CheckForUpdates(); }

// ===== media: directory scan ===============================================

void AddDirectoryToMediaDB(const std::u16string& dir) {
  if (MediaDB() != nullptr) MediaDB()->AddDirectory(dir, true);
}

// ===== playback: open the command-line file ================================

void OpenFileIntoNextChannel(const std::u16string& file) { Playback().OpenStream(file, 0); }

// ===== playback: per-step work =============================================

VESPERON_IDLE_PATH void PlaybackStep() { Playback().Step(); }

VESPERON_IDLE_PATH uint32_t MsUntilPlaybackStepWork() { return Playback().MsUntilStepWork(); }

void SetNestedMainLoopStep(std::function<void()> step) {
  Playback().RunMainLoopStep = std::move(step);
}

// ===== desktop: session bus ================================================

namespace {
std::unique_ptr<desktop::TDesktopIntegration>& Desktop() {
  static std::unique_ptr<desktop::TDesktopIntegration> integration;
  return integration;
}

// Shows the main window for the desktop's "raise": restored when
// minimized, shown when hidden in the tray, and brought to the front.
void RaiseMainWindow() {
  if (gMainWindow == 0) return;
  ShowWindow(gMainWindow, IsMinimized(gMainWindow) ? swRestore : swShow);
  SetForegroundWindow(gMainWindow);
}

// A warning or error that would be a tray balloon: the balloon when a tray
// icon is docked, else the desktop's notification (when the bus is there).
void NotifyWarning(desktop::TDesktopIntegration* d, std::u16string_view title,
                   std::u16string_view text) {
  if (!ShowBalloon(title, text) && d != nullptr) d->Notify(title, text);
}
}  // namespace

void StartDesktop() {
  auto& integration = Desktop();
  integration = std::make_unique<desktop::TDesktopIntegration>(
      desktop::TMprisHooks{RaiseMainWindow, [] { PostQuitMessage(0); }});
  desktop::TDesktopIntegration* d = integration->Connected() ? integration.get() : nullptr;
  SetLogNotifier(
      [d](std::u16string_view title, std::u16string_view text) { NotifyWarning(d, title, text); });
  if (d == nullptr) return;
  AddLoopSource({[d] { return d->Fd(); }, [d] { return d->Events(); },
                 [d] { return d->TimeoutMs(); }, [d] { d->Process(); }, [d] { d->AfterPass(); }});
}

void StopDesktop() {
  SetLogNotifier({});
  ClearLoopSources();
  Desktop().reset();
}

// ===== skin: slow timer ====================================================

VESPERON_IDLE_PATH bool SkinExists() { return gSkinLink != nullptr; }

VESPERON_IDLE_PATH void SkinSlowWork() {
  RunOnTimeCommand();
  if (gSkinLink != nullptr) gSkinLink->AdvanceScrolling();
}

// ===== audio: shutdown =====================================================

void DeinitAudio() {
  // Both channels stop before the library closes.
  Playback().Stop();
  CloseAudio();
}

// ===== skin packages: free =================================================

void FreeSkin() {
  if (gSkin == nullptr) return;
  SetLogNotifier({});
  gSkinLink = nullptr;
  gSkin->Unload();
  delete gSkin;
  gSkin = nullptr;
}

// ===== media: save =========================================================

void SaveAndFreeMediaDB() {
  if (MediaDB() != nullptr) MediaDB()->SaveToFile(MediaDBPath());
  FreeMediaDB();
}

}  // namespace vesperon::app
