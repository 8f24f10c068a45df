#include "core/paths.h"

#include <cstdlib>
#include <optional>

namespace vesperon {
namespace {
std::optional<std::filesystem::path>& DirOverride() {
  static std::optional<std::filesystem::path> dir;
  return dir;
}
}  // namespace

std::filesystem::path ExecutablePath() {
  if (DirOverride()) return *DirOverride() / "vesperon";
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path("vesperon") : exe;
}

std::filesystem::path ExecutableDir() {
  if (DirOverride()) return *DirOverride();
  return ExecutablePath().parent_path();
}

void SetExecutableDirForTesting(const std::filesystem::path& dir) { DirOverride() = dir; }
void ClearExecutableDirForTesting() { DirOverride().reset(); }

std::filesystem::path TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return (tmp != nullptr && *tmp != '\0') ? std::filesystem::path(tmp)
                                          : std::filesystem::path("/tmp");
}

}  // namespace vesperon
