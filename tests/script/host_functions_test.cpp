// Host functions: what scripts read from and ask of the player and the skin.
#include "script/host_functions.h"

#include <gtest/gtest.h>

#include <set>

#include "core/random.h"
#include "script_test_support.h"

namespace vesperon {
namespace {

// Runs a module body with `host`; returns the "log: " lines.
std::vector<std::string> RunWith(TRecordingHost* host, const std::string& body,
                                 const std::string& declarations = "") {
  TLogCapture log;
  TScriptengine engine;
  EXPECT_TRUE(engine.CompileModule(ModuleText(body, declarations)))
      << (log.Errors().empty() ? "" : log.Errors()[0]);
  if (host != nullptr) engine.SetHost(host->Host());
  EXPECT_TRUE(engine.Run()) << engine.LastRun().Error;
  return log.LogOutput();
}

TEST(ScriptHost, NothingLoadedReadsAsZeroAndPlaceholders) {
  EXPECT_EQ(
      RunWith(nullptr,
              "LOG get_current_time; LOG get_total_time; LOG is_playing; LOG get_title; LOG "
              "get_artist; "
              "LOG get_album; LOG get_genre; LOG get_progressbar_position('p'); play; "
              "set_text('l', 'x')"),
      (std::vector<std::string>{"log: 0", "log: 0", "log: FALSE", "log: no_title", "log: no_artist",
                                "log: no_album", "log: no_genre", "log: 0"}));
  TRecordingHost host;  // a player without an entry
  EXPECT_EQ(RunWith(&host, "LOG get_title"), (std::vector<std::string>{"log: no_title"}));
}

TEST(ScriptHost, PlayerStateAndTags) {
  TRecordingHost host;
  host.Position = 65000;
  host.Length = 180000;
  host.IsPaused = true;
  host.Entry = TScriptSongTags{u"Artist", u"Caf\u00e9 \u20ac", u"Album", u"Genre"};
  EXPECT_EQ(
      RunWith(&host,
              "LOG get_current_time; LOG get_total_time; LOG is_playing; LOG get_title + '|' + "
              "get_artist + '|' + get_album + '|' + get_genre"),
      (std::vector<std::string>{"log: 65000", "log: 180000", "log: TRUE",
                                "log: Caf\xc3\xa9 \xe2\x82\xac|Artist|Album|Genre"}));
  // Tag text reaches the script as 8-bit text of at most 255 characters.
  host.Entry->Title = std::u16string(300, u'x');
  EXPECT_EQ(RunWith(&host, "s := get_title; LOG s", "var string s;"),
            (std::vector<std::string>{"log: " + std::string(255, 'x')}));
}

TEST(ScriptHost, PlayerCommands) {
  TRecordingHost host;
  RunWith(&host, "play; pause; stop; next; previous");
  EXPECT_EQ(host.Calls, (std::vector<std::string>{"play", "pause", "stop", "next", "previous"}));
}

TEST(ScriptHost, SkinItemsByName) {
  TRecordingHost host;
  host.BarPosition = 41;
  EXPECT_EQ(RunWith(&host,
                    "x := 1 + get_progressbar_position('p'); LOG x; set_visible('b', TRUE); "
                    "set_visible('b', FALSE); set_text('ltitle', 'T' + inttostr(7))",
                    "var integer x;"),
            (std::vector<std::string>{"log: 42"}));
  EXPECT_EQ(host.Calls, (std::vector<std::string>{"visible b=1", "visible b=0", "text ltitle=T7"}));
  host.Calls.clear();
  host.BarMax = 300;
  RunWith(&host, "set_progressbar_position('p', 500); set_progressbar_max('p', 100)");
  EXPECT_EQ(host.Calls, (std::vector<std::string>{"position p=500", "max p=100"}));
  EXPECT_EQ(host.BarPosition, 100);
}

TEST(ScriptHost, TextConversions) {
  EXPECT_EQ(RunWith(nullptr, "LOG inttostr(0 - 12) + inttostr(0)"),
            (std::vector<std::string>{"log: -120"}));
  EXPECT_EQ(RunWith(nullptr,
                    "LOG timetostr(0); LOG timetostr(59); LOG timetostr(65); LOG timetostr(600); "
                    "LOG timetostr(3600); LOG timetostr(6000)"),
            (std::vector<std::string>{"log: 00:00", "log: 00:59", "log: 01:05", "log: 10:00",
                                      "log: 60:00", "log: 100:00"}));
  EXPECT_EQ(TimeToStr(-65), "-01:05");
  EXPECT_EQ(TimeToStr(INT64_MIN), "-153722867280912930:08");
}

TEST(ScriptHost, RandomValuesStayInTheirRange) {
  RandomSeed(7);
  EXPECT_EQ(RunWith(nullptr, "x := 1 + get_random_value(5, 6); LOG x", "var integer x;"),
            (std::vector<std::string>{"log: 6"}));
  EXPECT_EQ(RunWith(nullptr, "LOG get_random_value(5, 5); LOG get_random_value(9, 2)"),
            (std::vector<std::string>{"log: 5", "log: 9"}));
  const std::vector<std::string> draws =
      RunWith(nullptr, "i := 0; WHILE i < 200 DO LOG get_random_value(0 - 3, 4); i := i + 1 END",
              "var integer i;");
  ASSERT_EQ(draws.size(), 200u);
  std::set<std::string> seen(draws.begin(), draws.end());
  EXPECT_EQ(seen, (std::set<std::string>{"log: -3", "log: -2", "log: -1", "log: 0", "log: 1",
                                         "log: 2", "log: 3"}));
}

TEST(ScriptHost, CallsInALoopDoNotFillTheStack) {
  TRecordingHost host;
  RunWith(&host,
          "i := 0; WHILE i < 2000 DO set_text('l', 'x'); get_title; timetostr(i); i := i + 1 END",
          "var integer i;");
  EXPECT_EQ(host.Calls.size(), 2000u);
}

// A host call may run another module (an "onsong" started by NEXT, say):
// each run keeps its own machine.
class TNestingHost : public TRecordingHost {
 public:
  TScriptengine* Inner = nullptr;
  void Next() override {
    TRecordingHost::Next();
    if (Inner) Inner->Run();
  }
};

TEST(ScriptHost, ARunStartedFromAHostCallKeepsItsOwnMachine) {
  TLogCapture log;
  TNestingHost host;
  TScriptengine outer;
  TScriptengine inner;
  ASSERT_TRUE(inner.CompileModule(ModuleText("s := 'inner'; LOG s", "var string s;")));
  ASSERT_TRUE(outer.CompileModule(ModuleText("s := 'outer'; next; LOG s + '!'", "var string s;")));
  host.Inner = &inner;
  outer.SetHost(host.Host());
  EXPECT_TRUE(outer.Run());
  EXPECT_EQ(log.LogOutput(), (std::vector<std::string>{"log: inner", "log: outer!"}));
}

// An engine keeps its machine from run to run (the slow tick's module runs
// many times a second); every run still starts from cleared variables and
// an empty stack, and a failed run leaves nothing behind.
TEST(ScriptHost, EveryRunStartsFromClearedVariables) {
  TLogCapture log;
  TRecordingHost host;
  TScriptengine engine;
  ASSERT_TRUE(engine.CompileModule(
      ModuleText("LOG i; LOG j; i := i + 5; j := i * 2; timetostr(j)", "var integer i, j;")));
  engine.SetHost(host.Host());
  for (int run = 0; run < 3; ++run) EXPECT_TRUE(engine.Run());
  EXPECT_EQ(log.LogOutput(),
            (std::vector<std::string>{"log: 0", "log: 0", "log: 0", "log: 0", "log: 0", "log: 0"}));
  const int64_t top = engine.LastRun().Top;
  engine.SetInstructionLimit(6);  // stops halfway, values on the stack
  EXPECT_FALSE(engine.Run());
  engine.SetInstructionLimit(kDefaultInstructionLimit);
  EXPECT_TRUE(engine.Run());
  EXPECT_EQ(engine.LastRun().Top, top);
  const std::vector<std::string> lines = log.LogOutput();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
            (std::vector<std::string>{"log: 0", "log: 0"}));
}

TEST(ScriptHost, DefaultSkinModulesDriveTheSkin) {
  TLogCapture log;
  TRecordingHost host;
  host.Entry = TScriptSongTags{u"", u"Song", u"", u""};
  host.Length = 180000;
  host.Position = 65000;
  TScriptModules modules;
  modules.SetHost(host.Host());
  modules.Add(
      "module ontime;\r\nvar String s; Integer i;\r\nbegin\r\n  if get_current_time > 0 then\r\n"
      "    i := get_total_time - get_current_time;\r\n    i := i / 1000;\r\n    s := "
      "'-'+timetostr(i);\r\n"
      "    set_text('ltime',s);\r\n    set_progressbar_position('ptime',get_current_time);\r\n  "
      "end;\r\n"
      "end ontime;\r\n");
  modules.Add(
      "module onsong;\r\nbegin\r\n  set_text('ltitle',get_title);\r\n"
      "  set_progressbar_max('ptime',get_total_time);\r\nend onsong;\r\n");
  EXPECT_TRUE(log.Errors().empty());
  EXPECT_TRUE(modules.RunByName("OnSong"));
  EXPECT_TRUE(modules.RunByName("ontime"));
  EXPECT_TRUE(modules.RunByName("ONTIME"));
  EXPECT_FALSE(modules.RunByName("missing"));
  EXPECT_EQ(host.Calls, (std::vector<std::string>{"text ltitle=Song", "max ptime=180000",
                                                  "text ltime=-01:55", "position ptime=65000",
                                                  "text ltime=-01:55", "position ptime=65000"}));
}

TEST(ScriptHost, AStringArgumentThatIsNoBlockStopsTheRun) {
  TLogCapture log;
  TScriptengine engine;
  ASSERT_TRUE(engine.CompileModule(ModuleText("set_visible(s, TRUE)", "var string s;")));
  TRecordingHost host;
  engine.SetHost(host.Host());
  EXPECT_FALSE(engine.Run());
  EXPECT_TRUE(host.Calls.empty());
  EXPECT_EQ(log.Errors(),
            (std::vector<std::string>{"ERROR: script error in module T: invalid string handle 0"}));
}

}  // namespace
}  // namespace vesperon
