#include <gtest/gtest.h>

#include "core/help.h"
#include "core/params.h"
#include "core/random.h"

#include <algorithm>

using namespace vesperon;

TEST(Params, OptionsMatchInAnyCaseAndShortForms) {
  for (const char* arg : {"-s", "-S", "--silent", "--SILENT", "--Silent"}) {
    EXPECT_TRUE(ParseCommandLine({arg}).Silent) << arg;
  }
  const TParams p = ParseCommandLine({"-D", "-H", "--UNINSTALL", "--LogScript", "-F", "-U"});
  EXPECT_TRUE(p.Debug && p.Help && p.Uninstall && p.LogScript && p.Force && p.Update);
  EXPECT_FALSE(p.Silent);
  EXPECT_TRUE(p.FileName.empty());
  // Near misses are plain arguments, not options.
  EXPECT_EQ(ParseCommandLine({"--silentx"}).FileName, u"--silentx");
  EXPECT_FALSE(ParseCommandLine({"-debug"}).Debug);
}

TEST(Params, ValuesComeFromFixedPositionsAsTyped) {
  const TParams p = ParseCommandLine(
      {"--DISPLAY=:1.0", "--CompileSkin=My Skin.XML", "--AddDir=/Music/\xc3\x84rzte"});
  EXPECT_EQ(p.Display, ":1.0");
  EXPECT_EQ(p.CompileSkin, u"My Skin.XML");
  EXPECT_EQ(p.AddDir, u"/Music/\u00c4rzte");
  // The "=" is not demanded: whatever stands there is skipped.
  EXPECT_EQ(ParseCommandLine({"--adddir:/x"}).AddDir, u"/x");
  EXPECT_EQ(ParseCommandLine({"--display"}).Display, "");
  EXPECT_EQ(ParseCommandLine({"--compileskin"}).CompileSkin, u"");
  // A prefix option wins over whatever its value looks like.
  const TParams q = ParseCommandLine({"--display=--help"});
  EXPECT_EQ(q.Display, "--help");
  EXPECT_FALSE(q.Help);
}

TEST(Params, LaterPlainArgumentWins) {
  const TParams p = ParseCommandLine({"first.mp3", "-d", "Second \xc3\xa9.MP3"});
  EXPECT_EQ(p.FileName, u"Second \u00e9.MP3");
  EXPECT_TRUE(p.Debug);
  EXPECT_TRUE(ParseCommandLine({}).FileName.empty());
}

TEST(Help, TextLineByLine) {
  const std::vector<std::string> lines = HelpLines();
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "Vesperon 4.0.8 ALPHA 2 - Help");
  EXPECT_EQ(lines[2], "vesperon [options] [file]");
  EXPECT_EQ(lines[9], "--display=DISPLAY   use \"DISPLAY\" as the X11 display");
  EXPECT_EQ(lines[13], "");
  EXPECT_EQ(lines[15],
            "--adddir=DIR        adds the directory DIR and all subfolders to the media-db");
  EXPECT_EQ(lines[16], "");
}

TEST(Random, StaysInRangeAndRepeatsFromASeed) {
  RandomSeed(12345);
  std::vector<uint32_t> first;
  for (int i = 0; i < 1000; ++i) {
    first.push_back(Random(7));
    ASSERT_LT(first.back(), 7u);
  }
  RandomSeed(12345);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(Random(7), first[i]);
  // Every value of a small range comes up.
  for (uint32_t v = 0; v < 7; ++v) EXPECT_NE(std::find(first.begin(), first.end(), v), first.end());
  EXPECT_EQ(Random(0), 0u);
  // Days since 1899-12-30: 2020-01-01 is day 43831.
  EXPECT_GT(NowAsDateTime(), 43831.0);
}
