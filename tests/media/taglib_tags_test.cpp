// The tag reader's second stage: files tagged by lame, the id3v2 tool and
// TagLib itself, the precedence of the ID3v1 tag, WAV chunks, and damaged
// ID3v2 tags (cut, lying sizes, unsynchronisation, compression, bad text).
#include <apetag.h>
#include <commentsframe.h>
#include <gtest/gtest.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <infotag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>
#include <unistd.h>
#include <wavfile.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>

#include "core/files.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/id3_tag.h"
#include "media/mediadb.h"
#include "media/taglib_tags.h"
#include "tag_files.h"

namespace vesperon {
namespace {

namespace fs = std::filesystem;

TID3TagReader ReadBytes(const std::string& file) {
  TID3TagReader r;
  r.ReadBytes(file);
  return r;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

void RunTool(const std::string& command) {
  ASSERT_EQ(std::system(("LC_ALL=C.UTF-8 " + command + " >/dev/null 2>&1").c_str()), 0) << command;
}

class TaggedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = TempDir() / ("vesperon-taglib-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // An MP3 encoded by lame from a short silent WAV, with lame's options.
  fs::path Lame(const std::string& name, const std::string& options) {
    const fs::path wav = Dir / "in.wav", mp3 = Dir / name;
    WriteBytes(wav, PcmWav(4000));
    RunTool("lame --quiet " + options + " " + Quote(wav) + " " + Quote(mp3));
    return mp3;
  }
  TID3TagReader Read(const fs::path& file) const {
    TID3TagReader r;
    r.ReadFile(U16FromPath(file));
    return r;
  }

  fs::path Dir;
};

TEST_F(TaggedFiles, LameId3v2OnlyGivesEveryField) {
  const fs::path mp3 = Lame("a.mp3",
                            "--id3v2-only --tt 'A title longer than thirty characters' --ta Artist "
                            "--tl Album --tc 'A comment' --tg 17 --ty 1999");
  const TID3TagReader r = Read(mp3);
  EXPECT_EQ(r.Title, u"A title longer than thirty cha");  // cut as an ID3v1 field would be
  EXPECT_EQ(r.Artist, u"Artist");
  EXPECT_EQ(r.Album, u"Album");
  EXPECT_EQ(r.Comment, u"A comment");
  EXPECT_EQ(r.Genre, u"Rock");
  EXPECT_EQ(r.Year, 1999);
  // lame writes free-text genres as they are.
  EXPECT_EQ(Read(Lame("b.mp3", "--id3v2-only --tg 'My Own'")).Genre, u"My Own");
}

TEST_F(TaggedFiles, LameId3v1OnlyIsReadAsBefore) {
  const fs::path mp3 = Lame("a.mp3", "--id3v1-only --tt Title --ta Artist --tg 9");
  const TID3TagReader r = Read(mp3);
  EXPECT_EQ(r.Title, u"Title");
  EXPECT_EQ(r.Artist, u"Artist");
  EXPECT_EQ(r.Genre, u"Metal");
}

TEST_F(TaggedFiles, Id3v2ToolWritesVersion23) {
  const fs::path mp3 = Lame("a.mp3", "");
  RunTool("id3v2 -2 -t 'Tool Title' -a 'Tool Artist' -A 'Tool Album' -c 'Tool comment' -g 17 " +
          Quote(mp3));
  const TID3TagReader r = Read(mp3);
  EXPECT_EQ(r.Title, u"Tool Title");
  EXPECT_EQ(r.Artist, u"Tool Artist");
  EXPECT_EQ(r.Album, u"Tool Album");
  EXPECT_EQ(r.Comment, u"Tool comment");
  EXPECT_EQ(r.Genre, u"Rock");  // the tool writes "(17)"
}

// A title written by TagLib in ID3v2.4 as UTF-8, or in 2.3 (as UTF-16).
void WriteTagLibTitle(const fs::path& file, const TagLib::String& title,
                      TagLib::ID3v2::Version version) {
  TagLib::MPEG::File f(file.c_str());
  TagLib::ID3v2::Tag* tag = f.ID3v2Tag(true);
  auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF8);
  frame->setText(title);
  tag->addFrame(frame);
  tag->setArtist("TagLib Artist");
  tag->setGenre("Synthpop");
  ASSERT_TRUE(f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, version));
}

TEST_F(TaggedFiles, TagLibUtf8TitleSurvivesTheDatabase) {
  // Greek, CJK and a character outside the BMP (two UTF-16 units).
  const std::string title =
      "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x8E\xB5";
  const fs::path mp3 = Lame("a.mp3", "");
  WriteTagLibTitle(mp3, TagLib::String(title, TagLib::String::UTF8), TagLib::ID3v2::v4);
  ASSERT_EQ(ReadWholeFile(mp3)->substr(0, 4), std::string("ID3\x04", 4));

  TMediaDB db;
  ASSERT_TRUE(db.AddFile(U16FromPath(mp3)));
  EXPECT_EQ(db.GetEntryPtr(0)->Title, Utf8ToUtf16(title));
  EXPECT_EQ(db.GetEntryPtr(0)->Artist, u"TagLib Artist");
  EXPECT_EQ(db.GetEntryPtr(0)->Genre, u"Synthpop");
  const fs::path saved = Dir / "media.db";
  db.SaveToFile(U16FromPath(saved));
  TMediaDB loaded;
  loaded.LoadFromFile(U16FromPath(saved));
  ASSERT_EQ(loaded.Count(), 1);
  EXPECT_EQ(loaded.GetEntryPtr(0)->Title, Utf8ToUtf16(title));

  WriteTagLibTitle(mp3, TagLib::String(title, TagLib::String::UTF8), TagLib::ID3v2::v3);
  ASSERT_EQ(ReadWholeFile(mp3)->substr(0, 4), std::string("ID3\x03", 4));
  EXPECT_EQ(Read(mp3).Title, Utf8ToUtf16(title));
}

TEST_F(TaggedFiles, AnId3v1TagWinsWholly) {
  const fs::path mp3 = Lame("a.mp3", "--tt 'Both Title' --ta 'Both Artist' --tl 'Both Album'");
  const std::string bytes = *ReadWholeFile(mp3);
  ASSERT_EQ(bytes.substr(0, 3), "ID3");
  ASSERT_EQ(bytes.substr(bytes.size() - 128, 3), "TAG");
  {
    TagLib::MPEG::File f(mp3.c_str());
    f.ID3v2Tag()->setTitle("Only In Version 2");
    f.ID3v2Tag()->setComment("v2 comment");
    ASSERT_TRUE(f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                       TagLib::File::DoNotDuplicate));
  }
  // The entry is the one the ID3v1 tag alone gives, field for field.
  const TID3TagReader both = Read(mp3);
  const std::string after = *ReadWholeFile(mp3);
  const TID3TagReader v1 = ReadBytes(after.substr(after.size() - 128));
  EXPECT_EQ(both.Title, u"Both Title");
  EXPECT_EQ(both.Title, v1.Title);
  EXPECT_EQ(both.Artist, v1.Artist);
  EXPECT_EQ(both.Album, v1.Album);
  EXPECT_EQ(both.Comment, u"");
  EXPECT_EQ(both.Genre, v1.Genre);
}

