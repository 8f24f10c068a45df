// The in-memory database: look-ups, duplicates, the sort keys and flags.
#include "media/mediadb.h"

#include <gtest/gtest.h>

#include "core/text.h"

#include <string>
#include <vector>

namespace vesperon {
namespace {

TMediaEntry Entry(std::u16string filename, std::u16string title = u"", std::u16string artist = u"",
                  double added = 0.0) {
  TMediaEntry e;
  e.Filename = std::move(filename);
  e.Title = std::move(title);
  e.Artist = std::move(artist);
  e.Added = added;
  return e;
}

std::vector<std::u16string> Titles(const TMediaDB& db) {
  std::vector<std::u16string> out;
  for (int i = 0; i < db.Count(); ++i) out.push_back(db.GetEntryPtr(i)->Title);
  return out;
}

TEST(CompareWide, OrdersByCodeUnitWithoutCaseFolding) {
  EXPECT_EQ(CompareWide(u"abc", u"abc"), 0);
  EXPECT_LT(CompareWide(u"B", u"a"), 0);  // 'B' (66) before 'a' (97)
  EXPECT_GT(CompareWide(u"a", u"B"), 0);
  EXPECT_GT(CompareWide(u"B", u"a", true), 0);
  // A proper prefix gives the length difference; the longer string +1.
  EXPECT_EQ(CompareWide(u"ab", u"abcd"), -2);
  EXPECT_EQ(CompareWide(u"abcd", u"ab"), 1);
  EXPECT_EQ(CompareWide(u"", u""), 0);
  EXPECT_EQ(CompareWide(u"ab", u"abcd", true), 2);
  // Code units, not code points: U+FF21 sorts after a surrogate pair's
  // first unit (0xD83C) only by unit value.
  EXPECT_GT(CompareWide(u"\uFF21", u"\U0001F3B5"), 0);
}

TEST(MediaDB, GetEntryAndPointerStayInRange) {
  TMediaDB db;
  db.Add(Entry(u"/a.mp3", u"A"));
  TMediaEntry out = Entry(u"untouched");
  EXPECT_TRUE(db.GetEntry(0, out));
  EXPECT_EQ(out.Title, u"A");
  out = Entry(u"untouched");
  EXPECT_FALSE(db.GetEntry(1, out));
  EXPECT_FALSE(db.GetEntry(-1, out));
  EXPECT_EQ(out.Filename, u"untouched");
  EXPECT_EQ(db.GetEntryPtr(1), nullptr);
  EXPECT_EQ(db.GetEntryPtr(-1), nullptr);
  EXPECT_NE(db.GetEntryPtr(0), nullptr);
}

TEST(MediaDB, FindByFilenameIsExactAndKeepsEntriesOrder) {
  TMediaDB db;
  db.Add(Entry(u"/m/Song.mp3", u"1"));
  db.Add(Entry(u"/m/song.mp3", u"2"));
  db.Add(Entry(u"/m/Song.mp3", u"3"));  // Add does not refuse duplicates
  EXPECT_TRUE(db.FindByFilename(u"/m/SONG.mp3").empty());
  EXPECT_TRUE(db.FindByFilename(u"/m/Song.mp").empty());
  ASSERT_EQ(db.FindByFilename(u"/m/song.mp3").size(), 1u);
  EXPECT_EQ(db.FindByFilename(u"/m/song.mp3")[0]->Title, u"2");
  TPMEArray both = db.FindByFilename(u"/m/Song.mp3");
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0]->Title, u"1");
  EXPECT_EQ(both[1]->Title, u"3");
  EXPECT_EQ(db.IndexOfFilename(u"/m/song.mp3"), 1);
  EXPECT_EQ(db.IndexOfFilename(u"/m/Song.mp3"), 0);
  EXPECT_EQ(db.IndexOfFilename(u"/m/SONG.mp3"), -1);
  db.SortByTitle(true);
  both = db.FindByFilename(u"/m/Song.mp3");
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0]->Title, u"3");  // Entries order after the sort
  EXPECT_EQ(db.IndexOfFilename(u"/m/Song.mp3"), 0);
  EXPECT_EQ(db.IndexOfFilename(u"/m/song.mp3"), 1);
  db.SortByTitle(false);
  EXPECT_EQ(db.IndexOfFilename(u"/m/song.mp3"), 1);
  EXPECT_EQ(db.IndexOfFilename(u"/m/Song.mp3"), 0);  // title "1" now first
}

TEST(MediaDB, PointersSurviveSortingAndGrowth) {
  TMediaDB db;
  db.Add(Entry(u"/b", u"b"));
  PMediaEntry p = db.GetEntryPtr(0);
  for (int i = 0; i < 1000; ++i) db.Add(Entry(u"/x" + IntToU16(i), u"a"));
  db.SortByTitle(false);
  EXPECT_EQ(p->Filename, u"/b");
  EXPECT_EQ(db.GetEntryPtr(db.Count() - 1), p);
  p->PlayCountA++;  // playback bumps counters through the pointer
  EXPECT_EQ(db.FindByFilename(u"/b")[0]->PlayCountA, 1);
}

