#include "app/application.h"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

#include "app/loop_sources.h"
#include "app/subsystems.h"
#include "core/documents.h"
#include "core/files.h"
#include "core/help.h"
#include "core/idle_path.h"
#include "core/keys.h"
#include "core/language.h"
#include "core/log.h"
#include "core/params.h"
#include "core/random.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/uninstall.h"
#include "platform/message_queue.h"
#include "platform/platform.h"

namespace vesperon {
namespace {

namespace fs = std::filesystem;

// C++ exceptions carry no fault address; the log line keeps its form with 0.
constexpr const char* kUnknownError = "unknown error at address 0";

void OnTerminationSignal(int) { PostQuitMessageFromSignal(); }

// Ctrl-C and a logout's SIGTERM post the quit message, so the session's
// settings and media database are saved by the orderly shutdown.
void InstallTerminationHandlers() {
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  // Interrupted system calls elsewhere (reads, socket waits) restart, so a
  // signal only posts the quit message and fails nothing on its way.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool IsExistingFile(const std::u16string& name) {
  std::error_code ec;
  return fs::is_regular_file(PathFromU16(name), ec);
}

bool IsExistingDirectory(const std::u16string& name) {
  std::error_code ec;
  return fs::is_directory(PathFromU16(name), ec);
}

bool StandardOutputOpen() { return fcntl(1, F_GETFD) != -1; }

TMainLoopWork SubsystemLoopWork() {
  return {app::PlaybackStep, app::SkinExists, app::SkinSlowWork, app::MsUntilPlaybackStepWork};
}

// Start-up steps 1-22. Returns the exit code when the process ends here, or
// nothing when the main loop is to run.
std::optional<int> StartUp(const std::vector<std::string>& args) {
  // 1. Command line.
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  gParams = ParseCommandLine(args);

  // 2. --compileskin: no log file in either case.
  if (!gParams.CompileSkin.empty()) {
    if (!IsExistingFile(gParams.CompileSkin)) return ecSkinSourceMissing;
    return app::CompileSkin(gParams.CompileSkin);
  }

  // 3. --help: printed to standard output; no key press is awaited.
  if (gParams.Help) {
    if (StandardOutputOpen()) PrintHelp(std::cout);
    return ecOk;
  }

  // 4. --update: the check and the installation, before the log exists.
  if (gParams.Update) app::RunUpdateAndInstall();

  // 5. --uninstall: ends the process after starting the self-removal, or
  // returns and start-up goes on.
  if (gParams.Uninstall && RunUninstaller(gParams, StandardConsole()) == urSelfRemoval) return ecOk;

  // 6. The log.
  if (!gParams.Silent) OpenLog();
  InstallTerminationHandlers();

  // 7. Splash. "starting core..." is the first line after the banner; the
  // windowing layer (X11 on the display named by --display= or $DISPLAY,
  // headless without one) opens after it and logs its own line.
  Log("starting core...");
  OpenPlatform();
  app::ShowSplash();

  // 8-9. Configuration; a first start writes the missing documents.
  Log("loading configuration...");
  app::SetSplashStatus(u"reading configuration...");
  bool runAssistant = false;
  std::error_code ec;
  if (!fs::exists("settings.xml", ec)) {
    WriteDefaultDocuments();
    Log("no configuration found. starting configuration assistent...");
    runAssistant = true;
  }

  // 10. Settings.
  ReadSettings();

  // 11. Audio.
  app::SetSplashStatus(u"initializing audio...");
  if (!app::InitAudio()) {
    app::CloseSplash();
    return ecAudioFailed;
  }

  // 12. Language.
  app::SetSplashStatus(u"loading language...");
  LoadLanguage(gSettings.LastLanguage);

  // 13. Media database.
  Log("loading database...");
  app::SetSplashStatus(u"loading database...");
  app::LoadMediaDB();
  Log("loaded database");

  // 14. Skin.
  app::SetSplashStatus(u"loading skin");
  Log(u"load_skin " + gSettings.LastSkin);
  if (!app::CreateAndLoadSkin(gSettings.LastSkin)) {
    app::CloseSplash();
    return ecSkinFailed;
  }

  // 15. Key table.
  app::SetSplashStatus(u"loading key table");
  LoadKeyTable();

  // 16. Splash closes.
  app::CloseSplash();

  // Desktop integration: the session bus, from here on with the skin in
  // place, so that later warnings reach the desktop as notifications.
  app::StartDesktop();

  // 17. Configuration assistant on a first start.
  if (runAssistant) app::RunConfigurationAssistant();

  // 18.
  Log("initialization done");
  Log("");

  // 19. Automatic update check.
  if (gSettings.LastCheck < 1 && gSettings.AutomaticUpdates) app::RunUpdateCheck();

  // 20. Random seed.
  RandomizeFromClock();

  // 21. --adddir.
  if (!gParams.AddDir.empty()) {
    if (IsExistingDirectory(gParams.AddDir)) {
      Log("Adding directory to mediadb");
      app::AddDirectoryToMediaDB(gParams.AddDir);
    } else {
      LogWarning(u"Directory " + gParams.AddDir + u" does not exist!");
    }
  }

  // 22. The file named on the command line, opened but not started.
  if (!gParams.FileName.empty()) app::OpenFileIntoNextChannel(gParams.FileName);
  return std::nullopt;
}

void ShutDown() {
  // 1.
  Log("stopping core...");
  app::StopDesktop();

  // 2. Audio.
  Log("deinitializing audio...");
  app::DeinitAudio();

  // 3. Settings (WriteSettings reports its own failure).
  Log("saving configuration...");
  WriteSettings();

  // 4. Skin.
  Log("freeing skin...");
  app::FreeSkin();

  // 5. Media database.
  Log("saving database...");
  app::SaveAndFreeMediaDB();

  // 6-7. Every window is gone with the skin; the display closes last.
  ClosePlatform();
  Log("terminated gracefully :)");
  CloseLog();
}

}  // namespace

namespace {

// The counter's value on the pass that runs the slow work.
constexpr uint16_t kSlowStep = 26;

// Sleeps one pass's length while watching the loop sources: one that
// becomes ready (or whose deadline comes) is handled at once and the rest
// of the pass is slept, so passes keep their length.
void SleepOnePass(std::vector<pollfd>& fds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMainLoopPassMs);
  fds.clear();
  int deadlineMs = -1;
  app::CollectLoopSourceFds(fds, deadlineMs);
  if (fds.empty()) {
    std::this_thread::sleep_until(end);
    return;
  }
  const int timeoutMs =
      deadlineMs >= 0 ? std::min<int>(deadlineMs, kMainLoopPassMs) : kMainLoopPassMs;
  if (poll(fds.data(), fds.size(), timeoutMs) > 0 || timeoutMs == deadlineMs)
    app::DispatchLoopSources(fds, 0);
  std::this_thread::sleep_until(end);
}

// After a pass: while playback needs every step (a fade runs, a song's end
// is near) or a message waits, the loop sleeps one pass's length, as it
// always did, so fades and the slow work keep their timing. Otherwise
// nothing can happen before the display sends an event, a message is
// posted (another thread, a signal), a timer falls due, a loop source (the
// session bus) is ready, playback's next work is due or the slow work's
// pass comes; the loop waits for the first of these and counts the passes
// it slept over, so the slow work keeps its rate of about every 54 ms.
// Loop sources that became ready are handled after the sleep.
void SleepAfterPass(TMainLoop& loop, const TMainLoopWork& work, std::vector<pollfd>& fds) {
  const auto sleepOnePass = [&fds] { SleepOnePass(fds); };
  const uint32_t playbackMs = work.MsUntilStepWork ? work.MsUntilStepWork() : UINT32_MAX;
  if (playbackMs == 0) {
    sleepOnePass();
    return;
  }
  // Without a skin no slow work runs: nothing to wake for.
  const uint32_t slowMs = work.SkinExists() ? MsUntilSlowStep(loop) : UINT32_MAX;
  const uint32_t untilMs = std::min(playbackMs, slowMs);
  int timeoutMs = untilMs >= static_cast<uint32_t>(INT32_MAX) ? -1 : static_cast<int>(untilMs);
  fds.clear();
  app::CollectLoopSourceFds(fds, timeoutMs);
  uint64_t sleptUs = 0;
  if (!WaitForMessage(fds, timeoutMs, &sleptUs)) {
    sleepOnePass();  // a message waits
    return;
  }
  CountSleptPasses(loop, sleptUs);
  app::DispatchLoopSources(fds, 0);
}

}  // namespace