TEST_F(TaggedFiles, ApeTagOfAnMpegFile) {
  const fs::path mp3 = Lame("a.mp3", "");
  {
    TagLib::MPEG::File f(mp3.c_str());
    f.APETag(true)->setTitle("Ape Title");
    f.APETag()->setGenre("(147)");
    ASSERT_TRUE(f.save(TagLib::MPEG::File::APE, TagLib::File::StripOthers));
  }
  TID3TagReader r = Read(mp3);
  EXPECT_EQ(r.Title, u"Ape Title");
  EXPECT_EQ(r.Genre, u"Synthpop");
  // With an ID3v2 tag too, its fields come first; the APE tag fills the rest.
  {
    TagLib::MPEG::File f(mp3.c_str());
    f.ID3v2Tag(true)->setTitle("Id3 Title");
    ASSERT_TRUE(f.save(TagLib::MPEG::File::ID3v2 | TagLib::MPEG::File::APE,
                       TagLib::File::StripOthers, TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate));
  }
  r = Read(mp3);
  EXPECT_EQ(r.Title, u"Id3 Title");
  EXPECT_EQ(r.Genre, u"Synthpop");
}

TEST_F(TaggedFiles, WavInfoListAndId3Chunk) {
  const fs::path wav = Dir / "a.wav";
  WriteBytes(wav, PcmWav(800));
  {
    TagLib::RIFF::WAV::File f(wav.c_str());
    f.InfoTag()->setTitle("Info Title");
    f.InfoTag()->setArtist("Info Artist");
    f.InfoTag()->setGenre("17");
    ASSERT_TRUE(f.save(TagLib::RIFF::WAV::File::Info));
  }
  TID3TagReader r = Read(wav);
  EXPECT_EQ(r.Title, u"Info Title");
  EXPECT_EQ(r.Artist, u"Info Artist");
  EXPECT_EQ(r.Genre, u"Rock");
  {
    TagLib::RIFF::WAV::File f(wav.c_str());
    f.ID3v2Tag()->setTitle("Id3 Title");
    ASSERT_TRUE(f.save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripNone));
  }
  // The ID3 chunk comes first; the INFO list fills what it lacks.
  r = Read(wav);
  EXPECT_EQ(r.Title, u"Id3 Title");
  EXPECT_EQ(r.Artist, u"Info Artist");
}

