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
};

// One step: the per-step playback work; the slow timer (the counter is
// compared with 25, so the slow work runs on every 27th step, and only while
// the skin exists); then at most one message taken without waiting: the quit
// message sets the end flag, any other is translated and dispatched.
void MainLoopStep(TMainLoop& loop, const TMainLoopWork& work);

// Steps until the quit message arrives, sleeping 2 ms after each step. An
// exception out of a step is logged and the loop goes on.
void RunMainLoop(const TMainLoopWork& work);

}  // namespace vesperon
