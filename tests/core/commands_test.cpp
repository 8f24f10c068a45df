// Command strings: parsing into arguments, and dispatch to the player and
// the skin through their links.
#include "core/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/params.h"
#include "core/skin_link.h"
#include "core/text.h"

namespace vesperon {
namespace {

// Records every call as one line of text.
class TRecorder : public TSkinLink, public TCommandPlayer {
 public:
  std::vector<std::string> Calls;
  bool HasOnTime = true;

  void SelectMediaRow(int32_t index) override { Add("select " + std::to_string(index)); }
  void SetTrayTip(std::u16string_view text) override { Add("tip ", text); }
  std::u16string_view OnSong() const override { return u"script:OnSong"; }
  std::u16string_view OnTime() const override { return u"volume(7)"; }
  bool RunScript(std::string_view upperName) override {
    Add("script ", Cp1252ToUtf16(upperName));
    return upperName == "ONTIME";
  }
  // The skin's own OnTime script runs first; when it says the command is
  // not a script, the core runs the string.
  bool RunOnTimeScript() override {
    if (!OnTimeIsScript) return false;
    Add("ontime script");
    return true;
  }
  bool OnTimeIsScript = false;
  void AdvanceScrolling() override { Add("scroll"); }
  void ShowMediaWindow() override { Add("media"); }
  void ShowVideoWindow() override { Add("video"); }
  void ShowAboutWindow() override { Add("about"); }
  void ShowSkinWindow(std::u16string_view name) override { Add("window ", name); }
  bool LoadSkin(std::u16string_view name) override {
    Add("load ", name);
    return true;
  }

  bool Play() override { return Add("play"); }
  bool Stop() override { return Add("stop"); }
  bool Pause() override { return Add("pause"); }
  bool Next(bool crossfading) override { return Add(crossfading ? "next crossfading" : "next"); }
  bool Previous(bool crossfading) override {
    return Add(crossfading ? "previous crossfading" : "previous");
  }
  bool SetVolume(int32_t value) override { return Add("volume " + std::to_string(value)); }

 private:
  bool Add(const std::string& call, std::u16string_view text = {}) {
    Calls.push_back(call + Utf16ToUtf8(text));
    return true;
  }
};

class CommandsTest : public ::testing::Test {
 protected:
  TRecorder recorder;
  std::vector<std::string> logLines;

  void SetUp() override {
    gParams = TParams{};
    gParams.Debug = true;
    SetLogObserver([this](std::string_view line) { logLines.emplace_back(line); });
    gSkinLink = &recorder;
    SetCommandPlayer(&recorder);
  }
  void TearDown() override {
    gSkinLink = nullptr;
    SetCommandPlayer(nullptr);
    SetLogObserver({});
    gParams = TParams{};
  }

  // Runs one command string and returns the calls it made.
  std::vector<std::string> Run(std::u16string_view text) {
    recorder.Calls.clear();
    logLines.clear();
    RunCommand(text);
    return recorder.Calls;
  }
};

using Calls = std::vector<std::string>;
using Lines = std::vector<std::string>;

TEST(CommandParseTest, ArgumentClassesTakeTheFirstRuleThatFits) {
  struct {
    std::u16string text;
    TArgType type;
  } cases[] = {
      {u"true", atBoolean}, {u"FaLsE", atBoolean}, {u"0", atInteger},     {u"0128", atInteger},
      {u"1.5", atDouble},   {u".5", atDouble},     {u"5.", atDouble},     {u".", atDouble},
      {u"-5", atString},    {u" 128", atString},   {u"1.2.3", atString},  {u"1e3", atString},
      {u"truex", atString}, {u"media", atString},  {u"\u0661", atString}, {u"", atInteger},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyArgument(c.text).Type, c.type) << Utf16ToUtf8(c.text);
  }
  EXPECT_EQ(std::get<bool>(ClassifyArgument(u"TRUE").Value), true);
  EXPECT_EQ(std::get<int32_t>(ClassifyArgument(u"0128").Value), 128);
  EXPECT_DOUBLE_EQ(std::get<double>(ClassifyArgument(u"2.25").Value), 2.25);
  EXPECT_DOUBLE_EQ(std::get<double>(ClassifyArgument(u".5").Value), 0.5);
  EXPECT_DOUBLE_EQ(std::get<double>(ClassifyArgument(u".").Value), 0.0);
  EXPECT_EQ(std::get<std::u16string>(ClassifyArgument(u" 128").Value), u" 128");
  // Too many digits for 32 bits saturate instead of wrapping to a small or
  // negative volume.
  EXPECT_EQ(std::get<int32_t>(ClassifyArgument(u"99999999999").Value), 2147483647);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(ClassifyArgument(u"").Value));
}