TEST_F(TaggedFiles, FolderOfId3v2OnlyFilesFillsTheDatabase) {
  fs::create_directories(Dir / "music" / "disc 2");
  WriteBytes(Dir / "music" / "one.mp3",
             Id3v2File(Id3v2Tag(Id3v2Text("TIT2", "One") + Id3v2Text("TPE1", "Band"))));
  WriteBytes(
      Dir / "music" / "disc 2" / "two.MP3",
      Id3v2File(Id3v2Tag(Id3v2Text("TIT2", "Two", 4, 3) + Id3v2Text("TPE1", "Band", 4, 3), 4)));
  TMediaDB db;
  ASSERT_TRUE(db.AddDirectory(U16FromPath(Dir / "music"), true));
  const fs::path saved = Dir / "media.db";
  db.SaveToFile(U16FromPath(saved));
  TMediaDB loaded;
  loaded.LoadFromFile(U16FromPath(saved));
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded.GetEntryPtr(0)->Filename, U16FromPath(Dir / "music") + u"/disc 2/two.MP3");
  EXPECT_EQ(loaded.GetEntryPtr(0)->Title, u"Two");
  EXPECT_EQ(loaded.GetEntryPtr(0)->Artist, u"Band");
  EXPECT_EQ(loaded.GetEntryPtr(1)->Title, u"One");
  EXPECT_EQ(loaded.GetEntryPtr(1)->Artist, u"Band");
}

TEST(TagLibText, GenresByNumberOrText) {
  EXPECT_EQ(GenreFromText(u"17"), u"Rock");
  EXPECT_EQ(GenreFromText(u"(17)"), u"Rock");
  EXPECT_EQ(GenreFromText(u"147"), u"Synthpop");
  EXPECT_EQ(GenreFromText(u"010"), u"New age");
  EXPECT_EQ(GenreFromText(u"148"), u"");
  EXPECT_EQ(GenreFromText(u"(255)"), u"");
  EXPECT_EQ(GenreFromText(u"(17)Rock & Roll"), u"Rock & Roll");
  EXPECT_EQ(GenreFromText(u"1977"), u"1977");
  EXPECT_EQ(GenreFromText(u"(RX)"), u"(RX)");
  EXPECT_EQ(GenreFromText(u"Trip-Hop"), u"Trip-Hop");
  EXPECT_EQ(GenreFromText(u""), u"");
}

TEST(TagLibText, FitTagTextKeepsPairsAndDropsControls) {
  EXPECT_EQ(FitTagText(u"a\tb\r\nc", 30), u"abc");
  EXPECT_EQ(FitTagText(std::u16string(40, u'x'), 30), std::u16string(30, u'x'));
  const std::u16string note = u"\U0001F3B5";
  EXPECT_EQ(FitTagText(std::u16string(29, u'x') + note, 30), std::u16string(29, u'x'));
  EXPECT_EQ(FitTagText(std::u16string(28, u'x') + note, 30), std::u16string(28, u'x') + note);
  EXPECT_EQ(FitTagText(u"a\xD800z\xDC00", 30), u"a\uFFFDz\uFFFD");
}

TEST(TagLibVersions, Id3v22NamesAndGenres) {
  // ID3v2.2 frames carry three-letter names and three-byte sizes.
  auto frame = [](std::string_view id, std::string_view text) {
    return std::string(id) + std::string{0, 0, static_cast<char>(text.size() + 1)} + '\0' +
           std::string(text);
  };
  const TID3TagReader r = ReadBytes(Id3v2File(
      Id3v2Tag(frame("TT2", "Old Title") + frame("TP1", "Old Artist") + frame("TCO", "(17)"), 2)));
  EXPECT_EQ(r.Title, u"Old Title");
  EXPECT_EQ(r.Artist, u"Old Artist");
  EXPECT_EQ(r.Genre, u"Rock");
  // TagLib splits "(17)Text" in a genre frame into two genres first.
  EXPECT_EQ(ReadBytes(Id3v2File(Id3v2Tag(Id3v2Text("TCON", "(17)Text")))).Genre, u"Rock / Text");
  EXPECT_EQ(ReadBytes(Id3v2File(Id3v2Tag(Id3v2Text("TCON", "(17)Rock")))).Genre, u"Rock");
}

