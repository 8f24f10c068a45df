#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "app/application.h"
#include "core/files.h"
#include "core/keys.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "media/mediadb.h"
#include "platform/message_queue.h"
#include "platform/platform.h"
#include "startup_order.h"
#include "test_folder.h"

using namespace vesperon;
using vesperon::testing::FirstStartLogOrder;
using vesperon::testing::MissingInOrder;
using vesperon::testing::ReadFile;
using vesperon::testing::TLogRecorder;
using vesperon::testing::TTestFolder;
using vesperon::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

struct TCounts {
  int Steps = 0;
  int Slow = 0;
};

TMainLoopWork CountingWork(TCounts& counts, bool skinExists) {
  return {[&counts] { ++counts.Steps; }, [skinExists] { return skinExists; }, [&counts] { ++counts.Slow; }};
}

// Lines of the log file after the banner.
std::vector<std::string> LogBody(const std::string& file) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(file.substr(start, end - start));
  }
  return lines.size() > 16 ? std::vector<std::string>(lines.begin() + 16, lines.end()) : std::vector<std::string>{};
}

// Runs the whole program in-process in a fresh folder. The quit message is
// posted beforehand, so the main loop ends after its first step.
class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VESPERON_PLATFORM", "headless", 1);
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    SetExecutableDirForTesting(Folder.Path);
    ClearMessageQueue();
  }
  void TearDown() override {
    ClearExecutableDirForTesting();
    ClearMessageQueue();
    CloseLog();
    gParams = TParams{};
    gSettings = TSettings{};
  }
  int Run(const std::vector<std::string>& args) {
    PostQuitMessage(0);
    return RunApplication(args);
  }
  std::vector<std::string> Body() const { return LogBody(ReadFile(Folder.Path / "vesperon.log")); }

  TTestFolder Folder;
};

}  // namespace

TEST(MainLoop, SlowWorkOnEvery27thStepWhileTheSkinExists) {
  ClearMessageQueue();
  TCounts counts;
  TMainLoop loop;
  const TMainLoopWork work = CountingWork(counts, true);
  for (int i = 0; i < 26; ++i) MainLoopStep(loop, work);
  EXPECT_EQ(counts.Slow, 0);
  MainLoopStep(loop, work);
  EXPECT_EQ(counts.Slow, 1);  // the 27th step
  EXPECT_EQ(loop.StepCounter, 0);
  for (int i = 0; i < 54; ++i) MainLoopStep(loop, work);
  EXPECT_EQ(counts.Slow, 3);
  EXPECT_EQ(counts.Steps, 81);

  TCounts noSkin;
  TMainLoop other;
  for (int i = 0; i < 81; ++i) MainLoopStep(other, CountingWork(noSkin, false));
  EXPECT_EQ(noSkin.Slow, 0);
  EXPECT_EQ(other.StepCounter, 0);  // the counter cycles without a skin too
  EXPECT_FALSE(other.Ended);
}

TEST(MainLoop, OneMessagePerStepAndQuitEndsTheLoop) {
  ClearMessageQueue();
  TCounts counts;
  TMainLoop loop;
  PostMessage(TMessage{0, wmUser, 0, 0});
  PostMessage(TMessage{0, wmUser + 1, 0, 0});
  PostQuitMessage(0);
  PostMessage(TMessage{0, wmUser + 2, 0, 0});
  int steps = 0;
  while (!loop.Ended) {
    MainLoopStep(loop, CountingWork(counts, false));
    ++steps;
  }
  EXPECT_EQ(steps, 3);
  TMessage left;
  EXPECT_TRUE(PeekMessage(left));  // the message after the quit stays queued
  EXPECT_EQ(left.Msg, wmUser + 2u);
  ClearMessageQueue();
}

TEST(MainLoop, AnExceptionInAStepIsLoggedAndTheLoopGoesOn) {
  ClearMessageQueue();
  TLogRecorder log;
  int calls = 0;
  const TMainLoopWork work = {[&] {
                                if (++calls == 1) throw std::runtime_error("boom");
                                if (calls == 3) PostQuitMessage(0);
                              },
                              [] { return false; }, [] {}};
  RunMainLoop(work);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(log.Lines, std::vector<std::string>{"ERROR: unknown error at address 0: boom"});
}

