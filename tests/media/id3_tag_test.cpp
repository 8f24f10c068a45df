// The ID3v1 tag reader: field ranges, padding, years, genres, text decoding,
// files written by an outside tagging tool and damaged inputs.
#include "media/id3_tag.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "core/files.h"
#include "core/paths.h"
#include "core/text.h"
#include "tag_files.h"

namespace vesperon {
namespace {

namespace fs = std::filesystem;

TID3TagReader ReadTag(const std::string& fileBytes) {
  TID3TagReader r;
  std::istringstream in(fileBytes);
  r.ReadStream(in);
  return r;
}

class TagFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = TempDir() / ("vesperon-tags-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }
  fs::path Dir;
};

TEST(TagReader, ReadsEveryFieldFromItsByteRange) {
  const TID3TagReader r = ReadTag(std::string(500, 'x') + MakeTag({.Title = "Title",
                                                                   .Artist = "Artist",
                                                                   .Album = "Album",
                                                                   .Year = "1987",
                                                                   .Comment = "Comment",
                                                                   .Genre = 17}));
  EXPECT_EQ(r.Title, u"Title");
  EXPECT_EQ(r.Artist, u"Artist");
  EXPECT_EQ(r.Album, u"Album");
  EXPECT_EQ(r.Year, 1987);
  EXPECT_EQ(r.Comment, u"Comment");
  EXPECT_EQ(r.Genre, u"Rock");
}

TEST(TagReader, FullWidthFieldsEndAtTheirBoundaries) {
  const std::string t30(30, 'T'), a30(30, 'A'), l30(30, 'L'), c28(28, 'C');
  // Bytes 125 and 126 (the 1.1 zero byte and track) are not comment text.
  std::string tag = MakeTag(
      {.Title = t30, .Artist = a30, .Album = l30, .Year = "2001", .Comment = c28, .Genre = 0});
  tag[125] = 'X';
  tag[126] = 'Y';
  const TID3TagReader r = ReadTag(tag);
  EXPECT_EQ(r.Title, Utf8ToUtf16(t30));
  EXPECT_EQ(r.Artist, Utf8ToUtf16(a30));
  EXPECT_EQ(r.Album, Utf8ToUtf16(l30));
  EXPECT_EQ(r.Comment, Utf8ToUtf16(c28));
  EXPECT_EQ(r.Genre, u"Blues");
}

TEST(TagReader, NulPaddingGoesSpacePaddingStays) {
  EXPECT_EQ(ReadTag(MakeTag({.Title = "Song", .Pad = '\0'})).Title, u"Song");
  EXPECT_EQ(ReadTag(MakeTag({.Title = "Song", .Pad = ' '})).Title,
            u"Song" + std::u16string(26, u' '));
  // Controls inside the text are removed wherever they are.
  EXPECT_EQ(ReadTag(MakeTag({.Title = "a\tb\r\nc\x1f"
                                      "d"}))
                .Title,
            u"abcd");
}

TEST(TagReader, YearNeedsFourAsciiDigits) {
  EXPECT_EQ(ReadTag(MakeTag({.Year = "198 "})).Year, 0);
  EXPECT_EQ(ReadTag(MakeTag({.Year = "19a5"})).Year, 0);
  EXPECT_EQ(ReadTag(MakeTag({.Year = "198"})).Year, 0);  // NUL padded
  EXPECT_EQ(ReadTag(MakeTag({.Year = "-198"})).Year, 0);
  EXPECT_EQ(ReadTag(MakeTag({.Year = "0000"})).Year, 0);
  EXPECT_EQ(ReadTag(MakeTag({.Year = "0042"})).Year, 42);
  EXPECT_EQ(ReadTag(MakeTag({.Year = "9999"})).Year, 9999);
}

TEST(TagReader, GenreTableAndBytesPastIt) {
  EXPECT_EQ(GenreNames.size(), 148u);
  EXPECT_EQ(ReadTag(MakeTag({.Genre = 147})).Genre, u"Synthpop");
  EXPECT_EQ(ReadTag(MakeTag({.Genre = 133})).Genre, u"Afro-Punk");
  EXPECT_EQ(ReadTag(MakeTag({.Genre = 79})).Genre, u"Hard Rock");
  EXPECT_EQ(ReadTag(MakeTag({.Genre = 80})).Genre, u"Folk");
  EXPECT_EQ(ReadTag(MakeTag({.Genre = 148})).Genre, u"");
  EXPECT_EQ(ReadTag(MakeTag({.Title = "x", .Genre = 255})).Genre, u"");
  EXPECT_EQ(ReadTag(MakeTag({.Title = "x", .Genre = 255})).Title, u"x");
  // The spellings that end up in stored databases.
  EXPECT_EQ(GenreNames[10], u"New age");
  EXPECT_EQ(GenreNames[67], u"Psychadelic");
  EXPECT_EQ(GenreNames[118], u"Rhytmic Soul");
  EXPECT_EQ(GenreNames[141], u"Cristian Rock");
}

TEST(TagReader, NoTagMeansEmptyFields) {
  EXPECT_EQ(ReadTag(MakeTag({.Title = "x", .Year = "1999", .Genre = 3}, "tag")).Title, u"");
  EXPECT_EQ(ReadTag(MakeTag({.Title = "x", .Year = "1999", .Genre = 3}, "TAg")).Year, 0);
  // Shorter than a tag: nothing is read, not even the "TAG" it starts with.
  const std::string tag = MakeTag({.Title = "x", .Genre = 3});
  for (std::size_t n : {0u, 3u, 127u}) {
    const TID3TagReader r = ReadTag(tag.substr(0, n));
    EXPECT_EQ(r.Title, u"");
    EXPECT_EQ(r.Genre, u"");
  }
  // A tag that is not at the very end does not count.
  EXPECT_EQ(ReadTag(tag + "x").Genre, u"");
}

TEST(TagReader, ReadingAgainClearsTheLastTag) {
  TID3TagReader r;
  std::istringstream tagged(MakeTag({.Title = "x", .Year = "1999", .Comment = "c", .Genre = 3}));
  r.ReadStream(tagged);
  EXPECT_EQ(r.Title, u"x");
  std::istringstream untagged(std::string(200, 'z'));
  r.ReadStream(untagged);
  EXPECT_EQ(r.Title, u"");
  EXPECT_EQ(r.Comment, u"");
  EXPECT_EQ(r.Year, 0);
  EXPECT_EQ(r.Genre, u"");
}

TEST(TagReader, TextIsUtf8WhenValidElseWindows1252) {
  EXPECT_EQ(ReadTag(MakeTag({.Title = "Gr\xC3\xBC\xC3\x9F"
                                      "e"}))
                .Title,
            u"Grüße");
  EXPECT_EQ(ReadTag(MakeTag({.Title = "Gr\xFC\xDF"
                                      "e"}))
                .Title,
            u"Grüße");
  EXPECT_EQ(ReadTag(MakeTag({.Title = "\x80 \x93q\x94"})).Title, u"€ “q”");
  // Latin-1 text that happens to end in a lead byte stays Windows-1252.
  EXPECT_EQ(ReadTag(MakeTag({.Title = std::string(29, 'a') + "\xE9"})).Title,
            std::u16string(29, u'a') + u"é");
}

TEST(TagReader, Utf8CutByTheFieldEndDropsOnlyThePartialCharacter) {
  // 28 bytes of "ä" pairs plus the first byte of "€" (3 bytes) and one more.
  std::string title;
  for (int i = 0; i < 14; ++i) title += "\xC3\xA4";
  title += "\xE2\x82";
  const TID3TagReader r = ReadTag(MakeTag({.Title = title}));
  EXPECT_EQ(r.Title, std::u16string(14, u'ä'));
}

TEST_F(TagFiles, ReadFileHandlesMissingShortAndSpecialFiles) {
  TID3TagReader r;
  r.Title = u"stale";
  r.ReadFile(U16FromPath(Dir / "missing.mp3"));
  EXPECT_EQ(r.Title, u"");

  WriteBytes(Dir / "short.mp3", "TAGabc");
  r.ReadFile(U16FromPath(Dir / "short.mp3"));
  EXPECT_EQ(r.Title, u"");

  r.ReadFile(U16FromPath(Dir));  // a directory
  EXPECT_EQ(r.Title, u"");

  ASSERT_EQ(::mkfifo((Dir / "pipe.mp3").c_str(), 0600), 0);
  r.ReadFile(U16FromPath(Dir / "pipe.mp3"));  // must not block
  EXPECT_EQ(r.Title, u"");

  WriteTaggedFile(Dir / "caf\xE9.mp3", {.Title = "Latin-1 name"});
  r.ReadFile(Utf8ToUtf16((Dir / "caf\xE9.mp3").string()));
  EXPECT_EQ(r.Title, u"Latin-1 name");
}

TEST_F(TagFiles, ReadsTagsWrittenByTheId3v2Tool) {
  if (std::system("id3v2 --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "id3v2 is not installed";
  const fs::path file = Dir / "tool.mp3";
  WriteBytes(file, std::string(1000, '\0'));
  const std::string cmd =
      "LC_ALL=C.UTF-8 id3v2 -1 -a '\xC3\x84rtist' -A 'The Album' -t "
      "'A title that is longer than thirty bytes' -c 'Comment' -y 1999 -g 17 -T 5 '" +
      file.string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_EQ(fs::file_size(file), 1128u);
  TID3TagReader r;
  r.ReadFile(U16FromPath(file));
  EXPECT_EQ(r.Artist, u"Ärtist");  // the tool writes Latin-1
  EXPECT_EQ(r.Album, u"The Album");
  EXPECT_EQ(r.Title, u"A title that is longer than th");
  EXPECT_EQ(r.Comment, u"Comment");
  EXPECT_EQ(r.Year, 1999);
  EXPECT_EQ(r.Genre, u"Rock");

  // Retagging replaces the tag in place; the reader sees the new one.
  ASSERT_EQ(
      std::system(("id3v2 -1 -t Other -g 147 '" + file.string() + "' >/dev/null 2>&1").c_str()), 0);
  r.ReadFile(U16FromPath(file));
  EXPECT_EQ(r.Title, u"Other");
  EXPECT_EQ(r.Genre, u"Synthpop");
}

}  // namespace
}  // namespace vesperon