TEST(CommandParseTest, NameIsLowerCasedAndArgumentsSplitAtCommas) {
  TParsedCommand c = ParseCommand(u"SHOW_Window(Media)");
  EXPECT_EQ(c.Name, u"show_window");
  ASSERT_EQ(c.Args.size(), 1u);
  EXPECT_EQ(std::get<std::u16string>(c.Args[0].Value), u"Media");

  c = ParseCommand(u"f(1, a,2.5,true)");
  ASSERT_EQ(c.Args.size(), 4u);
  EXPECT_EQ(c.Args[1].Type, atString);
  EXPECT_EQ(std::get<std::u16string>(c.Args[1].Value), u" a");
  EXPECT_EQ(c.Args[2].Type, atDouble);
  EXPECT_EQ(c.Args[3].Type, atBoolean);
}

TEST(CommandParseTest, LastCharacterIsTakenAsTheClosingParenthesis) {
  TParsedCommand c = ParseCommand(u"volume(128");
  ASSERT_EQ(c.Args.size(), 1u);
  EXPECT_EQ(std::get<int32_t>(c.Args[0].Value), 12);

  EXPECT_TRUE(ParseCommand(u"play").Args.empty());
  EXPECT_TRUE(ParseCommand(u"play()").Args.empty());
  EXPECT_TRUE(ParseCommand(u"play(").Args.empty());
  EXPECT_TRUE(ParseCommand(u"(").Args.empty());
  EXPECT_EQ(ParseCommand(u"(").Name, u"");
  EXPECT_EQ(ParseCommand(u"").Name, u"");
  EXPECT_EQ(ParseCommand(u"play)").Name, u"play)");
  // A second "(" belongs to the argument text.
  c = ParseCommand(u"f((x))");
  ASSERT_EQ(c.Args.size(), 1u);
  EXPECT_EQ(std::get<std::u16string>(c.Args[0].Value), u"(x)");
}

TEST(CommandParseTest, EmptyPiecesBeforeCommasAreArgumentsButATrailingOneIsNot) {
  EXPECT_EQ(ParseCommand(u"f(,)").Args.size(), 1u);
  EXPECT_EQ(ParseCommand(u"f(1,)").Args.size(), 1u);
  EXPECT_EQ(ParseCommand(u"f(1,,2)").Args.size(), 3u);
  EXPECT_EQ(ParseCommand(u"f(,,)").Args.size(), 2u);
  const TParsedCommand c = ParseCommand(u"f(,3)");
  ASSERT_EQ(c.Args.size(), 2u);
  EXPECT_EQ(c.Args[0].Type, atInteger);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(c.Args[0].Value));
  EXPECT_EQ(std::get<int32_t>(c.Args[1].Value), 3);
}

TEST_F(CommandsTest, PlayerCommandsIgnoreCaseAndSuperfluousArguments) {
  EXPECT_EQ(Run(u"PLAY"), Calls{"play"});
  EXPECT_EQ(Run(u"Play()"), Calls{"play"});
  EXPECT_EQ(Run(u"play(1,2)"), Calls{"play"});
  EXPECT_EQ(Run(u"stop"), Calls{"stop"});
  EXPECT_EQ(Run(u"break"), Calls{"pause"});
  EXPECT_EQ(Run(u"next"), Calls{"next"});
  EXPECT_EQ(Run(u"Previous"), Calls{"previous"});
  EXPECT_TRUE(logLines.empty());
}

TEST_F(CommandsTest, VolumeTakesExactlyOneUnsignedInteger) {
  EXPECT_EQ(Run(u"volume(128)"), Calls{"volume 128"});
  EXPECT_EQ(Run(u"volume(300)"), Calls{"volume 300"});  // SetVolume clamps
  EXPECT_EQ(Run(u"volume(128"), Calls{"volume 12"});
  EXPECT_TRUE(logLines.empty());

  const Lines wrongType{"ERROR: Expected INTEGER as parameter for function volume"};
  EXPECT_EQ(Run(u"volume( 128)"), Calls{});
  EXPECT_EQ(logLines, wrongType);
  EXPECT_EQ(Run(u"volume(-5)"), Calls{});
  EXPECT_EQ(logLines, wrongType);
  EXPECT_EQ(Run(u"volume(0.5)"), Calls{});
  EXPECT_EQ(logLines, wrongType);
  // The empty argument has no value and is refused the same way.
  EXPECT_EQ(Run(u"volume(,)"), Calls{});
  EXPECT_EQ(logLines, wrongType);

  const Lines wrongAmount{"ERROR: Wrong amount of parameters for function volume"};
  EXPECT_EQ(Run(u"volume(1,2)"), Calls{});
  EXPECT_EQ(logLines, wrongAmount);
  EXPECT_EQ(Run(u"VOLUME()"), Calls{});
  EXPECT_EQ(logLines, wrongAmount);
  EXPECT_EQ(Run(u"volume"), Calls{});
  EXPECT_EQ(logLines, wrongAmount);
}