// While nothing plays, the loop sleeps until the slow step: the counter
// moves on by the 2 ms passes slept over, so the slow work keeps its rate.
TEST(MainLoop, SleptPassesKeepTheSlowWorkOnItsStep) {
  TMainLoop loop;
  EXPECT_EQ(MsUntilSlowStep(loop), 54u);  // 27 passes from a fresh counter
  CountSleptPasses(loop, 54);
  EXPECT_EQ(loop.StepCounter, 26);  // the next pass runs the slow work
  EXPECT_EQ(MsUntilSlowStep(loop), 2u);
  loop.StepCounter = 3;
  CountSleptPasses(loop, 3);  // woken within the first pass: nothing slept over
  EXPECT_EQ(loop.StepCounter, 3);
  CountSleptPasses(loop, 10);
  EXPECT_EQ(loop.StepCounter, 7);
  CountSleptPasses(loop, 100000);  // a long sleep runs the slow work once, not many times
  EXPECT_EQ(loop.StepCounter, 26);
  loop.StepCounter = 40;
  EXPECT_EQ(MsUntilSlowStep(loop), 2u);
}

// Idle, the loop takes few passes, yet the slow work runs about every 54 ms
// and a timer still ends the wait.
TEST(MainLoop, IdleLoopSleepsBetweenSlowSteps) {
  ClearMessageQueue();
  ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
  TCounts counts;
  TMainLoopWork work = CountingWork(counts, true);
  const auto start = std::chrono::steady_clock::now();
  SetTimer(400, [](uint32_t) { PostQuitMessage(0); });
  RunMainLoop(work);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  ClosePlatform();
  EXPECT_GE(ms, 390);
  // Stepping every 2 ms would take some 200 passes.
  EXPECT_LT(counts.Steps, 40) << ms << " ms";
  EXPECT_GE(counts.Slow, static_cast<int>(ms / 54) - 2) << ms << " ms";
  EXPECT_LE(counts.Slow, static_cast<int>(ms / 54) + 1) << ms << " ms";

  // Busy playback steps every pass.
  TCounts busy;
  work = CountingWork(busy, true);
  work.Busy = [] { return true; };
  ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
  SetTimer(100, [](uint32_t) { PostQuitMessage(0); });
  RunMainLoop(work);
  ClosePlatform();
  EXPECT_GT(busy.Steps, 10);
}

TEST(MainLoop, SignalPostsQuit) {
  ClearMessageQueue();
  PostQuitMessageFromSignal();
  TMessage m;
  ASSERT_TRUE(PeekMessage(m));
  EXPECT_EQ(m.Msg, wmQuit);
}

TEST_F(ApplicationTest, CompileSkinEndsAtOnceWithoutLog) {
  EXPECT_EQ(RunApplication({"--compileskin=missing.xml", "--debug"}), 100);
  fs::create_directory("adir");
  EXPECT_EQ(RunApplication({"--compileskin=adir"}), 100);
  WriteFile("skin.xml", "<skin/>");
  EXPECT_EQ(RunApplication({"--COMPILESKIN=skin.xml", "--debug"}), 0);
  EXPECT_FALSE(fs::exists("vesperon.log"));
  EXPECT_FALSE(fs::exists("settings.xml"));
  ClearMessageQueue();
}

TEST_F(ApplicationTest, HelpPrintsAndEndsBeforeUninstall) {
  WriteFile("settings.xml", "<CONFIG/>");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunApplication({"--uninstall", "-h"}), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Vesperon 4.0.8 ALPHA 2 - Help\n\nvesperon [options] [file]\n", 0), 0u);
  EXPECT_TRUE(fs::exists("settings.xml"));
  EXPECT_FALSE(fs::exists("vesperon.log"));
}

TEST_F(ApplicationTest, FirstStartWritesDocumentsSettingsAndTheLogInOrder) {
  EXPECT_EQ(Run({"--debug"}), 0);
  const std::vector<std::string> body = Body();
  EXPECT_EQ(MissingInOrder(body, FirstStartLogOrder()), "");
  // Without a display nobody could press the assistant's button.
  EXPECT_EQ(MissingInOrder(body, {"loading keys.xml...", "no display: configuration assistant skipped",
                                  "initialization done"}),
            "");
  EXPECT_EQ(body.back(), "terminated gracefully :)");
  for (const char* f : {"Readme.txt", "ChangeLog.txt", "help/index.html", "settings.xml"}) {
    EXPECT_TRUE(fs::exists(f)) << f;
  }
}

TEST_F(ApplicationTest, LaterStartWritesNoDocumentsAndKeepsSettings) {
  WriteFile("settings.xml", "<CONFIG><audio lastvolume=\"77\"/><mine keep=\"1\"/></CONFIG>");
  EXPECT_EQ(Run({"-d"}), 0);
  EXPECT_FALSE(fs::exists("Readme.txt"));
  EXPECT_FALSE(fs::exists("help"));
  const std::vector<std::string> body = Body();
  EXPECT_EQ(std::count(body.begin(), body.end(), "no configuration found. starting configuration assistent..."), 0);
  const std::string settings = ReadFile("settings.xml");
  EXPECT_NE(settings.find("lastvolume=\"77\""), std::string::npos);
  EXPECT_NE(settings.find("<mine keep=\"1\""), std::string::npos);
}

