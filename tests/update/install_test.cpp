// Installing an update: refusing unsafe entries and unusable downloads, the
// replacement script, and a whole installation in a program folder whose
// path holds blanks and shell characters.
#include "update/install.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/paths.h"
#include "test_server.h"
#include "update/http_client.h"
#include "update/update_check.h"

extern char** environ;

namespace vesperon {
namespace {

namespace fs = std::filesystem;
using testing::HttpAnswer;
using testing::TLogCapture;
using testing::TReply;
using testing::TScopedEnv;
using testing::TTestServer;

const std::string kNewProgram("#!/bin/sh\necho new\n\0\x01\xFF", 21);

TUpdateInfo Entry(TUpdateType type, const std::string& fileName, const std::string& path) {
  TUpdateInfo info;
  info.Name = fileName;
  info.FileName = fileName;
  info.UpdateType = type;
  info.Path = path;
  return info;
}

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class Install : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string root = (fs::temp_directory_path() / "vesperon-update-XXXXXX").string();
    ASSERT_NE(::mkdtemp(root.data()), nullptr);
    Root = root;
    Program.Dir = Root / "Program Files" / "it's $HOME `x` \"q\"";
    Program.Exe = Program.Dir / "vesperon";
    Temp = Root / "tmp with blanks";
    fs::create_directories(Program.Dir);
    fs::create_directories(Temp);
    WriteFile(Program.Exe, "old program");
    fs::permissions(Program.Exe, fs::perms(0755));
    WriteFile(Program.AudioLibrary(), "old library");
    TempEnv = std::make_unique<TScopedEnv>("TMPDIR", Temp.string());
    gUpdates.clear();
    SetUpdateTimeout(std::chrono::milliseconds(2000));
  }
  void TearDown() override {
    SetUpdateTimeout(std::chrono::milliseconds(10000));
    gUpdates.clear();
    TempEnv.reset();
    ServerEnv.reset();
    fs::remove_all(Root);
  }

  void Serve(TTestServer::THandler handler) {
    ServerEnv.reset();
    Server = std::make_unique<TTestServer>(std::move(handler));
    ServerEnv = std::make_unique<TScopedEnv>("VESPERON_UPDATE_SERVER", Server->Address());
  }
  void Serve(const TReply& reply) {
    Serve([reply](const std::string&) { return reply; });
  }
  // Serves the list at its path, the program at "/files/vesperon new" and
  // 404 everywhere else.
  void ServeListAndProgram(const std::string& list) {
    Serve([list](const std::string& request) {
      if (request.rfind("GET /updates/vesperon/updates.dat ", 0) == 0)
        return TReply{HttpAnswer(200, list)};
      if (request.rfind("GET /files/vesperon new ", 0) == 0)
        return TReply{HttpAnswer(200, kNewProgram)};
      return TReply{HttpAnswer(404, "not here")};
    });
  }

  // Waits until the detached script has put the new program in place and
  // removed itself, then checks the program folder.
  void ExpectReplacedSoon() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline &&
           (ReadWholeFile(Program.Exe) != kNewProgram || !Listing(Temp).empty()))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ReadWholeFile(Program.Exe), kNewProgram);
    EXPECT_TRUE(Listing(Temp).empty());
    EXPECT_EQ(Listing(Program.Dir), (std::vector<std::string>{"vesperon", "vesperon.tmp"}));
    EXPECT_TRUE((fs::status(Program.Exe).permissions() & fs::perms::owner_exec) != fs::perms::none);
  }

  // Installation stopped early: the program folder and the temporary folder
  // are as they were.
  void ExpectNothingWritten() {
    EXPECT_EQ(Listing(Program.Dir), (std::vector<std::string>{"fmodex.so", "vesperon"}));
    EXPECT_TRUE(Listing(Temp).empty());
    EXPECT_EQ(ReadWholeFile(Program.Exe), "old program");
  }

  fs::path Root;
  fs::path Temp;
  TProgramFiles Program;
  std::unique_ptr<TScopedEnv> TempEnv;
  std::unique_ptr<TTestServer> Server;
  std::unique_ptr<TScopedEnv> ServerEnv;
};