VESPERON_IDLE_PATH uint32_t MsUntilSlowStep(const TMainLoop& loop) {
  return (kSlowStep + 1u - std::min<uint32_t>(loop.StepCounter, kSlowStep)) * kMainLoopPassMs;
}

VESPERON_IDLE_PATH void CountSleptPasses(TMainLoop& loop, uint64_t sleptUs) {
  // Rounded: a wait that ends a little before or after a pass boundary
  // stands for that many passes.
  constexpr uint64_t kPassUs = uint64_t{kMainLoopPassMs} * 1000;
  const uint64_t passes = (sleptUs + kPassUs / 2) / kPassUs;
  if (passes <= 1) return;
  loop.StepCounter =
      static_cast<uint16_t>(std::min<uint64_t>(kSlowStep, loop.StepCounter + passes - 1));
}

VESPERON_IDLE_PATH void MainLoopStep(TMainLoop& loop, const TMainLoopWork& work) {
  work.PlaybackStep();
  if (loop.StepCounter > kSlowStep - 1) {
    loop.StepCounter = 0;
    if (work.SkinExists()) work.SlowWork();
  } else {
    ++loop.StepCounter;
  }
  TMessage message;
  if (PeekMessage(message)) {
    if (message.Msg == wmQuit) {
      loop.Ended = true;
    } else {
      TranslateMessage(message);
      DispatchMessage(message);
    }
  }
}

VESPERON_IDLE_PATH void RunMainLoop(const TMainLoopWork& work) {
  TMainLoop loop;
  app::SetNestedMainLoopStep([&loop, &work] { MainLoopStep(loop, work); });
  std::vector<pollfd> fds;  // kept between passes
  // False when the part threw (logged).
  const auto logged = [](auto&& part) {
    try {
      part();
      return true;
    } catch (const std::exception& e) {
      LogError(std::string(kUnknownError) + ": " + e.what());
      return false;
    }
  };
  while (!loop.Ended) {
    logged([&] {
      MainLoopStep(loop, work);
      app::RunLoopSourcesAfterPass();
    });
    // A source that throws while its descriptor stays ready would otherwise
    // turn the loop without a pause.
    if (!loop.Ended && !logged([&] { SleepAfterPass(loop, work, fds); })) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kMainLoopPassMs));
    }
  }
  app::SetNestedMainLoopStep({});
}

int RunApplication(const std::vector<std::string>& args) {
  try {
    if (const std::optional<int> exitCode = StartUp(args)) {
      CloseLog();
      return *exitCode;
    }
  } catch (...) {
    LogError(kUnknownError);
    CloseLog();
    return ecStartupFailed;
  }
  RunMainLoop(SubsystemLoopWork());
  try {
    ShutDown();
  } catch (...) {
    LogError(kUnknownError);
    CloseLog();
    return ecShutdownFailed;
  }
  return ecOk;
}

}  // namespace vesperon
