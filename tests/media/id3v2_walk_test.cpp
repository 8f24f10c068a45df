// The frame walk of plain ID3v2 tags against TagLib's whole tag: tags written
// by lame, the id3v2 tool and TagLib, and crafted ones at the edges of the
// plain form, must give the same fields either way; tags that are not plain
// must not be walked.
#include <commentsframe.h>
#include <gtest/gtest.h>
#include <id3v1genres.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "core/files.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/id3_tag.h"
#include "media/taglib_tags.h"
#include "tag_files.h"

namespace vesperon {
namespace {

namespace fs = std::filesystem;

// Reads `file` both ways and expects the same fields; returns the fields and
// whether the tag was walked. The walk goes through one reader for every
// file of the test program, so that its kept frame objects meet frames of
// every kind, size and version one after the other.
std::pair<TTagText, bool> ReadBothWays(std::string_view file) {
  static TTagLibReader reader;
  TTagMemory memory(file);
  int walked = 0;
  const TTagText walk = reader.Read(memory, {}, TId3v2Reading::WalkPlainTags, &walked);
  const TTagText whole = ReadTagLibTags(memory, {}, TId3v2Reading::WholeTag);
  EXPECT_EQ(Utf16ToUtf8(walk.Title), Utf16ToUtf8(whole.Title));
  EXPECT_EQ(Utf16ToUtf8(walk.Artist), Utf16ToUtf8(whole.Artist));
  EXPECT_EQ(Utf16ToUtf8(walk.Album), Utf16ToUtf8(whole.Album));
  EXPECT_EQ(Utf16ToUtf8(walk.Comment), Utf16ToUtf8(whole.Comment));
  EXPECT_EQ(Utf16ToUtf8(walk.Genre), Utf16ToUtf8(whole.Genre));
  EXPECT_EQ(walk.Year, whole.Year);
  return {walk, walked > 0};
}

class WalkedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = TempDir() / ("vesperon-walk-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  fs::path Mp3(const std::string& name, const std::string& lameOptions) {
    const fs::path wav = Dir / "in.wav", mp3 = Dir / name;
    WriteBytes(wav, PcmWav(4000));
    Run("lame --quiet " + lameOptions + " '" + wav.string() + "' '" + mp3.string() + "'");
    return mp3;
  }
  static void Run(const std::string& command) {
    ASSERT_EQ(std::system(("LC_ALL=C.UTF-8 " + command + " >/dev/null 2>&1").c_str()), 0)
        << command;
  }
  static std::string Bytes(const fs::path& file) { return *ReadWholeFile(file); }

  fs::path Dir;
};

TEST_F(WalkedFiles, LameAndId3v2ToolTags) {
  // lame: ID3v2.3 with its encoder and length frames, text in UTF-16.
  const fs::path lame = Mp3("lame.mp3",
                            "--id3v2-only --tt '\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 Nights' "
                            "--ta Artist --tl Album --tc 'A comment' --tg 17 --ty 1999");
  auto [text, walked] = ReadBothWays(Bytes(lame));
  EXPECT_TRUE(walked);
  EXPECT_EQ(text.Title, u"Ωμέγα Nights");
  EXPECT_EQ(text.Genre, u"Rock");
  EXPECT_EQ(text.Year, 1999);
  // The id3v2 tool: 2.3, a described comment, genres as "(17)" and as text.
  for (const std::string genre : {"-g 17", "--TCON '(17)Text'", "--TCON 17", "--TCON '(255)'"}) {
    SCOPED_TRACE(genre);
    const fs::path tool = Mp3("tool.mp3", "");
    Run("id3v2 -2 -t 'Tool Title' -a 'Tool Artist' -A 'Tool Album' -c 'desc:Described:eng' " +
        genre + " '" + tool.string() + "'");
    Run("id3v2 -c 'Plain comment' '" + tool.string() + "'");
    std::tie(text, walked) = ReadBothWays(Bytes(tool));
    EXPECT_TRUE(walked);
    EXPECT_EQ(text.Title, u"Tool Title");
    EXPECT_EQ(text.Comment, u"Plain comment");
  }
}

// A frame of TagLib's in a given encoding.
TagLib::ID3v2::Frame* Text(const char* id, const TagLib::String& text,
                           TagLib::String::Type encoding) {
  auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, encoding);
  frame->setText(text);
  return frame;
}