TEST_F(Install, EmptyListOnlySaysSo) {
  TLogCapture log;
  InstallUpdate(Program);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"no update available"});
  ExpectNothingWritten();
}

TEST_F(Install, OtherKindsOfUpdateAreLeftAloneSilently) {
  ServeListAndProgram("");
  gUpdates = {Entry(utSkin, "skin", "/files/vesperon new"),
              Entry(utVisual, "vis", "/files/vesperon new")};
  TLogCapture log;
  InstallUpdate(Program);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_TRUE(Server->Requests().empty());
  ExpectNothingWritten();
}

TEST_F(Install, UnsafeEntriesAreRefusedBeforeAnythingIsFetched) {
  ServeListAndProgram("");
  const std::vector<TUpdateInfo> bad = {
      Entry(utMainApp, "../vesperon", "/files/vesperon new"),
      Entry(utMainApp, "/tmp/evil", "/files/vesperon new"),
      Entry(utMainApp, "..", "/files/vesperon new"),
      Entry(utMainApp, "", "/files/vesperon new"),
      Entry(utMainApp, "a\\b", "/files/vesperon new"),
      Entry(utMainApp, "new\nline", "/files/vesperon new"),
      Entry(utMainApp, "vesperon", "/files/vesperon new HTTP/1.0\r\nHost: elsewhere\r\n\r\n"),
      Entry(utMainApp, "vesperon", std::string("/files/vesperon new\0", 20)),
  };
  for (const TUpdateInfo& entry : bad) {
    gUpdates = {entry};
    TLogCapture log;
    InstallUpdate(Program);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].rfind("ERROR: update refused: unsafe ", 0), 0u) << log.Lines()[0];
    EXPECT_EQ(log.Lines()[0].find_first_of("\r\n"), std::string::npos);
  }
  EXPECT_TRUE(Server->Requests().empty());
  ExpectNothingWritten();
}

TEST_F(Install, NoAnswerWritesNoFileAndNoScript) {
  TScopedEnv to("VESPERON_UPDATE_SERVER", "0.0.0.0:1");
  gUpdates = {Entry(utMainApp, "vesperon", "/files/vesperon new")};
  TLogCapture log;
  InstallUpdate(Program);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"ERROR: could not connect. Socket error: 99"});
  ExpectNothingWritten();
}

TEST_F(Install, ErrorPagesAndCutDownloadsAreNotInstalled) {
  const std::vector<std::pair<TReply, std::string>> cases = {
      {TReply{HttpAnswer(404, "not found")},
       "ERROR: update not installed: the server answered with status 404"},
      {TReply{"no header at all"},
       "ERROR: update not installed: the server answered with status 0"},
      {TReply{HttpAnswer(200, "")}, "ERROR: update not installed: the download is incomplete"},
      {TReply{"HTTP/1.0 200 OK\r\n\r\npart of a program", true},
       "ERROR: update not installed: the download is incomplete"},
  };
  SetUpdateTimeout(std::chrono::milliseconds(300));
  gUpdates = {Entry(utMainApp, "vesperon", "/files/vesperon new")};
  for (const auto& [reply, error] : cases) {
    Serve(reply);
    TLogCapture log;
    InstallUpdate(Program);
    EXPECT_TRUE(log.Has(error)) << ::testing::PrintToString(log.Lines());
    ExpectNothingWritten();
  }
}

// The download cannot be put in place (a folder holds its name): the error
// names the file, no script is written or started, and the program, its
// library and the folder in the way stay as they were.
TEST_F(Install, DownloadThatCannotBeWrittenStopsBeforeTheScript) {
  const fs::path inTheWay = Program.Dir / "vesperon.tmp";
  fs::create_directory(inTheWay);
  WriteFile(inTheWay / "kept", "kept");
  ServeListAndProgram("");
  gUpdates = {Entry(utMainApp, "vesperon", "/files/vesperon new")};
  TLogCapture log;
  InstallUpdate(Program);
  EXPECT_TRUE(log.Has("ERROR: could not write update file " + inTheWay.string()))
      << ::testing::PrintToString(log.Lines());
  EXPECT_EQ(Listing(Program.Dir),
            (std::vector<std::string>{"fmodex.so", "vesperon", "vesperon.tmp"}));
  EXPECT_EQ(ReadWholeFile(inTheWay / "kept"), "kept");
  EXPECT_EQ(ReadWholeFile(Program.Exe), "old program");
  EXPECT_EQ(ReadWholeFile(Program.AudioLibrary()), "old library");
  EXPECT_TRUE(Listing(Temp).empty());
}

