// The "media.db" file: exact layout, round trips, damaged files, saving.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/files.h"
#include "core/paths.h"
#include "core/text.h"
#include "log_capture.h"
#include "media/mediadb.h"

namespace vesperon {
namespace {

namespace fs = std::filesystem;

class MediaDBFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = TempDir() / ("vesperon-mediadb-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    fs::permissions(Dir, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(Dir);
  }
  fs::path Dir;
  TLogCapture Capture;
};

// Every field set to a value that shows up if it is written to or read from
// the wrong place.
TMediaEntry FullEntry(int n) {
  TMediaEntry e;
  e.Filename = u"/music/" + IntToU16(n) + u".mp3";
  e.Artist = u"Artist " + IntToU16(n);
  e.Title = u"Titel \u00e4\u20ac \U0001F3B5";
  e.Comment = u"comment";
  e.Album = u"Album";
  e.Spare1 = 0xA1B2C3D4u + static_cast<unsigned>(n);
  e.Genre = u"Synthpop";
  e.Spare2 = 0xE5;
  e.Spare3 = 0xF607;
  e.Spare4 = 0x1829;
  e.MediaTyp = static_cast<TMediaTyp>(n % 3);
  e.Added = 45000.5 + n;
  e.PlayCountA = static_cast<std::uint16_t>(0xFFFF - n);
  e.PlayCountB = 7;
  e.Spare5 = -1.25e-300;
  return e;
}

std::string ThreeEntryBytes() {
  TMediaDB db;
  for (int n = 0; n < 3; ++n) db.Add(FullEntry(n));
  return db.SaveToBytes();
}

TEST_F(MediaDBFile, SingleEmptyEntryIs49BytesLaidOutFieldByField) {
  TMediaDB db;
  TMediaEntry e;
  e.Spare1 = 0x04030201;
  e.Spare2 = 0x05;
  e.Spare3 = 0x0706;
  e.Spare4 = 0x0908;
  e.MediaTyp = mtPlaylist;
  e.Added = 1.0;  // 0x3FF0000000000000
  e.PlayCountA = 0x0B0A;
  e.PlayCountB = 0x0D0C;
  e.Spare5 = -2.0;  // 0xC000000000000000
  db.Add(e);
  const std::string bytes = db.SaveToBytes();
  const std::string expected =
      std::string("\x01\x00\x00\x00", 4) + std::string(12, '\0') +
      std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x02\x00\x00\x00", 13) +
      std::string("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8) + "\x0A\x0B\x0C\x0D" +
      std::string("\x00\x00\x00\x00\x00\x00\x00\xC0", 8);
  ASSERT_EQ(bytes.size(), 49u);
  EXPECT_EQ(bytes, expected);
}

TEST_F(MediaDBFile, StringsAreLengthPrefixedUtf16InFieldOrder) {
  TMediaDB db;
  TMediaEntry e;
  e.Filename = u"F";
  e.Artist = u"Ar";
  e.Title = u"\U0001F3B5";  // two code units
  e.Comment = u"";
  e.Album = u"\u00e9";
  e.Genre = u"G";
  db.Add(e);
  const std::string bytes = db.SaveToBytes();
  const std::string strings = std::string(
                                  "\x01\x00"
                                  "F\x00",
                                  4) +
                              std::string(
                                  "\x02\x00"
                                  "A\x00r\x00",
                                  6) +
                              std::string("\x02\x00\x3C\xD8\xB5\xDF", 6) +
                              std::string("\x00\x00", 2) + std::string("\x01\x00\xE9\x00", 4) +
                              std::string(
                                  "\x01\x00"
                                  "G\x00",
                                  4);
  EXPECT_EQ(bytes.substr(4, strings.size()), strings);
  EXPECT_EQ(bytes.size(), 4 + strings.size() + 33);
}

TEST_F(MediaDBFile, EveryFieldSurvivesAFileRoundTripInEntriesOrder) {
  TMediaDB db;
  for (int n = 0; n < 3; ++n) db.Add(FullEntry(n));
  db.SortByArtist(true);
  ASSERT_TRUE(db.SaveToFile(Dir / "media.db"));
  TMediaDB loaded;
  ASSERT_TRUE(loaded.LoadFromFile(Dir / "media.db"));
  ASSERT_EQ(loaded.Count(), 3);
  EXPECT_EQ(*loaded.GetEntryPtr(0), FullEntry(2));
  EXPECT_EQ(*loaded.GetEntryPtr(1), FullEntry(1));
  EXPECT_EQ(*loaded.GetEntryPtr(2), FullEntry(0));
  EXPECT_EQ(loaded.GetEntryPtr(1)->MediaTyp, mtStream);
  EXPECT_EQ(loaded.GetEntryPtr(0)->MediaTyp, mtPlaylist);
  EXPECT_EQ(loaded.FindByFilename(u"/music/1.mp3").size(), 1u);
  EXPECT_EQ(Capture.Lines.size(), 0u);
}

TEST_F(MediaDBFile, StreamsCarryTheSameBytes) {
  TMediaDB db;
  db.Add(FullEntry(4));
  std::stringstream stream;
  ASSERT_TRUE(db.SaveToStream(stream));
  EXPECT_EQ(stream.str(), db.SaveToBytes());
  TMediaDB loaded;
  ASSERT_TRUE(loaded.LoadFromStream(stream));
  ASSERT_EQ(loaded.Count(), 1);
  EXPECT_EQ(*loaded.GetEntryPtr(0), FullEntry(4));
}

TEST_F(MediaDBFile, UnknownMediaTypAndStrayFileNameBytesAreKept) {
  TMediaDB db;
  TMediaEntry e = FullEntry(0);
  e.MediaTyp = static_cast<TMediaTyp>(0x12345678);
  e.Filename = Utf8ToUtf16("/m/caf\xE9.mp3");  // a Latin-1 name on disk
  db.Add(e);
  TMediaDB loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(db.SaveToBytes(), u"test"));
  EXPECT_EQ(loaded.GetEntryPtr(0)->MediaTyp, 0x12345678u);
  EXPECT_EQ(Utf16ToUtf8(loaded.GetEntryPtr(0)->Filename), "/m/caf\xE9.mp3");
}

TEST_F(MediaDBFile, EmptyDatabaseSavesAZeroByteFileThatWarnsOnLoad) {
  TMediaDB db;
  ASSERT_TRUE(db.SaveToFile(Dir / "media.db"));
  EXPECT_EQ(fs::file_size(Dir / "media.db"), 0u);
  TMediaDB loaded;
  loaded.LoadFromFile(Dir / "media.db");
  EXPECT_EQ(loaded.Count(), 0);
  ASSERT_EQ(Capture.Lines.size(), 1u);
  EXPECT_EQ(Capture.Lines[0], "WARNING: Could not load mediadb. Stream is empty");
}

TEST_F(MediaDBFile, MissingFileWarnsWithItsName) {
  TMediaDB db;
  EXPECT_FALSE(db.LoadFromFile(Dir / "none.db"));
  ASSERT_EQ(Capture.Lines.size(), 1u);
  EXPECT_EQ(Capture.Lines[0], "WARNING: Could not load mediadb. The file " +
                                  (Dir / "none.db").string() + " does not exists");
}

TEST_F(MediaDBFile, CountsBelowOneLoadNothingSilently) {
  for (const std::string& bytes : {std::string(4, '\0'), std::string("\xFF\xFF\xFF\xFF", 4),
                                   std::string("\x00\x00\x00\x80", 4) + std::string(45, '\0')}) {
    TMediaDB db;
    EXPECT_TRUE(db.LoadFromBytes(bytes, u"x"));
    EXPECT_EQ(db.Count(), 0);
  }
  EXPECT_EQ(Capture.Lines.size(), 0u);
}

// Cutting a three-entry file at every offset loads exactly the complete
// entries before the cut and warns once, naming the file.
TEST_F(MediaDBFile, TruncationAtEveryOffsetLoadsTheCompletePrefix) {
  const std::string whole = ThreeEntryBytes();
  std::vector<std::size_t> ends;  // offset just after each record
  {
    TMediaDB one;
    one.Add(FullEntry(0));
    ends.push_back(one.SaveToBytes().size());
    one.Add(FullEntry(1));
    ends.push_back(one.SaveToBytes().size());
    ends.push_back(whole.size());
  }
  for (std::size_t cut = 1; cut < whole.size(); ++cut) {
    Capture.Lines.clear();
    TMediaDB db;
    EXPECT_FALSE(db.LoadFromBytes(std::string_view(whole).substr(0, cut), u"/p/media.db"));
    const int complete = static_cast<int>(
        std::count_if(ends.begin(), ends.end(), [&](std::size_t e) { return e <= cut; }));
    ASSERT_EQ(db.Count(), complete) << "cut at " << cut;
    for (int i = 0; i < complete; ++i) ASSERT_EQ(*db.GetEntryPtr(i), FullEntry(i));
    ASSERT_EQ(Capture.Lines.size(), 1u);
    EXPECT_EQ(Capture.Count("/p/media.db"), 1);
    EXPECT_EQ(Capture.Count("WARNING: "), 1);
  }
}

TEST_F(MediaDBFile, HugeCountsAndStringLengthsStopAtTheEnd) {
  std::string bytes = ThreeEntryBytes();
  bytes[0] = '\xFF';
  bytes[1] = '\xFF';
  bytes[2] = '\xFF';
  bytes[3] = '\x7F';  // 2^31 - 1 entries announced, 3 present
  TMediaDB db;
  EXPECT_FALSE(db.LoadFromBytes(bytes, u"big"));
  EXPECT_EQ(db.Count(), 3);
  EXPECT_EQ(Capture.Count("big is damaged after 3 of 2147483647 entries"), 1);

  // A string length of 65535 units past the end of the bytes.
  std::string longString = std::string("\x01\x00\x00\x00\xFF\xFF", 6) + "abc";
  TMediaDB db2;
  EXPECT_FALSE(db2.LoadFromBytes(longString, u"s"));
  EXPECT_EQ(db2.Count(), 0);
}

TEST_F(MediaDBFile, OverlongStringsAreCutWithoutSplittingASurrogatePair) {
  TMediaDB db;
  TMediaEntry e;
  e.Title = std::u16string(70000, u'x');
  e.Artist = std::u16string(65534, u'y') + u"\U0001F3B5";  // pair at units 65534-65535
  db.Add(e);
  TMediaDB loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(db.SaveToBytes(), u"t"));
  EXPECT_EQ(loaded.GetEntryPtr(0)->Title, std::u16string(65535, u'x'));
  EXPECT_EQ(loaded.GetEntryPtr(0)->Artist, std::u16string(65534, u'y'));
}