TEST(TagLibDamage, TextEncodings) {
  // Latin-1 frames: UTF-8 bytes when valid, else Windows-1252.
  EXPECT_EQ(ReadBytes(Id3v2File(Id3v2Tag(Id3v2Text("TIT2",
                                                   "Gr\xC3\xBC\xC3\x9F"
                                                   "e"))))
                .Title,
            u"Grüße");
  EXPECT_EQ(ReadBytes(Id3v2File(Id3v2Tag(Id3v2Text("TIT2", "\x80 caf\xE9")))).Title, u"€ café");
  // UTF-16 with an unpaired surrogate and an odd byte count.
  const std::string utf16(
      "\xFF\xFE"
      "a\0\x00\xD8"
      "b\0c",
      9);
  EXPECT_EQ(ReadBytes(Id3v2File(Id3v2Tag(Id3v2Text("TIT2", utf16, 3, 1)))).Title.substr(0, 3),
            u"a\uFFFDb");
  // Invalid UTF-8 in a 2.4 UTF-8 frame: a clear, empty title.
  const TID3TagReader bad = ReadBytes(Id3v2File(
      Id3v2Tag(Id3v2Text("TIT2", "ok\xC3(\xFF", 4, 3) + Id3v2Text("TPE1", "Artist", 4, 3), 4)));
  EXPECT_EQ(bad.Artist, u"Artist");
  EXPECT_TRUE(bad.Title.empty() || bad.Title.find(u'\uFFFD') != std::u16string::npos)
      << Utf16ToUtf8(bad.Title);
  // Multiple genres in one frame.
  EXPECT_EQ(
      ReadBytes(Id3v2File(Id3v2Tag(Id3v2Text("TCON", std::string("17\0Folk", 7), 4, 3), 4))).Genre,
      u"Rock / Folk");
}

TEST(TagLibDamage, CutAnywhereGivesAPrefixOfTheFields) {
  const std::string tag =
      Id3v2Tag(Id3v2Text("TIT2", "Title") + Id3v2Text("TPE1", "Artist") +
               Id3v2Frame("APIC", std::string(500, 'p')) + Id3v2Text("TALB", "Album"));
  const std::string file = Id3v2File(tag);
  for (std::size_t n = 0; n <= file.size(); ++n) {
    const TID3TagReader r = ReadBytes(file.substr(0, n));
    // A frame cut short keeps the text that is there.
    ASSERT_EQ(r.Title, std::u16string(u"Title").substr(0, r.Title.size())) << n;
    ASSERT_EQ(r.Album, std::u16string(u"Album").substr(0, r.Album.size())) << n;
    if (n >= tag.size()) {
      ASSERT_EQ(r.Album, u"Album") << n;
    }
  }
}

TEST(TagLibDamage, LyingSizes) {
  // A tag that claims far more than the file holds keeps what is there.
  const std::string frames = Id3v2Text("TIT2", "Title") + Id3v2Text("TPE1", "Artist");
  EXPECT_EQ(ReadBytes(Id3v2Tag(frames, 3, 0, 0x0FFFFFFF)).Artist, u"Artist");
  // A frame that claims more than the tag holds ends the frames there.
  const std::string lying =
      Id3v2Text("TIT2", "Title") + Id3v2Frame("TPE1", "\0Artist", 3, {"\0\0", 2}, 0x7FFFFFFF);
  const TID3TagReader r = ReadBytes(Id3v2File(Id3v2Tag(lying)));
  EXPECT_EQ(r.Title, u"Title");
  EXPECT_EQ(r.Artist, u"");
  // Sizes of zero, and a WAV whose chunks lie about their sizes.
  EXPECT_EQ(ReadBytes(Id3v2File(Id3v2Tag("", 3, 0, 0))).Title, u"");
  std::string wav = PcmWav(10);
  wav.replace(16, 4, "\xFF\xFF\xFF\x7F");
  EXPECT_EQ(ReadBytes(wav).Title, u"");
}

TEST(TagLibDamage, HugeTextFrameIsCut) {
  const TID3TagReader r =
      ReadBytes(Id3v2File(Id3v2Tag(Id3v2Text("TIT2", std::string(1 << 20, 'h')))));
  EXPECT_EQ(r.Title, std::u16string(30, u'h'));
}