TEST_F(ApplicationTest, WrongSettingsRootIsReportedAndTheFileKept) {
  const std::string original = "<PREFS lastvolume=\"1\"/>";
  WriteFile("settings.xml", original);
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(MissingInOrder(Body(), {"ERROR: cannot read or create file Settings.xml",
                                    "ERROR: cannot write configuration to file"}),
            "");
  EXPECT_EQ(ReadFile("settings.xml"), original);
}

TEST_F(ApplicationTest, MalformedKeyTableOrLanguageEndsStartUpWithOne) {
  WriteFile("settings.xml", "<CONFIG/>");
  WriteFile("keys.xml", "<keys><key value=\"enter\"/></keys>");
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(Body().back(), "ERROR: unknown error at address 0");
  EXPECT_EQ(ReadFile("settings.xml"), "<CONFIG/>");  // no shutdown ran
  ClearMessageQueue();

  fs::remove("keys.xml");
  WriteFile("german.xml", "<CONFIG><menu");
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(Body().back(), "ERROR: unknown error at address 0");
  ClearMessageQueue();
}

TEST_F(ApplicationTest, MissingFirstStartFolderIsAnError) {
  // A file where the help folder belongs: the documents cannot be written.
  WriteFile("help", "x");
  EXPECT_EQ(Run({"--debug"}), 1);
  EXPECT_EQ(Body().back(), "ERROR: unknown error at address 0");
  ClearMessageQueue();
}

TEST_F(ApplicationTest, AddDirThatIsNoDirectoryWarns) {
  WriteFile("settings.xml", "<CONFIG/>");
  EXPECT_EQ(Run({"--adddir=no/such/dir"}), 0);
  const std::vector<std::string> warned = Body();
  EXPECT_EQ(std::count(warned.begin(), warned.end(), "WARNING: Directory no/such/dir does not exist!"), 1);
  // Without --debug the progress lines stay out.
  EXPECT_EQ(std::count(warned.begin(), warned.end(), "initialization done"), 0);
  fs::create_directory("music");
  EXPECT_EQ(Run({"--debug", "--adddir=music"}), 0);
  const std::vector<std::string> body = Body();
  EXPECT_EQ(MissingInOrder(body, {"initialization done", "Adding directory to mediadb", "stopping core..."}), "");
}

// MP3s that carry only an ID3v2 tag, encoded and tagged by lame, get their
// titles and artists into the saved "media.db".
TEST_F(ApplicationTest, AddDirOfId3v2OnlyFilesFillsMediaDb) {
  WriteFile("settings.xml", "<CONFIG/>");
  fs::create_directories("music/b");
  ASSERT_EQ(std::system("sox -q -n -r 8000 -c 1 silence.wav trim 0 0.3"), 0);
  const std::string lame = "lame --quiet --id3v2-only silence.wav ";
  ASSERT_EQ(std::system((lame + "--tt 'First Song' --ta 'Some Band' --tl Album --tg 17 music/a.mp3").c_str()), 0);
  ASSERT_EQ(std::system((lame + "--tt 'Second Song' --ta 'Other Band' music/b/c.mp3").c_str()), 0);
  EXPECT_EQ(Run({"--adddir=music"}), 0);
  TMediaDB db;
  db.LoadFromFile(U16FromPath(Folder.Path / "media.db"));
  ASSERT_EQ(db.Count(), 2);
  const TMediaEntry& a = *db.GetEntryPtr(0);
  const TMediaEntry& c = *db.GetEntryPtr(1);
  EXPECT_EQ(a.Filename, u"music/a.mp3");
  EXPECT_EQ(a.Title, u"First Song");
  EXPECT_EQ(a.Artist, u"Some Band");
  EXPECT_EQ(a.Album, u"Album");
  EXPECT_EQ(a.Genre, u"Rock");
  EXPECT_EQ(a.Comment, u"");
  EXPECT_EQ(c.Filename, u"music/b/c.mp3");
  EXPECT_EQ(c.Title, u"Second Song");
  EXPECT_EQ(c.Artist, u"Other Band");
  EXPECT_EQ(c.Album, u"");
}

TEST_F(ApplicationTest, SilentWritesNoLog) {
  EXPECT_EQ(Run({"--silent", "--debug", "--adddir=nowhere"}), 0);
  EXPECT_FALSE(fs::exists("vesperon.log"));
  EXPECT_TRUE(fs::exists("settings.xml"));
}

TEST_F(ApplicationTest, KeyTableIsReadyAfterStartUp) {
  WriteFile("settings.xml", "<CONFIG/>");
  WriteFile("keys.xml", "<keys><key value=\"80\" extended=\"25\" function=\"play\"/></keys>");
  EXPECT_EQ(Run({"-d"}), 0);
  EXPECT_EQ(KeyLookup(80, 25 << 16), u"play");
  gSettings.Keys.clear();
}
