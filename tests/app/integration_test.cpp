// Runs the real executable in an empty folder, ends it with SIGTERM and checks
// what it leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <pugixml.hpp>
#include <thread>

#include "startup_order.h"
#include "test_folder.h"

using namespace vesperon::testing;
namespace fs = std::filesystem;

namespace {

// Starts `exe` with `args` in `dir`, headless and with silent audio.
pid_t Start(const fs::path& exe, const fs::path& dir, const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    setenv("VESPERON_PLATFORM", "headless", 1);
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Waits for the process; its exit code, or -1 on a signal or a timeout.
int WaitFor(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

void CollectKeys(const pugi::xml_node& node, const std::string& path,
                 std::vector<std::string>& keys) {
  for (const pugi::xml_attribute& a : node.attributes()) keys.push_back(path + a.name());
  for (const pugi::xml_node& c : node.children()) CollectKeys(c, path + c.name() + "/", keys);
}

class ExecutableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A copy of the executable, so that what it writes beside itself stays
    // in the test folder.
    const fs::path built = fs::path(VESPERON_PROGRAM_DIR) / "vesperon";
    ASSERT_TRUE(fs::exists(built));
    Bin = Folder.Path / "bin";
    fs::create_directories(Bin);
    fs::copy_file(built, Bin / "vesperon");
    Run = Folder.Path / "run";
    fs::create_directories(Run);
  }
  TTestFolder Folder;
  fs::path Bin, Run;
};

}  // namespace

TEST_F(ExecutableTest, StartInAnEmptyFolderThenSigterm) {
  const pid_t pid = Start(Bin / "vesperon", Run, {"--debug"});
  ASSERT_GT(pid, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ReadFile(Run / "vesperon.log").find("\r\ninitialization done\r\n") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitFor(pid, std::chrono::seconds(20)), 0);

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((Run / "settings.xml").c_str()));
  EXPECT_STREQ(doc.document_element().name(), "CONFIG");
  std::vector<std::string> keys;
  CollectKeys(doc.document_element(), "", keys);
  EXPECT_EQ(keys, SettingsKeyOrder());

  EXPECT_EQ(ReadFile(Run / "help" / "index.html"), "<html>\r\n</html>");
  EXPECT_TRUE(fs::exists(Run / "Readme.txt"));
  EXPECT_TRUE(fs::exists(Run / "ChangeLog.txt"));

  const std::vector<std::string> log = Lines(ReadFile(Run / "vesperon.log"));
  ASSERT_GT(log.size(), 16u);
  EXPECT_EQ(log[0], std::string(41, '#'));
  EXPECT_EQ(log[16], "starting core...");  // the first line after the banner
  EXPECT_EQ(MissingInOrder(log, FirstStartLogOrder()), "");
  EXPECT_EQ(log.back(), "terminated gracefully :)");
}

TEST_F(ExecutableTest, ExitCodesOfTheEarlyExits) {
  EXPECT_EQ(WaitFor(Start(Bin / "vesperon", Run, {"--compileskin=nothing.xml"}),
                    std::chrono::seconds(20)),
            100);
  EXPECT_FALSE(fs::exists(Run / "vesperon.log"));
  EXPECT_EQ(WaitFor(Start(Bin / "vesperon", Run, {"--help"}), std::chrono::seconds(20)), 0);
  WriteFile(Run / "keys.xml", "<keys>");
  WriteFile(Run / "settings.xml", "<CONFIG/>");
  const pid_t pid = Start(Bin / "vesperon", Run, {});
  EXPECT_EQ(WaitFor(pid, std::chrono::seconds(20)), 1);
  EXPECT_EQ(Lines(ReadFile(Run / "vesperon.log")).back(), "ERROR: unknown error at address 0");
}

TEST_F(ExecutableTest, UninstallAnsweredNoStartsNormally) {
  WriteFile(Bin / "settings.xml", "<CONFIG/>");
  int in[2];
  ASSERT_EQ(pipe(in), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    close(in[1]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    if (chdir(Run.c_str()) != 0) _exit(126);
    setenv("VESPERON_PLATFORM", "headless", 1);
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    execl((Bin / "vesperon").c_str(), "vesperon", "--uninstall", "--debug",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  ASSERT_EQ(write(in[1], "no\n", 3), 3);
  close(in[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ReadFile(Run / "vesperon.log").find("\r\ninitialization done\r\n") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGINT);
  EXPECT_EQ(WaitFor(pid, std::chrono::seconds(20)), 0);
  EXPECT_TRUE(fs::exists(Bin / "settings.xml"));
  EXPECT_TRUE(fs::exists(Bin / "vesperon"));
}

TEST_F(ExecutableTest, SilentForcedUninstallRemovesTheProgramFolder) {
  for (const char* f :
       {"fmodex.so", "settings.xml", "media.db", "skins/a.vsf", "help/index.html"}) {
    WriteFile(Bin / f, "x");
  }
  const fs::path tmp = Folder.Path / "tmp";
  fs::create_directories(tmp);
  setenv("TMPDIR", tmp.c_str(), 1);
  const pid_t pid = Start(Bin / "vesperon", Run, {"--uninstall", "--silent", "--force", "--debug"});
  unsetenv("TMPDIR");
  EXPECT_EQ(WaitFor(pid, std::chrono::seconds(20)), 0);
  EXPECT_FALSE(fs::exists(Run / "vesperon.log"));  // it ended before the log
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((fs::exists(Bin) || !fs::is_empty(tmp)) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(fs::exists(Bin));
  EXPECT_TRUE(fs::is_empty(tmp));
}