TEST(TagLibDamage, UnsynchronisedTag) {
  // In a 2.3 tag with the unsynchronisation flag every 0xFF is followed by
  // a 0x00 that the reader removes.
  const std::string tag =
      Id3v2Tag(Id3v2Text("TIT2", std::string("a\xFF\0b", 4)), 3, static_cast<char>(0x80));
  EXPECT_EQ(ReadBytes(Id3v2File(tag)).Title, u"aÿb");
}

std::string Deflate(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                      reinterpret_cast<const Bytef*>(text.data()), text.size(), 9),
            Z_OK);
  out.resize(size);
  return out;
}

// A compressed 2.3 text frame: the inflated size, then the zlib stream.
std::string CompressedText(std::string_view id, const std::string& text) {
  return Id3v2Frame(id,
                    BigEndian32(static_cast<std::uint32_t>(text.size() + 1)) + Deflate('\0' + text),
                    3, {"\0\x80", 2});
}

TEST(TagLibDamage, CompressedFramesInflateWithinABudget) {
  // Letters that do not compress well: about 90 KiB compressed, past what a
  // tag may inflate, so the artist stays empty; later frames are still read.
  std::string noise;
  std::uint32_t x = 2463534242u;
  for (int i = 0; i < 150000; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    noise += static_cast<char>('a' + x % 26);
  }
  const std::string tag = Id3v2Tag(CompressedText("TIT2", "Small Title") +
                                   CompressedText("TPE1", noise) + Id3v2Text("TALB", "Album"));
  const TID3TagReader r = ReadBytes(Id3v2File(tag));
  EXPECT_EQ(r.Title, u"Small Title");
  EXPECT_EQ(r.Artist, u"");
  EXPECT_EQ(r.Album, u"Album");
  // 16 MiB of one letter deflate to 16 KiB: not inflated either.
  EXPECT_EQ(
      ReadBytes(Id3v2File(Id3v2Tag(CompressedText("TIT2", std::string(16 << 20, 'A'))))).Title,
      u"");
  // Compressed frames the entry does not use are never inflated, so many of
  // them leave the budget to the frames it uses.
  std::string unused;
  for (int i = 0; i < 500; ++i) unused += CompressedText("PRIV", std::to_string(i));
  EXPECT_GT(unused.size(), 4096u);
  EXPECT_EQ(ReadBytes(Id3v2File(Id3v2Tag(unused + CompressedText("TIT2", "Late Title")))).Title,
            u"Late Title");
}

// Memory that counts how often it is read.
class TCountedBytes final : public TTagBytes {
 public:
  explicit TCountedBytes(std::string_view bytes) : Bytes(bytes) {}
  std::int64_t Size() const override { return static_cast<std::int64_t>(Bytes.size()); }
  std::size_t ReadAt(std::int64_t at, char* out, std::size_t n) override {
    ++Reads;
    return at < Size() ? Bytes.copy(out, n, static_cast<std::size_t>(at)) : 0;
  }
  int Reads = 0;

 private:
  std::string_view Bytes;
};

TEST(TagLibDamage, StackedTagHeadersCostFewReads) {
  // Every tag header right after a tag is taken as a repeat of it; 100,000
  // stacked tiny ones must not cost a read each, nor keep the APE tag at
  // the file's end from being read.
  std::string file = Id3v2Tag(Id3v2Text("TIT2", "First") + std::string(5000, '\0'));
  for (int i = 0; i < 100000; ++i) file += Id3v2Tag(std::string(1, '\0'));
  TagLib::APE::Tag ape;
  ape.setArtist("Ape Artist");
  const TagLib::ByteVector apeBytes = ape.render();
  file = Id3v2File(file) + std::string(apeBytes.data(), apeBytes.size());
  TCountedBytes bytes(file);
  const TTagText text = ReadTagLibTags(bytes);
  EXPECT_EQ(text.Title, u"First");
  EXPECT_EQ(text.Artist, u"Ape Artist");
  EXPECT_LE(bytes.Reads, 20);
}

TEST(TagLibDamage, FilesThatAreNoTags) {
  for (const std::string& file :
       {std::string(), std::string("ID3"), std::string("ID3\x04\0\0", 6),
        std::string("RIFF\0\0\0\0WAVE", 12), std::string("APETAGEX"), std::string(100, '\xFF')}) {
    const TID3TagReader r = ReadBytes(file);
    EXPECT_EQ(r.Title, u"");
    EXPECT_EQ(r.Genre, u"");
  }
}

}  // namespace
}  // namespace vesperon
