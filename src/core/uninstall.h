#pragma once
// --uninstall: removes the program's files from the folder of the executable
// after asking on the console (standard input and output), and finally the
// executable and the folder itself through a detached shell script that runs
// once the process has ended.
#include <filesystem>
#include <istream>
#include <ostream>

#include "core/params.h"

namespace vesperon {

// The console of the dialogue. Available is false when standard input or
// output is closed; the uninstaller then asks nothing and removes the files.
struct TConsole {
  std::istream* In = nullptr;
  std::ostream* Out = nullptr;
  bool Available = false;
};

// std::cin / std::cout, available when descriptors 0 and 1 are open.
TConsole StandardConsole();

enum TUninstallResult {
  urContinue,     // cancelled, or the executable stays: start-up goes on
  urSelfRemoval,  // the removal script runs; the process ends with exit code 0
};

// Runs the dialogue and the removal. Without an available console `params`
// becomes silent for the rest of the run. The removal script is started
// detached, after the current directory has been moved to the temporary
// folder; when it cannot be started, the current directory is what it was,
// the console says so and start-up goes on as after a "no".
TUninstallResult RunUninstaller(TParams& params, const TConsole& console);

// The shell that runs the removal script ("/bin/sh"); tests name one that
// cannot start.
void SetRemovalShellForTesting(const std::filesystem::path& shell);

// Removes the packed skins (".vsf", any letter case) below `dir` and the
// subfolders that end up empty; other files and their folders stay.
void RemoveSkinTree(const std::filesystem::path& dir);

// The text of the self-removal script for the given executable, audio
// library, program folder and script path.
std::string SelfRemovalScript(const std::filesystem::path& exe,
                              const std::filesystem::path& library,
                              const std::filesystem::path& folder,
                              const std::filesystem::path& script);

}  // namespace vesperon
