// CPU used by the idle main loop, as a share of one core.
//
// Starts the real player (headless, silent audio) in an empty folder, waits
// until start-up is done, and measures the processor time it uses over the
// measuring window, for the whole process and for the main-loop thread. The
// baseline, measured in the same run, is a process that does nothing but
// sleep 2 ms at a time: what a loop that polls every pass would cost at the
// least. Prints the shares and their ratios.
//
//   bench_idle_loop [seconds]     (default 10)
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "proc_cpu.h"

namespace fs = std::filesystem;

namespace {

pid_t StartBaseline() {
  const pid_t pid = fork();
  if (pid == 0) {
    const timespec twoMs{0, 2'000'000};
    for (;;) nanosleep(&twoMs, nullptr);
  }
  return pid;
}

pid_t StartPlayer(const fs::path& folder) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    setenv("VESPERON_PLATFORM", "headless", 1);
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    const std::string exe = std::string(VESPERON_PROGRAM_DIR) + "/vesperon";
    execl(exe.c_str(), "vesperon", "--debug", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

bool WaitForStartUp(const fs::path& log) {
  for (int i = 0; i < 2000; ++i) {
    std::ifstream in(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.find("\r\ninitialization done\r\n") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  std::string tmpl = (fs::temp_directory_path() / "vesperon-bench-XXXXXX").native();
  const fs::path folder = mkdtemp(tmpl.data());

  const pid_t baseline = StartBaseline();
  const double baselineShare = MeasureShares(baseline, seconds).Process;
  kill(baseline, SIGKILL);
  waitpid(baseline, nullptr, 0);

  const pid_t playerPid = StartPlayer(folder);
  if (!WaitForStartUp(folder / "vesperon.log")) {
    std::fprintf(stderr, "the player did not finish its start-up\n");
    kill(playerPid, SIGKILL);
    return 1;
  }
  const TShares player = MeasureShares(playerPid, seconds);
  kill(playerPid, SIGTERM);
  int status = 0;
  waitpid(playerPid, &status, 0);
  fs::remove_all(folder);

  std::printf("idle main loop (main thread) over %.1f s: %.3f%% of one core\n", seconds,
              player.MainThread * 100.0);
  std::printf("whole player process (audio library threads too): %.3f%% of one core\n",
              player.Process * 100.0);
  std::printf("baseline (2 ms sleeps only): %.3f%% of one core\n", baselineShare * 100.0);
  if (baselineShare > 0) {
    std::printf("ratio main loop/baseline: %.2f\n", player.MainThread / baselineShare);
    std::printf("ratio whole process/baseline: %.2f\n", player.Process / baselineShare);
  }
  std::printf("target: whole idle player at most 0.2%% of one core -> %s\n",
              player.Process <= 0.002 ? "met" : "NOT met");
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