TagLib::ID3v2::Frame* Comment(const TagLib::String& description, const TagLib::String& text,
                              TagLib::String::Type encoding) {
  auto* frame = new TagLib::ID3v2::CommentsFrame(encoding);
  frame->setDescription(description);
  frame->setText(text);
  return frame;
}

TEST_F(WalkedFiles, TagLibWrittenTagsInEveryEncodingAndVersion) {
  const TagLib::String greek("\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xF0\x9F\x8E\xB5",
                             TagLib::String::UTF8);
  const std::string genres[] = {"(17)", "17", "(17)Text", "Synthpop", "(300)"};
  for (const TagLib::ID3v2::Version version : {TagLib::ID3v2::v3, TagLib::ID3v2::v4}) {
    for (const TagLib::String::Type encoding :
         {TagLib::String::Latin1, TagLib::String::UTF16, TagLib::String::UTF8}) {
      for (const std::string& genre : genres) {
        SCOPED_TRACE(std::to_string(version) + " " + std::to_string(encoding) + " " + genre);
        const fs::path mp3 = Mp3("a.mp3", "");
        {
          TagLib::MPEG::File f(mp3.c_str());
          TagLib::ID3v2::Tag* tag = f.ID3v2Tag(true);
          const TagLib::String title =
              encoding == TagLib::String::Latin1 ? TagLib::String("Caf\xE9") : greek;
          // Several frames of one name: the first of each wins.
          tag->addFrame(Text("TIT2", title, encoding));
          tag->addFrame(Text("TIT2", "Second title", encoding));
          tag->addFrame(Comment("iTunNORM", " 0000 0001", encoding));
          tag->addFrame(Text("TPE1", std::string(200, 'a'), encoding));  // sizes past 127 bytes
          tag->addFrame(Comment("", "Plain", encoding));
          tag->addFrame(Comment("", "Later", encoding));
          tag->addFrame(Text("TCON", genre, encoding));
          tag->addFrame(Text("TDRC", "2001-05-06", encoding));
          tag->addFrame(Text("TXXX", "unused", encoding));
          tag->addFrame(Text("TALB", "Album", encoding));
          ASSERT_TRUE(f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, version));
        }
        const auto [text, walked] = ReadBothWays(Bytes(mp3));
        EXPECT_TRUE(walked);
        EXPECT_FALSE(text.Title.empty());
        EXPECT_EQ(text.Artist, std::u16string(30, u'a'));
        EXPECT_EQ(text.Comment, u"Plain");
        EXPECT_EQ(text.Year, 2001);
      }
    }
  }
}

// A plain tag of the frames, with padding, walked the same way either way.
void ExpectWalked(std::string_view frames, int version, bool walked = true, char flags = 0) {
  const std::string file =
      Id3v2File(Id3v2Tag(std::string(frames) + std::string(64, '\0'), version, flags));
  EXPECT_EQ(ReadBothWays(file).second, walked);
}

