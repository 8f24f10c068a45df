#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>

#include "core/log.h"
#include "core/log_banner.h"
#include "core/text.h"
#include "test_folder.h"

using namespace vesperon;
using vesperon::testing::ReadFile;
using vesperon::testing::TLogRecorder;
using vesperon::testing::TTestFolder;

TEST(LogBanner, CentringPrependsFirst) {
  EXPECT_EQ(FrameCentred("ab"), "# " + std::string(18, ' ') + "ab" + std::string(17, ' ') + " #");
  EXPECT_EQ(FrameCentred("abc"), "# " + std::string(17, ' ') + "abc" + std::string(17, ' ') + " #");
  EXPECT_EQ(FrameCentred("").size(), 41u);
  // 37 characters or more: framed without padding, longer than the frame.
  const std::string long37(37, 'x');
  EXPECT_EQ(FrameCentred(long37), "# " + long37 + " #");
  const std::string long50(50, 'y');
  EXPECT_EQ(FrameCentred(long50), "# " + long50 + " #");
  EXPECT_EQ(FrameCentred(long50).size(), 54u);
}

TEST(LogBanner, LinesInOrder) {
  const std::vector<std::string> lines = LogBannerLines();
  ASSERT_EQ(lines.size(), 16u);
  const std::string hashes(41, '#');
  const std::string blank = "#" + std::string(39, ' ') + "#";
  EXPECT_EQ(lines[0], hashes);
  EXPECT_EQ(lines[1], FrameCentred("Vesperon - Version 4.0.8 ALPHA 2"));
  EXPECT_EQ(lines[5], blank);
  EXPECT_EQ(lines[9], blank);
  EXPECT_EQ(lines[10], "#            Windows Version            #");
  EXPECT_EQ(lines[11], FrameCentred("running " + OperatingSystemName()));
  EXPECT_EQ(lines[12], FrameCentred(std::string("ZLIB-Version: ") + zlibVersion()));
  EXPECT_EQ(lines[13], blank);
  EXPECT_EQ(lines[14], hashes);
  EXPECT_EQ(lines[15], "");
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_GE(lines[i].size(), 41u) << i;
    EXPECT_EQ(lines[i].front(), '#');
    EXPECT_EQ(lines[i].back(), '#');
  }
}

TEST(LogBanner, WindowsNames) {
  EXPECT_EQ(WindowsName(1, 4, 0), "Windows 95");
  EXPECT_EQ(WindowsName(1, 4, 10), "Windows 98");
  EXPECT_EQ(WindowsName(1, 4, 90), "Windows Me");
  EXPECT_EQ(WindowsName(1, 4, 3), "unkown 9x");
  EXPECT_EQ(WindowsName(1, 5, 0), "unknown 9x");
  EXPECT_EQ(WindowsName(2, 3, 51), "Windows NT 3.51");
  EXPECT_EQ(WindowsName(2, 4, 0), "Windows NT 4");
  EXPECT_EQ(WindowsName(2, 5, 0), "Windows 2000");
  EXPECT_EQ(WindowsName(2, 5, 1), "Windows XP");
  EXPECT_EQ(WindowsName(2, 5, 2), "Windows .NET Server");
  EXPECT_EQ(WindowsName(2, 5, 7), "unkown NT");
  EXPECT_EQ(WindowsName(2, 6, 0), "unknown NT");
  EXPECT_EQ(WindowsName(2, 2, 0), "unknown NT");
  EXPECT_EQ(WindowsName(3, 5, 1), "unknown");
  EXPECT_FALSE(WindowsName(2, 3, 10).empty());
}

TEST(Log, WithoutDebugOnlyBannerWarningsAndErrors) {
  TTestFolder folder;
  TLogRecorder log(/*debug=*/false);
  ASSERT_TRUE(OpenLog());
  Log("starting core...");
  LogError(u"it broke \u00e4");
  LogWarning("careful");
  Log("");
  CloseLog();
  const std::string file = ReadFile("vesperon.log");
  std::string expected;
  for (const std::string& line : LogBannerLines()) expected += line + "\r\n";
  expected += "ERROR: it broke \xc3\xa4\r\nWARNING: careful\r\n";
  EXPECT_EQ(file, expected);
}

