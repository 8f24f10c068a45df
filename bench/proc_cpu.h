#pragma once
// Processor time of a running process, read from /proc, as a share of one
// core over a measuring window. Shared by the benchmarks that start the
// real player.
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

// User plus system time so far, in seconds, of a whole process
// (/proc/PID/stat) or of one of its threads (/proc/PID/task/TID/stat).
double CpuSeconds(const std::string& statPath) {
  std::ifstream in(statPath);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  // Fields after the command name (which may hold spaces) start after ')'.
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct TShares {
  double Process = 0;     // every thread
  double MainThread = 0;  // the thread that runs the main loop
};

TShares MeasureShares(pid_t pid, double seconds) {
  const std::string process = "/proc/" + std::to_string(pid) + "/stat";
  const std::string main = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat";
  const double processBefore = CpuSeconds(process), mainBefore = CpuSeconds(main);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double processUsed = CpuSeconds(process) - processBefore, mainUsed = CpuSeconds(main) - mainBefore;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {processUsed / wall, mainUsed / wall};
}

}  // namespace
