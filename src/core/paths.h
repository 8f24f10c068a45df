#pragma once
// Where the program's files live.
#include <filesystem>

namespace vesperon {

// The file name of the audio library beside the executable.
inline constexpr const char* kAudioLibraryFile = "fmodex.so";

// The folder of the running executable (from /proc/self/exe), and the
// executable itself. Tests may point them elsewhere with
// SetExecutableDirForTesting: the executable is then DIR/vesperon, so that
// nothing that acts on "the executable" can touch the test binary.
std::filesystem::path ExecutableDir();
std::filesystem::path ExecutablePath();
void SetExecutableDirForTesting(const std::filesystem::path& dir);
void ClearExecutableDirForTesting();

// $TMPDIR, or /tmp.
std::filesystem::path TempDir();

}  // namespace vesperon