TEST(MediaDB, SortsEveryKeyInBothDirections) {
  TMediaDB db;
  db.Add(Entry(u"/c", u"b", u"Z", 3.0));
  db.Add(Entry(u"/a", u"a", u"x", 1.5));
  db.Add(Entry(u"/b", u"C", u"y", 2.25));
  db.GetEntryPtr(0)->Genre = u"Rock";
  db.GetEntryPtr(1)->Genre = u"Blues";
  db.GetEntryPtr(2)->Genre = u"Jazz";
  db.GetEntryPtr(0)->Album = u"2";
  db.GetEntryPtr(1)->Album = u"3";
  db.GetEntryPtr(2)->Album = u"1";

  db.SortByTitle(false);
  EXPECT_EQ(Titles(db), (std::vector<std::u16string>{u"C", u"a", u"b"}));
  db.SortByTitle(true);
  EXPECT_EQ(Titles(db), (std::vector<std::u16string>{u"b", u"a", u"C"}));
  db.SortByArtist(false);
  EXPECT_EQ(Titles(db), (std::vector<std::u16string>{u"b", u"a", u"C"}));  // Z < x < y
  db.SortByFilename(false);
  EXPECT_EQ(Titles(db), (std::vector<std::u16string>{u"a", u"C", u"b"}));
  db.SortByAdded(true);
  EXPECT_EQ(Titles(db), (std::vector<std::u16string>{u"b", u"C", u"a"}));
  db.SortByAdded(false);
  EXPECT_EQ(Titles(db), (std::vector<std::u16string>{u"a", u"C", u"b"}));
  db.SortByGenre(false);
  EXPECT_EQ(Titles(db), (std::vector<std::u16string>{u"a", u"C", u"b"}));
  db.SortByAlbum(true);
  EXPECT_EQ(Titles(db), (std::vector<std::u16string>{u"a", u"b", u"C"}));
}

TEST(MediaDB, SortFlagsSkipRepeatedSortsUntilAddClearsThem) {
  TMediaDB db;
  db.Add(Entry(u"/1", u"", u"b"));
  db.Add(Entry(u"/2", u"", u"a"));
  db.SortByArtist(false);
  EXPECT_TRUE(db.SortedByArtist);
  EXPECT_FALSE(db.SortDescending);
  EXPECT_EQ(db.GetEntryPtr(0)->Artist, u"a");

  // Same key and direction: nothing is done, even if the data changed.
  db.GetEntryPtr(0)->Artist = u"z";
  db.SortByArtist(false);
  EXPECT_EQ(db.GetEntryPtr(0)->Artist, u"z");
  db.SortByArtist(true);  // the other direction sorts again
  EXPECT_EQ(db.GetEntryPtr(0)->Artist, u"z");
  EXPECT_TRUE(db.SortDescending);

  db.SortByTitle(false);  // one flag at a time
  EXPECT_TRUE(db.SortedByTitle);
  EXPECT_FALSE(db.SortedByArtist);

  db.Add(Entry(u"/3", u"", u"m"));
  EXPECT_FALSE(db.SortedByTitle || db.SortedByArtist || db.SortedByFilename || db.SortedByAdded ||
               db.SortedByGenre || db.SortedByAlbum);
  db.SortByArtist(true);
  EXPECT_EQ(db.GetEntryPtr(1)->Artist, u"m");
}

// The quicksort must order any input fully, including the patterns that
// upset middle-pivot partitioning (many equal keys, sorted, reversed).
TEST(MediaDB, SortOrdersLargeAndDegenerateInputs) {
  const std::vector<std::vector<int>> inputs = [] {
    std::vector<std::vector<int>> v(4);
    for (int i = 0; i < 5000; ++i) {
      v[0].push_back(i);
      v[1].push_back(5000 - i);
      v[2].push_back(i % 3);
      v[3].push_back(static_cast<int>((i * 7919u) % 1009u));
    }
    return v;
  }();
  for (const auto& keys : inputs) {
    TMediaDB db;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      std::u16string title = IntToU16(keys[i]);
      title.insert(0, 6 - title.size(), u'0');
      db.Add(Entry(u"/" + IntToU16(static_cast<long long>(i)), title, u"", keys[i]));
    }
    db.SortByTitle(false);
    for (int i = 1; i < db.Count(); ++i)
      ASSERT_LE(db.GetEntryPtr(i - 1)->Title, db.GetEntryPtr(i)->Title);
    db.SortByAdded(true);
    for (int i = 1; i < db.Count(); ++i)
      ASSERT_GE(db.GetEntryPtr(i - 1)->Added, db.GetEntryPtr(i)->Added);
    ASSERT_EQ(db.Count(), static_cast<int>(keys.size()));
  }
}

TEST(MediaDB, GlobalObjectExistsBetweenCreateAndFree) {
  EXPECT_EQ(MediaDB(), nullptr);
  TMediaDB& db = CreateMediaDB();
  EXPECT_EQ(MediaDB(), &db);
  FreeMediaDB();
  EXPECT_EQ(MediaDB(), nullptr);
}

}  // namespace
}  // namespace vesperon