// Without a usable temporary folder the script cannot be created: the error
// reaches the caller, the process goes on and the program is untouched.
TEST_F(Install, ScriptThatCannotBeCreatedIsAnErrorForTheCaller) {
  const fs::path newFile = Program.Dir / "vesperon.tmp";
  WriteFile(newFile, kNewProgram);
  TScopedEnv missing("TMPDIR", (Root / "no such folder").string());
  EXPECT_THROW(WriteUpdateBatch(newFile, Program), std::system_error);
  EXPECT_EQ(ReadWholeFile(Program.Exe), "old program");
  EXPECT_EQ(ReadWholeFile(Program.AudioLibrary()), "old library");
  EXPECT_EQ(ReadWholeFile(newFile), kNewProgram);
}

TEST_F(Install, TempBatchNamesAreFreshScriptsInTheTemporaryFolder) {
  const fs::path a = TempBatchName();
  const fs::path b = TempBatchName();
  EXPECT_NE(a, b);
  for (const fs::path& p : {a, b}) {
    EXPECT_EQ(p.parent_path(), fs::absolute(Temp));
    EXPECT_EQ(p.filename().string().rfind("uis", 0), 0u);
    EXPECT_EQ(p.extension(), ".sh");
    EXPECT_EQ(fs::file_size(p), 0u);
  }
  EXPECT_EQ(Listing(Temp).size(), 2u);  // no reservation files left behind
}

TEST_F(Install, ScriptReplacesTheProgramWhateverThePathsHold) {
  const fs::path newFile = Program.Dir / "vesperon.tmp";
  WriteFile(newFile, kNewProgram);
  WriteFile(Root / "Program", "a word of the path on its own");
  const fs::path script = TempBatchName();
  WriteFile(script, UpdateScriptText(Program, newFile, script));
  ASSERT_EQ(std::system(("sh " + ShellQuote(script.string())).c_str()), 0);
  EXPECT_EQ(ReadWholeFile(Program.Exe), kNewProgram);
  EXPECT_FALSE(fs::exists(Program.AudioLibrary()));
  EXPECT_FALSE(fs::exists(script));
  EXPECT_TRUE(fs::exists(newFile));
  EXPECT_EQ(ReadWholeFile(Root / "Program"), "a word of the path on its own");
}

// The whole installation: the check and the download from the local server,
// the process ending with 0, then the detached script replacing the program.
TEST_F(Install, EndToEndReplacesTheExecutableAfterTheProgramEnds) {
  TUpdateInfo skin = Entry(utSkin, "skin", "/files/skin");
  TUpdateInfo first = Entry(utMainApp, "vesperon", "/files/vesperon new");
  TUpdateInfo second = Entry(utMainApp, "other", "/files/other");
  std::string list = WriteUpdateRecord(skin) + WriteUpdateRecord(first) + WriteUpdateRecord(second);
  ServeListAndProgram(list);

  EXPECT_EXIT(
      {
        CheckForUpdates();
        InstallUpdate(Program);
      },
      ::testing::ExitedWithCode(0), "");

  ExpectReplacedSoon();
  const std::vector<std::string> requests = Server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].rfind("GET /files/vesperon new HTTP/1.0\r\n", 0), 0u);
}

// The built player itself, copied into the program folder and started with
// --update, installs the update listed by the local server.
TEST_F(Install, PlayerStartedWithUpdateReplacesItself) {
  fs::copy_file(fs::path(VESPERON_PROGRAM_DIR) / "vesperon", Program.Exe,
                fs::copy_options::overwrite_existing);
  const std::string list = WriteUpdateRecord(Entry(utMainApp, "vesperon", "/files/vesperon new"));
  ServeListAndProgram(list);

  const std::string exe = Program.Exe.string();
  char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>("--update"), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, environ), 0);
  int status = 0;
  const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > stop) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      FAIL() << "the player did not end after installing the update";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  ExpectReplacedSoon();
}

}  // namespace
}  // namespace vesperon
