#pragma once
// Collects the log lines written while a test runs (with --debug on, so
// plain lines are seen too).
#include <algorithm>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/params.h"

namespace vesperon {

class TLogCapture {
 public:
  TLogCapture() {
    gParams.Debug = true;
    gParams.Silent = false;
    SetLogObserver([this](std::string_view line) { Lines.emplace_back(line); });
  }
  ~TLogCapture() { SetLogObserver({}); }

  // How many lines contain `text`.
  int Count(std::string_view text) const {
    return static_cast<int>(std::count_if(Lines.begin(), Lines.end(), [&](const std::string& l) {
      return l.find(text) != std::string::npos;
    }));
  }

  std::vector<std::string> Lines;
};

}  // namespace vesperon
