#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "core/paths.h"
#include "core/uninstall.h"
#include "test_folder.h"

using namespace vesperon;
using vesperon::testing::TTestFolder;
using vesperon::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

// A program folder in a temporary place, with every file an installation
// holds; TMPDIR points into the test folder so the removal script lands there.
class UninstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Program = Folder.Path / "program";
    Temp = Folder.Path / "tmp";
    fs::create_directories(Temp);
    for (const char* f :
         {"vesperon", "fmodex.so", "settings.xml", "german.xml", "english.xml", "keys.xml",
          "Readme.txt", "ChangeLog.txt", "vesperon.log", "media.db", "images/splash.bmp",
          "help/index.html", "skins/a.vsf", "skins/B.VSF", "skins/notes.txt", "skins/packed/c.vsf",
          "skins/mixed/d.vsf", "skins/mixed/readme.txt"}) {
      WriteFile(Program / f, "x");
    }
    SetExecutableDirForTesting(Program);
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr) OldTmp = tmp;
    setenv("TMPDIR", Temp.c_str(), 1);
  }
  void TearDown() override {
    ClearExecutableDirForTesting();
    if (OldTmp) {
      setenv("TMPDIR", OldTmp->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

  TUninstallResult Run(TParams& params, const std::string& answers, bool available = true) {
    In.str(answers);
    TConsole console{&In, &Out, available};
    return RunUninstaller(params, console);
  }

  bool Exists(const char* name) const { return fs::exists(fs::symlink_status(Program / name)); }

  // Everything but the executable and the skins tree is gone.
  void ExpectOtherFilesRemoved() const {
    for (const char* f :
         {"fmodex.so", "settings.xml", "german.xml", "english.xml", "keys.xml", "Readme.txt",
          "ChangeLog.txt", "vesperon.log", "media.db", "images", "help"}) {
      EXPECT_FALSE(Exists(f)) << f;
    }
  }

  // The .vsf files and the folders left empty are gone; other files and
  // their folders stay.
  void ExpectSkinsRemoved() const {
    for (const char* f : {"skins/a.vsf", "skins/B.VSF", "skins/packed", "skins/mixed/d.vsf"}) {
      EXPECT_FALSE(Exists(f)) << f;
    }
    EXPECT_TRUE(Exists("skins/notes.txt"));
    EXPECT_TRUE(Exists("skins/mixed/readme.txt"));
  }

  TTestFolder Folder;
  fs::path Program, Temp;
  std::optional<std::string> OldTmp;
  std::istringstream In;
  std::ostringstream Out;
};

}  // namespace

TEST_F(UninstallTest, FirstAnswerMustBeTypedInLowerCase) {
  for (const char* answer : {"YES\n", "Y\n", "no\n", "\n", ""}) {
    TParams params;
    Out.str("");
    EXPECT_EQ(Run(params, answer), urContinue) << answer;
    EXPECT_EQ(Out.str(), "Uninstall of Vesperon\n\nReally uninstall Vesperon? [yes/no]\n");
    EXPECT_TRUE(Exists("settings.xml"));
    EXPECT_TRUE(Exists("skins/a.vsf"));
  }
}

TEST_F(UninstallTest, YesRemovesFilesAndUpperCaseYRemovesSkins) {
  TParams params;
  params.Force = true;  // without --silent, --force changes nothing: everything is asked
  EXPECT_EQ(Run(params, "yes\nY\nno\n"), urContinue);
  EXPECT_EQ(Out.str(),
            "Uninstall of Vesperon\n\nReally uninstall Vesperon? [yes/no]\n\n"
            "beginning uninstall of Vesperon...\nremoving all skins? [yes/no]\n"
            "removing other files\nremoving media database\nShould I remove vesperon? [yes/no]\n");
  ExpectOtherFilesRemoved();
  ExpectSkinsRemoved();
  EXPECT_TRUE(Exists("vesperon"));
  EXPECT_TRUE(fs::is_empty(Temp));
}

TEST_F(UninstallTest, SkinsStayWhenNotWanted) {
  TParams params;
  EXPECT_EQ(Run(params, "y\r\nnope\n"), urContinue);  // the last answer is missing: no
  ExpectOtherFilesRemoved();
  EXPECT_TRUE(Exists("skins/a.vsf"));
  EXPECT_TRUE(Exists("skins/packed/c.vsf"));
  EXPECT_TRUE(Exists("vesperon"));
}

TEST_F(UninstallTest, SilentAsksNothingAndKeepsTheExecutable) {
  TParams params;
  params.Silent = true;
  EXPECT_EQ(Run(params, ""), urContinue);
  EXPECT_TRUE(Out.str().empty());
  ExpectOtherFilesRemoved();
  ExpectSkinsRemoved();
  EXPECT_TRUE(Exists("vesperon"));
}

TEST_F(UninstallTest, WithoutConsoleItTurnsSilent) {
  TParams params;
  EXPECT_EQ(Run(params, "no\n", /*available=*/false), urContinue);
  EXPECT_TRUE(params.Silent);
  EXPECT_TRUE(Out.str().empty());
  ExpectOtherFilesRemoved();
  ExpectSkinsRemoved();
  EXPECT_TRUE(Exists("vesperon"));
}

TEST_F(UninstallTest, SilentForceRemovesEverythingThroughTheScript) {
  TParams params;
  params.Silent = params.Force = true;
  const fs::path before = fs::current_path();
  // Leftover skins in a folder of their own keep the folder: remove them so
  // the program folder can go too.
  fs::remove(Program / "skins" / "notes.txt");
  fs::remove_all(Program / "skins" / "mixed");
  EXPECT_EQ(Run(params, ""), urSelfRemoval);
  EXPECT_EQ(fs::current_path(), fs::canonical(Temp));
  fs::current_path(before);
  // The detached script removes the executable, the folder and itself.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((fs::exists(Program) || !fs::is_empty(Temp)) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(fs::exists(Program));
  EXPECT_TRUE(fs::is_empty(Temp));
}

// The script cannot be started: the process stays in its working folder
// (where start-up writes the log and settings), says so and goes on; the
// script is not left behind.
TEST_F(UninstallTest, FailedSelfRemovalReturnsToTheWorkingFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(Program);
  SetRemovalShellForTesting(Folder.Path / "no-such-shell");
  TParams params;
  EXPECT_EQ(Run(params, "yes\nno\nyes\n"), urContinue);
  SetRemovalShellForTesting("/bin/sh");
  EXPECT_EQ(fs::current_path(), fs::canonical(Program));
  EXPECT_NE(
      Out.str().find("Should I remove vesperon? [yes/no]\nVesperon could not remove itself\n"),
      std::string::npos);
  EXPECT_TRUE(fs::is_empty(Temp));
  EXPECT_TRUE(Exists("vesperon"));
  fs::current_path(before);
}

TEST_F(UninstallTest, ScriptTakesPathsLiterally) {
  // A program folder whose name holds quotes and shell syntax.
  const fs::path odd = Folder.Path / "it's $(touch pwned) `touch pwned2` \"x\"";
  fs::create_directories(odd);
  WriteFile(odd / "vesperon", "x");
  WriteFile(odd / "fmodex.so", "x");
  SetExecutableDirForTesting(odd);
  TParams params;
  params.Silent = params.Force = true;
  const fs::path before = fs::current_path();
  EXPECT_EQ(Run(params, ""), urSelfRemoval);
  fs::current_path(before);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fs::exists(odd) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(fs::exists(odd));
  EXPECT_FALSE(fs::exists(Temp / "pwned"));
  EXPECT_FALSE(fs::exists(Temp / "pwned2"));
  EXPECT_TRUE(fs::exists(Program / "vesperon"));
}

TEST(UninstallScript, LoopsUntilExecutableAndLibraryAreGone) {
  const std::string script =
      SelfRemovalScript("/opt/v/vesperon", "/opt/v/fmodex.so", "/opt/v", "/tmp/uis1.sh");
  EXPECT_EQ(script,
            "#!/bin/sh\n"
            "# Removes Vesperon once the program has ended.\n"
            "while [ -e '/opt/v/vesperon' ] || [ -e '/opt/v/fmodex.so' ]; do\n"
            "  rm -f '/opt/v/vesperon'\n"
            "  rm -f '/opt/v/fmodex.so'\n"
            "  if [ -e '/opt/v/vesperon' ] || [ -e '/opt/v/fmodex.so' ]; then sleep 1; fi\n"
            "done\n"
            "rmdir '/opt/v'\n"
            "rm -f '/tmp/uis1.sh'\n");
}