TEST_F(MediaDBFile, LoadingReplacesTheContents) {
  TMediaDB db;
  db.Add(FullEntry(7));
  db.Add(FullEntry(8));
  TMediaDB other;
  other.Add(FullEntry(1));
  ASSERT_TRUE(db.LoadFromBytes(other.SaveToBytes(), u"x"));
  ASSERT_EQ(db.Count(), 1);
  EXPECT_TRUE(db.FindByFilename(FullEntry(7).Filename).empty());
  EXPECT_EQ(db.FindByFilename(FullEntry(1).Filename).size(), 1u);
}

// Saving goes through a temporary file: when it cannot be completed, the
// old file stays as it was and no temporary file is left behind.
TEST_F(MediaDBFile, FailedSaveKeepsThePreviousFile) {
  TMediaDB db;
  db.Add(FullEntry(1));
  ASSERT_TRUE(db.SaveToFile(Dir / "media.db"));
  const std::string before = *ReadWholeFile(Dir / "media.db");
  db.Add(FullEntry(2));
  if (::geteuid() != 0) {
    fs::permissions(Dir, fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(db.SaveToFile(Dir / "media.db"));
    fs::permissions(Dir, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(*ReadWholeFile(Dir / "media.db"), before);
    EXPECT_EQ(Capture.Count("WARNING: Could not save mediadb. The file "), 1);
  }
  // A folder where the file should go cannot be replaced (also as root).
  fs::create_directories(Dir / "sub" / "media.db" / "x");
  EXPECT_FALSE(db.SaveToFile(Dir / "sub" / "media.db"));
  EXPECT_TRUE(fs::is_directory(Dir / "sub" / "media.db" / "x"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "sub"), fs::directory_iterator()), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 2);
  // A successful save replaces the old file.
  ASSERT_TRUE(db.SaveToFile(Dir / "media.db"));
  TMediaDB loaded;
  ASSERT_TRUE(loaded.LoadFromFile(Dir / "media.db"));
  EXPECT_EQ(loaded.Count(), 2);
}

TEST_F(MediaDBFile, UnreadableFileWarnsAndLoadsNothing) {
  fs::create_directories(Dir / "media.db");
  TMediaDB db;
  db.Add(FullEntry(1));
  EXPECT_FALSE(db.LoadFromFile(Dir / "media.db"));
  EXPECT_EQ(db.Count(), 0);
  EXPECT_EQ(Capture.Count("WARNING: Could not load mediadb. The file "), 1);
}

// A damaged file loads its complete entries; the first save keeps the
// original bytes as media.db.bak, later saves and a clean load and save leave
// that copy alone.
TEST_F(MediaDBFile, DamagedFileIsKeptAsBakBeforeTheFirstSave) {
  const fs::path name = Dir / "media.db", bak = Dir / "media.db.bak";
  const std::string whole = ThreeEntryBytes();
  const std::string damaged = whole.substr(0, whole.size() - 5);
  ASSERT_TRUE(WriteFileAtomically(name, damaged));
  TMediaDB db;
  EXPECT_FALSE(db.LoadFromFile(name));
  EXPECT_EQ(db.Count(), 2);
  ASSERT_EQ(Capture.Lines.size(), 1u);
  EXPECT_NE(Capture.Lines[0].find("is damaged after 2 of 3 entries. The original file is kept as " +
                                  bak.string()),
            std::string::npos);
  EXPECT_FALSE(fs::exists(bak));  // nothing is written before the save
  ASSERT_TRUE(db.SaveToFile(name));
  EXPECT_EQ(*ReadWholeFile(bak), damaged);
  EXPECT_EQ(*ReadWholeFile(name), db.SaveToBytes());

  db.Add(FullEntry(7));
  ASSERT_TRUE(db.SaveToFile(name));  // the second save keeps no new copy
  EXPECT_EQ(*ReadWholeFile(bak), damaged);
  TMediaDB clean;
  ASSERT_TRUE(clean.LoadFromFile(name));
  ASSERT_TRUE(clean.SaveToFile(name));
  EXPECT_EQ(*ReadWholeFile(bak), damaged);
  EXPECT_EQ(clean.Count(), 3);

  // A later damaged load replaces the old copy with the new original.
  const std::string second = clean.SaveToBytes().substr(0, 30);
  ASSERT_TRUE(WriteFileAtomically(name, second));
  TMediaDB again;
  EXPECT_FALSE(again.LoadFromFile(name));
  ASSERT_TRUE(again.SaveToFile(name));
  EXPECT_EQ(*ReadWholeFile(bak), second);
}

// A name that exists but cannot be read (a pipe, a link to itself; as an
// ordinary user also a file without read permission) is never replaced by an
// empty database; a database with entries is saved after keeping it aside.
TEST_F(MediaDBFile, UnreadableFileIsNotReplacedByAnEmptyDatabase) {
  const fs::path pipe = Dir / "pipe.db", loop = Dir / "loop.db";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  fs::create_symlink(loop.filename(), loop);
  for (const fs::path& name : {pipe, loop}) {
    Capture.Lines.clear();
    TMediaDB db;
    EXPECT_FALSE(db.LoadFromFile(name));  // the pipe does not block
    ASSERT_EQ(Capture.Lines.size(), 1u);
    EXPECT_EQ(
        Capture.Count(name.string() + " cannot be read. It is not replaced by an empty database"),
        1);
    EXPECT_FALSE(db.SaveToFile(name));
    EXPECT_TRUE(fs::is_symlink(name) || fs::is_fifo(name)) << name;
    EXPECT_FALSE(fs::exists(fs::path(name.string() + ".bak")));
    db.Add(FullEntry(1));
    ASSERT_TRUE(db.SaveToFile(name));
    const fs::file_status kept = fs::symlink_status(fs::path(name.string() + ".bak"));
    EXPECT_TRUE(fs::is_symlink(kept) || fs::is_fifo(kept)) << name;
    TMediaDB loaded;
    ASSERT_TRUE(loaded.LoadFromFile(name));
    EXPECT_EQ(loaded.Count(), 1);
  }
}

TEST_F(MediaDBFile, StartUpPathIsBesideTheExecutable) {
  SetExecutableDirForTesting(Dir);
  EXPECT_EQ(MediaDBPath(), Dir / "media.db");
  SetExecutableDirForTesting(ExecutablePath().parent_path());
}

}  // namespace
}  // namespace vesperon
