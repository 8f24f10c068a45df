// Adding files and directory trees: extensions, order, hidden folders,
// links, duplicates and the log lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/paths.h"
#include "core/text.h"
#include "log_capture.h"
#include "media/mediadb.h"
#include "tag_files.h"

namespace vesperon {
namespace {

namespace fs = std::filesystem;

class MediaScan : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = TempDir() / ("vesperon-scan-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Root = Dir.string();
    Root16 = U16FromPath(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  void Touch(const std::string& rel) { WriteTaggedFile(Dir / rel, {.Title = rel, .Genre = 2}); }

  // Filenames relative to the root, in Entries order.
  std::vector<std::string> Names(const TMediaDB& db) const {
    std::vector<std::string> out;
    for (int i = 0; i < db.Count(); ++i)
      out.push_back(Utf16ToUtf8(db.GetEntryPtr(i)->Filename).substr(Root.size()));
    return out;
  }

  fs::path Dir;
  std::string Root;
  std::u16string Root16;
  TLogCapture Capture;
};

TEST_F(MediaScan, AddFileReadsTheTagAndStampsTheTime) {
  WriteTaggedFile(
      Dir / "a.mp3",
      {.Title = "T", .Artist = "A", .Album = "L", .Year = "1999", .Comment = "C", .Genre = 9});
  TMediaDB db;
  const double before = NowAsDateTime();
  ASSERT_TRUE(db.AddFile(Root16 + u"/a.mp3"));
  const TMediaEntry& e = *db.GetEntryPtr(0);
  EXPECT_EQ(e.Filename, Root16 + u"/a.mp3");
  EXPECT_EQ(e.Title, u"T");
  EXPECT_EQ(e.Artist, u"A");
  EXPECT_EQ(e.Album, u"L");
  EXPECT_EQ(e.Comment, u"C");
  EXPECT_EQ(e.Genre, u"Metal");
  EXPECT_EQ(e.MediaTyp, mtFile);
  EXPECT_GE(e.Added, before);
  EXPECT_LT(e.Added - before, 1.0 / 24);  // within the hour
  EXPECT_GT(e.Added, 45000.0);            // a date after 2023, not zero
  EXPECT_EQ(e.PlayCountA + e.PlayCountB + e.Spare1 + e.Spare2 + e.Spare3 + e.Spare4, 0);
  EXPECT_EQ(e.Spare5, 0.0);
}

TEST_F(MediaScan, AddFileRefusesExactDuplicatesOnly) {
  TMediaDB db;
  EXPECT_TRUE(db.AddFile(u"/nowhere/Song.mp3"));  // unreadable files are still added
  EXPECT_TRUE(db.AddFile(u"/nowhere/song.mp3"));
  EXPECT_FALSE(db.AddFile(u"/nowhere/Song.mp3"));
  EXPECT_EQ(db.Count(), 2);
  EXPECT_EQ(db.GetEntryPtr(0)->Title, u"");
  EXPECT_EQ(Capture.Count("there is already an entry for /nowhere/Song.mp3"), 1);
  EXPECT_EQ(Capture.Lines.size(), 1u);
}

TEST_F(MediaScan, TreeIsWalkedDepthFirstInNameOrderWithTheListedExtensions) {
  for (const char* f : {"b.MP3", "a.mp3", "c.ogg", "d.wma", "e.gg", "f.ogg.Wav", "noext", "g.mp1",
                        "h.Mp2", "list.m3u", ".hidden.mp3", "mp3", "x.mp3.txt"}) {
    Touch(f);
  }
  fs::create_directories(Dir / "sub" / "deeper");
  fs::create_directories(Dir / "dir.mp3");
  Touch("sub/y.mp3");
  Touch("sub/deeper/z.wav");
  Touch("dir.mp3/in.mp3");
  TMediaDB db;
  ASSERT_TRUE(db.AddDirectory(Root16, true));
  EXPECT_EQ(Names(db),
            (std::vector<std::string>{"/.hidden.mp3", "/a.mp3", "/b.MP3", "/dir.mp3/in.mp3",
                                      "/e.gg", "/f.ogg.Wav", "/g.mp1", "/h.Mp2", "/list.m3u",
                                      "/sub/deeper/z.wav", "/sub/y.mp3"}));
  EXPECT_EQ(db.FindByFilename(Root16 + u"/sub/y.mp3")[0]->Title, u"sub/y.mp3");
  EXPECT_EQ(db.FindByFilename(Root16 + u"/sub/y.mp3")[0]->Genre, u"Country");
}

TEST_F(MediaScan, NonRecursiveScanStaysInTheFolder) {
  fs::create_directories(Dir / "sub");
  Touch("a.mp3");
  Touch("sub/b.mp3");
  TMediaDB db;
  ASSERT_TRUE(db.AddDirectory(Root16, false));
  EXPECT_EQ(Names(db), (std::vector<std::string>{"/a.mp3"}));
}

TEST_F(MediaScan, HiddenFoldersAndLinkedFoldersAreNotEntered) {
  fs::create_directories(Dir / ".cache");
  fs::create_directories(Dir / "real");
  Touch(".cache/secret.mp3");
  Touch("real/song.mp3");
  fs::create_directory_symlink(Dir, Dir / "loop");  // a link loop
  fs::create_directory_symlink(Dir / "real",
                               Dir / "alias.mp3");  // a linked folder with a media name
  fs::create_symlink(Dir / "real" / "song.mp3", Dir / "linked.mp3");
  fs::create_symlink(Dir / "gone.mp3", Dir / "broken.mp3");
  ASSERT_EQ(::mkfifo((Dir / "pipe.mp3").c_str(), 0600), 0);
  TMediaDB db;
  ASSERT_TRUE(db.AddDirectory(Root16, true));
  EXPECT_EQ(Names(db), (std::vector<std::string>{"/linked.mp3", "/real/song.mp3"}));
  EXPECT_EQ(db.GetEntryPtr(0)->Title, u"real/song.mp3");  // tag read through the link
}

TEST_F(MediaScan, SecondScanAddsNothingAndLogsEachDuplicate) {
  Touch("a.mp3");
  Touch("b.wav");
  TMediaDB db;
  ASSERT_TRUE(db.AddDirectory(Root16, true));
  Capture.Lines.clear();
  ASSERT_TRUE(db.AddDirectory(Root16, true));
  EXPECT_EQ(db.Count(), 2);
  ASSERT_EQ(Capture.Lines.size(), 2u);
  EXPECT_EQ(Capture.Lines[0], "there is already an entry for " + Root + "/a.mp3");
  EXPECT_EQ(Capture.Lines[1], "there is already an entry for " + Root + "/b.wav");
}

TEST_F(MediaScan, TrailingSeparatorGivesADoubledSeparatorAndNewEntries) {
  Touch("a.mp3");
  TMediaDB db;
  ASSERT_TRUE(db.AddDirectory(Root16, true));
  ASSERT_TRUE(db.AddDirectory(Root16 + u"/", true));
  EXPECT_EQ(Names(db), (std::vector<std::string>{"/a.mp3", "//a.mp3"}));
}

TEST_F(MediaScan, MissingDirectoryIsAnError) {
  Touch("file.mp3");
  TMediaDB db;
  EXPECT_FALSE(db.AddDirectory(Root16 + u"/none", true));
  EXPECT_FALSE(db.AddDirectory(Root16 + u"/file.mp3", true));
  ASSERT_EQ(Capture.Lines.size(), 2u);
  EXPECT_EQ(Capture.Lines[0], "ERROR: Directory " + Root + "/none does not exist!");
  EXPECT_EQ(db.Count(), 0);
}

TEST_F(MediaScan, NamesThatAreNotUtf8SurviveAndCanBeOpenedAgain) {
  fs::create_directories(Dir / "M\xFCsik");
  WriteTaggedFile(Dir / "M\xFCsik" / "Caf\xE9.mp3", {.Title = "Caf\xE9", .Genre = 0});
  TMediaDB db;
  ASSERT_TRUE(db.AddDirectory(Root16, true));
  ASSERT_EQ(db.Count(), 1);
  const std::u16string name = db.GetEntryPtr(0)->Filename;
  EXPECT_EQ(Utf16ToUtf8(name), Root + "/M\xFCsik/Caf\xE9.mp3");
  EXPECT_EQ(db.GetEntryPtr(0)->Title, u"Café");  // the tag itself is Windows-1252
  EXPECT_TRUE(fs::exists(PathFromU16(name)));
  // Through the database file and back, the name still opens the file.
  TMediaDB loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(db.SaveToBytes(), u"t"));
  EXPECT_TRUE(fs::exists(PathFromU16(loaded.GetEntryPtr(0)->Filename)));
  EXPECT_FALSE(loaded.AddFile(name));
}

}  // namespace
}  // namespace vesperon