TEST(Log, DebugWritesProgressLinesAndEmptyLines) {
  TTestFolder folder;
  TLogRecorder log(/*debug=*/true);
  ASSERT_TRUE(OpenLog());
  Log("starting core...");
  Log(u"");
  CloseLog();
  const std::string file = ReadFile("vesperon.log");
  EXPECT_NE(file.find("\r\n\r\nstarting core...\r\n\r\n"), std::string::npos);
  // Nothing is written once the log is closed.
  Log("after close");
  EXPECT_EQ(ReadFile("vesperon.log"), file);
}

TEST(Log, SilentDropsEverythingIncludingNotifications) {
  TTestFolder folder;
  TLogRecorder log(/*debug=*/true, /*silent=*/true);
  int notified = 0;
  SetLogNotifier([&](std::u16string_view, std::u16string_view) { ++notified; });
  LogError("x");
  LogWarning("y");
  EXPECT_TRUE(log.Lines.empty());
  EXPECT_EQ(notified, 0);
}

TEST(Log, NotifierGetsTitleAndTextAndMayNotBreakReporting) {
  TLogRecorder log;
  std::vector<std::u16string> seen;
  SetLogNotifier([&](std::u16string_view title, std::u16string_view text) {
    seen.push_back(std::u16string(title) + u":" + std::u16string(text));
    throw std::runtime_error("balloon failed");
  });
  EXPECT_NO_THROW(LogWarning("w"));
  EXPECT_NO_THROW(LogError("e"));
  Log("progress");
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"Warning:w", u"Error:e"}));
  EXPECT_TRUE(log.Has("ERROR: e"));
}

TEST(Log, SecondStartOverwritesAndFullDiskDisablesTheFile) {
  TTestFolder folder;
  TLogRecorder log;
  ASSERT_TRUE(OpenLog());
  Log("first run");
  ASSERT_TRUE(OpenLog());
  Log("second run");
  CloseLog();
  const std::string file = ReadFile("vesperon.log");
  EXPECT_EQ(file.find("first run"), std::string::npos);
  EXPECT_NE(file.find("second run"), std::string::npos);

  // A full disk: the banner cannot be written, the log closes itself and
  // reporting goes on without failing.
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_FALSE(OpenLog("/dev/full"));
    EXPECT_FALSE(IsLogOpen());
    EXPECT_NO_THROW(LogError("still fine"));
  }
  // A folder in the way: no log file, start-up goes on.
  std::filesystem::create_directory("blocked.log");
  EXPECT_FALSE(OpenLog("blocked.log"));
  EXPECT_NO_THROW(LogError("no file"));
}

// One bad name cannot break the log's lines or make it invalid UTF-8: control
// characters and stray bytes are escaped; good text passes unchanged.
TEST(Log, OutsideTextIsEscapedIntoOneValidLine) {
  EXPECT_EQ(EscapeForLog("plain /m/Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5 ~"),
            "plain /m/Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5 ~");
  EXPECT_EQ(EscapeForLog("a\nb\rc\td\x01"
                         "e\x7f"),
            "a\\nb\\rc\\td\\x01e\\x7F");
  EXPECT_EQ(EscapeForLog("caf\xe9.mp3"), "caf\\xE9.mp3");  // Latin-1 byte
  EXPECT_EQ(EscapeForLog("\xc0\xaf|\xed\xa0\x80|\xe2\x82"),
            "\\xC0\\xAF|\\xED\\xA0\\x80|\\xE2\\x82");  // overlong, surrogate, cut
  EXPECT_EQ(EscapeForLog("x\xc2\x85y\xe2\x80\xa8z"),
            "x\\u0085y\\u2028z");  // NEL and line separator
  EXPECT_EQ(EscapeForLog(std::string("a\0b", 3)), "a\\x00b");

  TTestFolder folder;
  TLogRecorder log(/*debug=*/true);
  ASSERT_TRUE(OpenLog());
  LogWarning(u"Directory /m/evil\nWARNING: forged\xDCE9 does not exist!");  // a stray byte carried
                                                                            // in UTF-16
  Log(std::string_view("tag: \x1b[31mred\r"));
  CloseLog();
  const std::string file = ReadFile("vesperon.log");
  EXPECT_NE(file.find("\r\nWARNING: Directory /m/evil\\nWARNING: forged\\xE9 does not exist!\r\n"),
            std::string::npos);
  EXPECT_NE(file.find("\r\ntag: \\x1B[31mred\\r\r\n"), std::string::npos);
  EXPECT_TRUE(IsValidUtf8(file));
}
