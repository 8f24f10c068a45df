#pragma once
// The command line as parsed at start-up: one process-wide record.
#include <string>
#include <vector>

namespace vesperon {

struct TParams {
  bool Silent = false;
  bool Debug = false;
  bool Help = false;
  bool Uninstall = false;
  bool LogScript = false;
  bool Force = false;
  bool Update = false;
  std::string Display;
  std::u16string FileName;
  std::u16string CompileSkin;
  std::u16string AddDir;
};

extern TParams gParams;

// Parses the arguments (without the program name) into a fresh record.
TParams ParseCommandLine(const std::vector<std::string>& args);

}  // namespace vesperon