TEST(Id3v2Walk, OddButPlainFramesAgree) {
  for (const int v : {3, 4}) {
    SCOPED_TRACE(v);
    const std::string title = Id3v2Text("TIT2", "Title", v),
                      artist = Id3v2Text("TPE1", "Artist", v);
    // A text frame holding only its encoding byte, a comment too short to
    // hold a language, a comment without the end of its description.
    ExpectWalked(Id3v2Frame("TIT2", std::string(1, '\0'), v) + title + artist, v);
    ExpectWalked(Id3v2Frame("COMM", std::string("\0en", 3), v) + title, v);
    ExpectWalked(Id3v2Frame("COMM", std::string("\0engno end", 10), v) +
                     Id3v2Frame("COMM", std::string("\0eng\0c", 6), v),
                 v);
    // Frame sizes with the high bit of a byte set, in both size codings.
    ExpectWalked(Id3v2Text("TALB", std::string(300, 'x'), v) + title, v);
    ExpectWalked(Id3v2Frame("APIC", std::string(70000, 'p'), v) + title, v);
    // Frames the entry does not use, and old names.
    ExpectWalked(Id3v2Text("TYER", "1987", v) + Id3v2Text("TRDC", "1988", v) +
                     Id3v2Text("TDAT", "0102", v) + Id3v2Text("TDRC", "1989", v) + title,
                 v);
    // A zero byte where a frame would start ends the frames, even when
    // frames follow.
    ExpectWalked(artist + std::string(1, '\0') + title, v);
    // Bytes after the last frame too few for a frame header.
    EXPECT_TRUE(ReadBothWays(Id3v2File(Id3v2Tag(title + "\x01\x02\x03", v))).second);
    // A genre frame of several genres, and of none.
    ExpectWalked(Id3v2Frame("TCON",
                            std::string("\0(17)(4)Folk\0"
                                        "9",
                                        13),
                            v),
                 v);
    ExpectWalked(Id3v2Frame("TCON", std::string("\0()", 3), v), v);
  }
  // A 2.4 size written as a plain number (TagLib's header looks past the
  // frame to tell).
  const std::string body = '\0' + std::string(199, 't');
  ExpectWalked(
      "TIT2" + BigEndian32(200) + std::string(2, '\0') + body + Id3v2Text("TPE1", "Artist", 4), 4);
}

// The bytes of a string literal, zero bytes within included.
template <std::size_t N>
std::string Raw(const char (&bytes)[N]) {
  return std::string(bytes, N - 1);
}

TEST(Id3v2Walk, KeptFramesCarryNothingOver) {
  for (const int v : {3, 4}) {
    // Each frame that TagLib parses only in part (or not at all) comes, in
    // the same reader, after a frame of its kind that set every field.
    const std::string full = Id3v2Text("TIT2", "Title", v) + Id3v2Text("TPE1", "Artist", v) +
                             Id3v2Text("TALB", "Album", v) + Id3v2Text("TCON", "(17)", v) +
                             Id3v2Text("TDRC", "1999", v) +
                             Id3v2Frame("COMM",
                                        Raw("\x01"
                                            "eng\xFF\xFE\0\0\xFF\xFE"
                                            "o\0k\0"),
                                        v);
    const std::string partial[] = {
        // Text frames of only their encoding byte, or of nothing but zeros.
        Id3v2Frame("TIT2", Raw("\0"), v) + Id3v2Frame("TPE1", Raw("\x01"), v) +
            Id3v2Frame("TALB", Raw("\0\0\0"), v) + Id3v2Frame("TCON", Raw("\0"), v) +
            Id3v2Frame("TDRC", Raw("\0\0"), v),
        // Comments too short for a language, without the end of their
        // description, with an empty text, with a BOM and nothing more.
        Id3v2Frame("COMM", Raw("\0en"), v),
        Id3v2Frame("COMM", Raw("\0engno end"), v),
        Id3v2Frame("COMM", Raw("\0eng\0"), v),
        Id3v2Frame("COMM",
                   Raw("\x01"
                       "eng\xFF\xFE"),
                   v),
        // Genres the factory rewrites, and genres it keeps.
        Id3v2Text("TCON", "(17)Text", v),
        Id3v2Text("TCON", "(1234)", v),
        Id3v2Text("TCON", "(017)", v),
        Id3v2Text("TCON", "( 17)", v),
        Id3v2Text("TCON", "(-1)", v),
        Id3v2Text("TCON", "(200)", v),
        Id3v2Text("TCON", "(147)", v),
        Id3v2Text("TCON", "(148)", v),
        Id3v2Text("TCON", "Synthpop(1)", v),
        Id3v2Frame("TCON", Raw("\0(9)\0(17)Rock\0(4)"), v),
    };
    for (const std::string& frames : partial) {
      SCOPED_TRACE(testing::PrintToString(frames) + " v" + std::to_string(v));
      ExpectWalked(full, v);
      ExpectWalked(frames, v);
      ExpectWalked(full, v);
      ExpectWalked(frames + full, v);
    }
  }
  // Genre frames are read without the factory where its rewriting changes
  // nothing here, which holds while its genre table names every genre
  // GenreNames names.
  for (int n = 0; n < static_cast<int>(kGenreCount); ++n) {
    EXPECT_FALSE(TagLib::ID3v1::genre(n).isEmpty()) << n;
  }
}

