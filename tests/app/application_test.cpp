#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include "app/application.h"
#include "app/loop_sources.h"
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
  return {[&counts] { ++counts.Steps; },
          [skinExists] { return skinExists; },
          [&counts] { ++counts.Slow; },
          {}};
}

// Lines of the log file after the banner.
std::vector<std::string> LogBody(const std::string& file) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(file.substr(start, end - start));
  }
  return lines.size() > 16 ? std::vector<std::string>(lines.begin() + 16, lines.end())
                           : std::vector<std::string>{};
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
                              [] { return false; }, [] {}, [] { return 0u; }};
  RunMainLoop(work);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(log.Lines, std::vector<std::string>{"ERROR: unknown error at address 0: boom"});
}

// While nothing plays, the loop sleeps until the slow step: the counter
// moves on by the 2 ms passes slept over, so the slow work keeps its rate.
TEST(MainLoop, SleptPassesKeepTheSlowWorkOnItsStep) {
  TMainLoop loop;
  EXPECT_EQ(MsUntilSlowStep(loop), 54u);  // 27 passes from a fresh counter
  CountSleptPasses(loop, 54'100);
  EXPECT_EQ(loop.StepCounter, 26);  // the next pass runs the slow work
  EXPECT_EQ(MsUntilSlowStep(loop), 2u);
  loop.StepCounter = 3;
  CountSleptPasses(loop, 2'900);  // woken within the first pass: nothing slept over
  EXPECT_EQ(loop.StepCounter, 3);
  CountSleptPasses(loop, 9'800);  // five passes, the one that follows counts itself
  EXPECT_EQ(loop.StepCounter, 7);
  CountSleptPasses(loop, 100'000'000);  // a long sleep runs the slow work once, not many times
  EXPECT_EQ(loop.StepCounter, 26);
  loop.StepCounter = 40;
  EXPECT_EQ(MsUntilSlowStep(loop), 2u);
}

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs the loop with the headless platform until `quitAfterMs` (a thread
// timer posts the quit message).
void RunLoopFor(const TMainLoopWork& work, uint32_t quitAfterMs) {
  ClearMessageQueue();
  ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
  SetTimer(quitAfterMs, [](uint32_t) { PostQuitMessage(0); });
  RunMainLoop(work);
  ClosePlatform();
}

// The loop with nothing to do and no skin sleeps until `wake` (run on
// another thread after 100 ms) brings something; playback asks for a step
// after 5 s at the latest, so a lost wake-up fails instead of hanging.
// Returns how long the loop went on after the wake-up, in milliseconds.
double WakeUpDelay(const std::function<void()>& wake, int* steps = nullptr,
                   uint32_t playbackMs = 5000) {
  ClearMessageQueue();
  int count = 0;
  TMainLoopWork work = {[&count] { ++count; }, [] { return false; }, [] {},
                        [playbackMs] { return playbackMs; }};
  Clock::time_point woken;
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    woken = Clock::now();
    wake();
  });
  RunMainLoop(work);
  const Clock::time_point ended = Clock::now();
  other.join();
  ClearMessageQueue();
  if (steps) *steps = count;
  return std::chrono::duration<double, std::milli>(ended - woken).count();
}

}  // namespace

// Idle, the loop takes few passes, yet the slow work keeps its period of 27
// passes of 2 ms; while playback needs every pass it steps every 2 ms.
TEST(MainLoop, IdleLoopSleepsButKeepsTheSlowWorkRate) {
  TCounts counts;
  TMainLoopWork work = CountingWork(counts, true);
  std::vector<double> slowAt;
  const Clock::time_point start = Clock::now();
  work.SlowWork = [&] {
    ++counts.Slow;
    slowAt.push_back(MsSince(start));
  };
  RunLoopFor(work, 600);
  const double ms = MsSince(start);
  EXPECT_LT(counts.Steps, 60) << "stepping every 2 ms would take some 300 passes";
  ASSERT_GE(slowAt.size(), 5u);
  const double period = (slowAt.back() - slowAt.front()) / static_cast<double>(slowAt.size() - 1);
  EXPECT_GE(period, 53.0) << ms << " ms";
  EXPECT_LE(period, 62.0) << ms << " ms";

  TCounts busy;
  work = CountingWork(busy, true);
  work.MsUntilStepWork = [] { return 0u; };
  RunLoopFor(work, 200);
  EXPECT_GT(busy.Steps, 50);
  EXPECT_NEAR(busy.Slow, busy.Steps / 27, 1);
}

// Playback that has work again in 150 ms gets its step then, not a slow
// period later, as a loop stepping every 2 ms would.
TEST(MainLoop, PlaybackWorkDueLaterWakesTheLoopInTime) {
  const Clock::time_point due = Clock::now() + std::chrono::milliseconds(150);
  double late = -1;
  int steps = 0;
  const TMainLoopWork work = {
      [&] {
        ++steps;
        if (late < 0 && Clock::now() >= due) late = MsSince(due);
      },
      [] { return true; }, [] {},
      [&]() -> uint32_t {
        if (late >= 0) return UINT32_MAX;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
        return left <= 0 ? 0u : static_cast<uint32_t>(left) + 1;
      }};
  RunLoopFor(work, 300);
  ASSERT_GE(late, 0);
  EXPECT_LT(late, 5.0);
  EXPECT_LT(steps, 40);
}

// A message posted from another thread, a quit from a signal handled on
// another thread, and a ready loop source each end the sleep at once.
TEST(MainLoop, PostSignalAndLoopSourceWakeTheSleepingLoop) {
  int steps = 0;
  EXPECT_LT(WakeUpDelay([] { PostQuitMessage(0); }, &steps), 50.0);
  EXPECT_LE(steps, 3) << "the loop slept until the post";

  // The signal arrives on the other thread: only the wake-up descriptor can
  // end the main thread's wait.
  struct sigaction action {
  }, previous{};
  action.sa_handler = [](int) { PostQuitMessageFromSignal(); };
  sigemptyset(&action.sa_mask);
  sigaction(SIGUSR1, &action, &previous);
  sigset_t usr1, old;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &usr1, &old);  // the waking thread inherits this
  EXPECT_LT(WakeUpDelay([&] {
              pthread_sigmask(SIG_UNBLOCK, &usr1, nullptr);
              raise(SIGUSR1);  // handled on this thread
            }),
            50.0);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  sigaction(SIGUSR1, &previous, nullptr);

  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  app::AddLoopSource({[&] { return pipeFds[0]; },
                      [] { return static_cast<short>(POLLIN); },
                      [] { return -1; },
                      [&] {
                        char c;
                        if (read(pipeFds[0], &c, 1) == 1) PostQuitMessage(0);
                      },
                      {}});
  EXPECT_LT(WakeUpDelay([&] { EXPECT_EQ(write(pipeFds[1], "x", 1), 1); }), 50.0);
  // Stepping every 2 ms (a fade), the loop watches its sources in between.
  EXPECT_LT(WakeUpDelay([&] { EXPECT_EQ(write(pipeFds[1], "x", 1), 1); }, &steps, 0), 50.0);
  EXPECT_GE(steps, 20) << "the loop stepped every 2 ms until the source was ready";
  app::ClearLoopSources();
  close(pipeFds[0]);
  close(pipeFds[1]);
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
  EXPECT_EQ(
      MissingInOrder(body, {"loading keys.xml...", "no display: configuration assistant skipped",
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
  EXPECT_EQ(std::count(body.begin(), body.end(),
                       "no configuration found. starting configuration assistent..."),
            0);
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
  EXPECT_EQ(
      std::count(warned.begin(), warned.end(), "WARNING: Directory no/such/dir does not exist!"),
      1);
  // Without --debug the progress lines stay out.
  EXPECT_EQ(std::count(warned.begin(), warned.end(), "initialization done"), 0);
  fs::create_directory("music");
  EXPECT_EQ(Run({"--debug", "--adddir=music"}), 0);
  const std::vector<std::string> body = Body();
  EXPECT_EQ(MissingInOrder(
                body, {"initialization done", "Adding directory to mediadb", "stopping core..."}),
            "");
}

// MP3s that carry only an ID3v2 tag, encoded and tagged by lame, get their
// titles and artists into the saved "media.db".
TEST_F(ApplicationTest, AddDirOfId3v2OnlyFilesFillsMediaDb) {
  WriteFile("settings.xml", "<CONFIG/>");
  fs::create_directories("music/b");
  ASSERT_EQ(std::system("sox -q -n -r 8000 -c 1 silence.wav trim 0 0.3"), 0);
  const std::string lame = "lame --quiet --id3v2-only silence.wav ";
  ASSERT_EQ(
      std::system(
          (lame + "--tt 'First Song' --ta 'Some Band' --tl Album --tg 17 music/a.mp3").c_str()),
      0);
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
