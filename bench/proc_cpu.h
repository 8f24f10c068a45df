#pragma once
// Processor time of a running process, read from /proc (per thread, in
// nanoseconds), as a share of one core over a measuring window. Shared by the benchmarks that start
// the real player.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

// Time on a processor so far, in seconds, of one thread
// (/proc/PID/task/TID/schedstat, nanoseconds); 0 when it is gone.
double ThreadCpuSeconds(const std::string& schedstatPath) {
  std::ifstream in(schedstatPath);
  unsigned long long ns = 0;
  in >> ns;
  return static_cast<double>(ns) / 1e9;
}

// The same for every thread the process has now. The clock ticks of
// /proc/PID/stat (10 ms) are too coarse for shares of a few thousandths.
double ProcessCpuSeconds(pid_t pid) {
  double total = 0;
  std::error_code ec;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    total += ThreadCpuSeconds(task.path().string() + "/schedstat");
  }
  return total;
}

struct TShares {
  double Process = 0;     // every thread
  double MainThread = 0;  // the thread that runs the main loop
};

TShares MeasureShares(pid_t pid, double seconds) {
  const std::string main =
      "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/schedstat";
  const double processBefore = ProcessCpuSeconds(pid), mainBefore = ThreadCpuSeconds(main);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double processUsed = ProcessCpuSeconds(pid) - processBefore,
               mainUsed = ThreadCpuSeconds(main) - mainBefore;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {processUsed / wall, mainUsed / wall};
}

}  // namespace
