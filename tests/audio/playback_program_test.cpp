// The whole program: started with a song on its command line in a program
// folder of its own, it opens the song into channel 1 without starting it
// and shuts down in order on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/files.h"
#include "core/paths.h"
#include "playback_fixture.h"

namespace vesperon::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::string> LogLinesOf(const fs::path& log) {
  std::vector<std::string> lines;
  const std::optional<std::string> text = ReadWholeFile(log);
  if (!text) return lines;
  std::istringstream in(*text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// Waits for the child to end; kills it after `limit`. Returns its wait status.
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "the program did not end in time";
      break;
    }
    std::this_thread::sleep_for(20ms);
  }
  return status;
}

TEST(PlaybackProgramTest, CommandLineSongOpensIntoChannelOneAndSigtermShutsDown) {
  if (std::system("command -v lame >/dev/null 2>&1") != 0) GTEST_SKIP() << "lame is not installed";
  const fs::path dir = TempDir() / ("vesperon-program-test-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path program = VESPERON_PROGRAM_DIR;
  for (const char* name : {"vesperon", "fmodex.so", "german.xml", "english.xml", "keys.xml"}) {
    if (fs::exists(program / name)) fs::copy_file(program / name, dir / name);
  }
  ASSERT_TRUE(fs::exists(dir / "vesperon"));
  WriteToneWav(dir / "song.wav", 1500, 0.4, 0.4);
  const std::string encode =
      "lame --quiet '" + (dir / "song.wav").string() + "' '" + (dir / "song.mp3").string() + "'";
  ASSERT_EQ(std::system(encode.c_str()), 0);

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(120);
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    setenv("VESPERON_PLATFORM", "headless", 1);
    const std::string exe = (dir / "vesperon").string();
    execl(exe.c_str(), exe.c_str(), "--debug", "song.mp3", static_cast<char*>(nullptr));
    _exit(121);
  }
  const fs::path log = dir / "vesperon.log";
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (!Contains(LogLinesOf(log), "initialization done") &&
         std::chrono::steady_clock::now() < deadline && waitpid(pid, nullptr, WNOHANG) == 0) {
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(300ms);
  kill(pid, SIGTERM);
  const int status = WaitFor(pid, 15s);
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const std::vector<std::string> lines = LogLinesOf(log);
  EXPECT_TRUE(Contains(lines, "open stream song.mp3 into channel 1..."));
  EXPECT_FALSE(Contains(lines, "play channel 1"));  // opened, not started
  EXPECT_TRUE(Contains(lines, "deinitializing audio..."));
  EXPECT_TRUE(Contains(lines, "stopped"));
  EXPECT_TRUE(Contains(lines, "terminated gracefully :)"));
  for (const std::string& line : lines) EXPECT_NE(line.rfind("ERROR: ", 0), 0u) << line;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vesperon::testing
