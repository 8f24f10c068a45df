// make install into a DESTDIR tree: a launcher desktop-file-validate
// accepts, pointing at an installed program that starts from the
// launcher's working directory; make uninstall-desktop takes the launcher
// and icons away again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "core/files.h"
#include "core/paths.h"
#include "desktop_test_util.h"

namespace vesperon::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The value of a key of the launcher's [Desktop Entry] group.
std::string KeyOf(const std::string& launcher, const std::string& key) {
  std::istringstream in(launcher);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return {};
}

int Make(const std::string& target, const fs::path& destdir, const std::string& prefix,
         const std::string& dataHome) {
  const std::string command =
      "env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -C '" + std::string(VESPERON_SOURCE_DIR) +
      "' " + target + " NO_BUILD=1 BUILD='" + VESPERON_BUILD_DIR + "' DESTDIR='" +
      destdir.string() + "' PREFIX='" + prefix + "' DATA_HOME='" + dataHome + "' >/dev/null";
  return std::system(command.c_str());
}

TEST(InstallTest, InstalledLauncherIsValidAndItsProgramStarts) {
  if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "desktop-file-validate missing";
  }
  const fs::path destdir = TempDir() / ("vesperon-install-" + std::to_string(getpid()));
  fs::remove_all(destdir);
  // A prefix with a space and parentheses, which the launcher must quote.
  const std::string prefix = "/opt/my music/vesperon (test)", dataHome = "/home/user/.local/share";
  ASSERT_EQ(Make("install", destdir, prefix, dataHome), 0);

  const fs::path launcherFile = destdir / "home/user/.local/share/applications/vesperon.desktop";
  const std::string validate = "desktop-file-validate '" + launcherFile.string() + "' 2>&1";
  EXPECT_EQ(Shell(validate), "");
  EXPECT_EQ(std::system(validate.c_str()), 0);
  const std::string launcher = ReadWholeFile(launcherFile).value_or("");
  EXPECT_EQ(KeyOf(launcher, "Path"), prefix);
  EXPECT_EQ(KeyOf(launcher, "Exec"), "\"/opt/my music/vesperon (test)/vesperon\" %f");
  EXPECT_EQ(KeyOf(launcher, "Icon"), "vesperon");
  // The program icon, in every size the build drew, in the hicolor theme.
  const fs::path drawn = fs::path(VESPERON_BUILD_DIR) / "resources/art/icon";
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    if (!fs::exists(drawn / ("vesperon-" + std::to_string(size) + ".png"))) continue;
    EXPECT_TRUE(
        fs::exists(destdir / "home/user/.local/share/icons/hicolor" / name / "apps/vesperon.png"))
        << name;
  }
  const fs::path program = destdir / prefix.substr(1);
  for (const char* file :
       {"vesperon", "fmodex.so", "german.xml", "english.xml", "keys.xml", "help/index.html"}) {
    EXPECT_TRUE(fs::exists(program / file)) << file;
  }

  // The installed program, started in the launcher's working directory.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(program.c_str()) != 0) _exit(120);
    setenv("VESPERON_PLATFORM", "headless", 1);
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    execl("./vesperon", "./vesperon", "--debug", static_cast<char*>(nullptr));
    _exit(121);
  }
  EXPECT_TRUE(WaitUntil(
      [&] {
        return ReadWholeFile(program / "vesperon.log").value_or("").find("initialization done") !=
               std::string::npos;
      },
      20s));
  kill(pid, SIGTERM);
  const int status = WaitForExit(pid, 20s);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::exists(program / "settings.xml"));

  ASSERT_EQ(Make("uninstall-desktop", destdir, prefix, dataHome), 0);
  EXPECT_FALSE(fs::exists(launcherFile));
  EXPECT_FALSE(
      fs::exists(destdir / "home/user/.local/share/icons/hicolor/48x48/apps/vesperon.png"));
  EXPECT_TRUE(fs::exists(program / "vesperon"));
  fs::remove_all(destdir);
}

}  // namespace
}  // namespace vesperon::testing
