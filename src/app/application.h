#pragma once
// Start-up, the main loop and shutdown of the player.
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

}  // namespace vesperon
