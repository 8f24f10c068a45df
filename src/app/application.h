#pragma once
// Start-up, the main loop and shutdown of the player.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesperon {

// Exit codes of the process.
enum TExitCode : int {
  ecOk = 0,
  ecStartupFailed = 1,
  ecShutdownFailed = 2,
  ecAudioFailed = 3,
  ecSkinFailed = 4,
  ecSkinSourceMissing = 100,
};

// Runs the whole program for the given arguments (without the program name)
// and returns the process exit code.
int RunApplication(const std::vector<std::string>& args);

// The main loop's state: the end flag and the step counter of the slow timer.
struct TMainLoop {
  bool Ended = false;
  uint16_t StepCounter = 0;
};

// The work one main-loop step does besides taking a message; start-up wires
// it to the playback and skin subsystems, tests to counters.
struct TMainLoopWork {
  std::function<void()> PlaybackStep;
  std::function<bool()> SkinExists;
  std::function<void()> SlowWork;
  // How long the loop may sleep before PlaybackStep has work again: 0 while
  // it needs every pass (the loop then steps every 2 ms), UINT32_MAX while
  // nothing plays. Empty counts as UINT32_MAX.
  std::function<uint32_t()> MsUntilStepWork;
};

// One step: the per-step playback work; the slow timer (the counter is
// compared with 25, so the slow work runs on every 27th step, and only while
// the skin exists); then at most one message taken without waiting: the quit
// message sets the end flag, any other is translated and dispatched.
void MainLoopStep(TMainLoop& loop, const TMainLoopWork& work);

// Steps until the quit message arrives. After a step it sleeps 2 ms while
// playback needs every step or a message waits; otherwise it sleeps until
// the next message (posted from any thread or by a signal), display event,
// timer, loop source, playback work or slow-work step, and counts the 2 ms
// passes it slept over, so that the slow work keeps its rate. An exception
// out of a step is logged and the loop goes on.
void RunMainLoop(const TMainLoopWork& work);

// The length of one pass of the stepping loop, in milliseconds.
inline constexpr uint32_t kMainLoopPassMs = 2;
// How long an idle loop may sleep before the pass that runs the slow work.
uint32_t MsUntilSlowStep(const TMainLoop& loop);
// Moves the step counter on by the passes a sleep of `sleptUs` microseconds
// stood for (the pass that follows the sleep not counted), never beyond the
// slow step.
void CountSleptPasses(TMainLoop& loop, uint64_t sleptUs);

}  // namespace vesperon
