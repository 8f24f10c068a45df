#pragma once
// Where the program's files live.
#include <filesystem>

namespace vesperon {

// The folder of the running executable (from /proc/self/exe). Tests may
// point it elsewhere with SetExecutableDirForTesting.
std::filesystem::path ExecutableDir();
std::filesystem::path ExecutablePath();
void SetExecutableDirForTesting(const std::filesystem::path& dir);

// $TMPDIR, or /tmp.
std::filesystem::path TempDir();

}  // namespace vesperon