TEST_F(CommandsTest, ShowWindowPicksTheBuiltInWindowsOrASkinWindow) {
  EXPECT_EQ(Run(u"show_window(MEDIA)"), Calls{"media"});
  EXPECT_EQ(logLines, Lines{"show_window MEDIA"});
  EXPECT_EQ(Run(u"show_window(Video)"), Calls{"video"});
  EXPECT_EQ(Run(u"show_window(about)"), Calls{"about"});
  // Skin windows are looked up by the name as written.
  EXPECT_EQ(Run(u"show_window(EqWin)"), Calls{"window EqWin"});

  EXPECT_EQ(Run(u"show_window(5)"), Calls{});
  EXPECT_EQ(logLines, Lines{"ERROR: Expected STRING as parameter for function show_window"});
  EXPECT_EQ(Run(u"show_window(true)"), Calls{});
  EXPECT_EQ(logLines, Lines{"ERROR: Expected STRING as parameter for function show_window"});
  EXPECT_EQ(Run(u"show_window(a,b)"), Calls{});
  EXPECT_EQ(logLines, Lines{"ERROR: Wrong amount of parameters for function show_window"});
}

TEST_F(CommandsTest, LoadSkinLogsAndLoads) {
  EXPECT_EQ(Run(u"load_skin(Blue.vsf)"), Calls{"load Blue.vsf"});
  EXPECT_EQ(logLines, Lines{"load_skin Blue.vsf"});
  EXPECT_EQ(Run(u"load_skin(1.5)"), Calls{});
  EXPECT_EQ(logLines, Lines{"ERROR: Expected STRING as parameter for function load_skin"});
}

TEST_F(CommandsTest, ScriptNamesAreComparedUpperCased) {
  EXPECT_EQ(Run(u"script:OnTime"), Calls{"script ONTIME"});
  EXPECT_EQ(Run(u"SCRIPT:ontime"), Calls{"script ONTIME"});
  // A missing script is not reported, and its name runs no command either.
  EXPECT_EQ(Run(u"script:play"), Calls{"script PLAY"});
  EXPECT_EQ(Run(u"script:volume(1,2)"), Calls{"script VOLUME"});
  EXPECT_TRUE(logLines.empty());
}

TEST_F(CommandsTest, UnknownCommandsDoNothingAndReportNothing) {
  for (std::u16string_view text : {u"", u"(", u"pla y", u"volume2(5)", u"plays", u"script", u")"}) {
    EXPECT_EQ(Run(text), Calls{}) << Utf16ToUtf8(text);
    EXPECT_TRUE(logLines.empty()) << Utf16ToUtf8(text);
  }
}

TEST_F(CommandsTest, EventStringsRunOnlyWhileASkinExists) {
  RunOnSongCommand();
  RunOnTimeCommand();
  EXPECT_EQ(recorder.Calls, (Calls{"script ONSONG", "volume 7"}));

  // A script command is the skin's to run; the string is then left alone.
  recorder.Calls.clear();
  recorder.OnTimeIsScript = true;
  RunOnTimeCommand();
  EXPECT_EQ(recorder.Calls, Calls{"ontime script"});

  recorder.Calls.clear();
  gSkinLink = nullptr;
  EXPECT_EQ(Run(u"play"), Calls{});
  EXPECT_EQ(Run(u"volume(1,2)"), Calls{});
  RunOnTimeCommand();
  EXPECT_TRUE(recorder.Calls.empty());
  EXPECT_TRUE(logLines.empty());
}

TEST_F(CommandsTest, ScriptCommandNamesAreUpperCasedEightBitText) {
  EXPECT_EQ(ScriptCommandName(u"script:OnTime"), "ONTIME");
  EXPECT_EQ(ScriptCommandName(u"SCRIPT:t\u00e9st"), "T\xe9ST");
  EXPECT_EQ(ScriptCommandName(u"script:"), "");
  EXPECT_EQ(ScriptCommandName(u"script"), std::nullopt);
  EXPECT_EQ(ScriptCommandName(u"volume(7)"), std::nullopt);
  EXPECT_EQ(ScriptCommandName(u""), std::nullopt);
}

// Inputs the fuzzer once found troublesome are kept and replayed here, with
// the seeds, through the whole path a skin's command string takes.
TEST_F(CommandsTest, FuzzerInputsRunWithoutHarm) {
  const std::filesystem::path dir =
      std::filesystem::path(VESPERON_TEST_DATA) / "fuzz" / "fuzz_core_commands";
  int files = 0;
  for (const std::filesystem::path& folder : {dir, dir / "crashes"}) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
      Run(Utf8ToUtf16(bytes));
      ++files;
    }
  }
  EXPECT_GE(files, 6);
}

}  // namespace
}  // namespace vesperon
