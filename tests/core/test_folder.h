#pragma once
// A fresh temporary folder for one test, made the current directory while
// the test runs, and a recorder of the log lines written meanwhile.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/params.h"

namespace vesperon::testing {

class TTestFolder {
 public:
  TTestFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vesperon-test-XXXXXX").native();
    Path = mkdtemp(tmpl.data());
    Previous = std::filesystem::current_path();
    std::filesystem::current_path(Path);
  }
  ~TTestFolder() {
    std::error_code ec;
    std::filesystem::current_path(Previous, ec);
    std::filesystem::remove_all(Path, ec);
  }
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;

  std::filesystem::path Path;

 private:
  std::filesystem::path Previous;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Records every log line that passes the --debug / --silent filters; sets
// the two options for the test and restores a clean state afterwards.
class TLogRecorder {
 public:
  explicit TLogRecorder(bool debug = true, bool silent = false) {
    gParams = TParams{};
    gParams.Debug = debug;
    gParams.Silent = silent;
    SetLogObserver([this](std::string_view line) { Lines.emplace_back(line); });
  }
  ~TLogRecorder() {
    SetLogObserver(nullptr);
    SetLogNotifier(nullptr);
    CloseLog();
    gParams = TParams{};
  }
  bool Has(const std::string& line) const {
    for (const std::string& l : Lines)
      if (l == line) return true;
    return false;
  }
  std::vector<std::string> Lines;
};

}  // namespace vesperon::testing