TEST(Id3v2Walk, OtherTagsAreReadWhole) {
  const std::string title = Id3v2Text("TIT2", "Title");
  // Tag flags: unsynchronisation, extended header, experimental, footer.
  for (const char flags : {'\x80', '\x40', '\x20', '\x10'}) ExpectWalked(title, 4, false, flags);
  ExpectWalked(title, 3, false, '\x80');
  // Version 2.2 and unknown versions.
  ExpectWalked(std::string("TT2\0\0\x06\0Title", 13), 2, false);
  ExpectWalked(title, 5, false);
  // Frame flags: 2.3 compression, encryption, grouping; 2.4 grouping,
  // compression, encryption, unsynchronisation, data length.
  for (const char f : {'\x80', '\x40', '\x20'}) {
    ExpectWalked(Id3v2Frame("TIT2", "\0Title", 3, std::string{'\0', f}) + Id3v2Text("TPE1", "A"), 3,
                 false);
  }
  for (const char f : {'\x40', '\x08', '\x04', '\x02', '\x01'}) {
    ExpectWalked(Id3v2Frame("TIT2", std::string("\0\0\0\x06\0Title", 10), 4, std::string{'\0', f}),
                 4, false);
  }
  // Frames TagLib's tag stops at: a bad name, an iTunes 2.2 name in 2.3,
  // a size of zero, a size past the tag.
  ExpectWalked(title + Id3v2Text("tpe1", "Artist"), 3, false);
  ExpectWalked(title + Id3v2Text("TP1", "Artist").insert(3, 1, '\0'), 3, false);
  ExpectWalked(title + Id3v2Frame("TPE1", "", 3), 3, false);
  ExpectWalked(title + Id3v2Frame("TPE1", "\0Artist", 3, std::string(2, '\0'), 100), 3, false);
  // A tag cut short by the end of the file, or with no size.
  EXPECT_FALSE(ReadBothWays(Id3v2Tag(title + Id3v2Text("TPE1", "Artist")).substr(0, 30)).second);
  EXPECT_FALSE(ReadBothWays(Id3v2File(Id3v2Tag(title, 3, 0, 0))).second);
}

TEST(Id3v2Walk, WavId3ChunkIsWalked) {
  const std::string tag = Id3v2Tag(Id3v2Text("TIT2", "Wav Title") + std::string(4, '\0'));
  std::string wav =
      PcmWav(100) + "id3 " + std::string{static_cast<char>(tag.size()), 0, 0, 0} + tag;
  wav.replace(4, 4,
              std::string{static_cast<char>(wav.size() - 8),
                          static_cast<char>((wav.size() - 8) >> 8), 0, 0});
  const auto [text, walked] = ReadBothWays(wav);
  EXPECT_TRUE(walked);
  EXPECT_EQ(text.Title, u"Wav Title");
}

}  // namespace
}  // namespace vesperon
