// The list view on the headless layer: scrolling, keys, letters, header
// sorting, the wheel, clicks, the thumb, the held scroll arrow and a double
// click that plays a song with the real audio library.
#include "windows/listview.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../audio/playback_fixture.h"
#include "audio/audio_binding.h"
#include "audio/playback.h"
#include "core/date_time.h"
#include "core/language.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/mediadb.h"
#include "windows_fixture.h"

namespace vesperon {
namespace {

class ListViewTest : public THeadlessWindowsTest {
 protected:
  void SetUp() override {
    THeadlessWindowsTest::SetUp();
    CreateMediaDB();
    TWindowParams p;
    p.ClassName = "parent";
    p.Bounds = {100, 100, 700, 500};
    p.Flags = wfVisible;
    Parent = CreateWindow(p);
    List = std::make_unique<TListView>(Parent, TestLook());
    ASSERT_NE(List->Handle, 0u);
    List->SetBounds(10, 10, 500, 100);  // five rows below the header
  }
  void TearDown() override {
    List.reset();
    FreeMediaDB();
    Playback().RunMainLoopStep = {};
    THeadlessWindowsTest::TearDown();
  }

  static void AddEntries(int n) {
    for (int i = 0; i < n; ++i) {
      TMediaEntry e;
      e.Filename = u"/music/" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                   IntToU16Padded(i) + u".mp3";
      e.Title = u"Title " + IntToU16Padded(i);
      MediaDB()->Add(e);
    }
  }
  static std::u16string IntToU16Padded(int i) {
    std::u16string s;
    for (int d = 100000; d > 0; d /= 10) s += static_cast<char16_t>(u'0' + i / d % 10);
    return s;
  }
  static void AddArtists(std::initializer_list<const char16_t*> artists) {
    int n = 0;
    for (const char16_t* a : artists) {
      TMediaEntry e;
      e.Filename = u"/music/" + IntToU16Padded(n++) + u".mp3";
      e.Artist = a;
      MediaDB()->Add(e);
    }
  }
  // A point of the list in screen coordinates.
  TPointI At(int32_t x, int32_t y) const { return ClientToScreen(List->Handle, {x, y}); }
  void Click(int32_t x, int32_t y) {
    InjectMouseButton(1, true, At(x, y));
    InjectMouseButton(1, false, At(x, y));
    DispatchPendingMessages();
  }
  void Key(uint32_t vk) {
    SetFocus(List->Handle);
    InjectKey(true, vk, 0);
    InjectKey(false, vk, 0);
    DispatchPendingMessages();
  }
  const TSurface& Pixels() {
    InvalidateRect(List->Handle, nullptr, false);
    UpdateWindow(List->Handle);
    return *GetWindowSurface(List->Handle);
  }

  THandle Parent = 0;
  std::unique_ptr<TListView> List;
};

TEST_F(ListViewTest, CreatedAsAnOwnerDrawnButtonWithTheSixColumns) {
  EXPECT_EQ(GetWindowClassName(List->Handle), "BUTTON");
  EXPECT_EQ(GetControlId(List->Handle), kListViewControlId);
  EXPECT_EQ(GetParent(List->Handle), Parent);
  ASSERT_EQ(List->Columns.size(), 6u);
  const uint16_t widths[] = {100, 100, 10, 75, 50, 100};
  const TDataType types[] = {dtTitle, dtArtist, dtAlbum, dtAdded, dtGenre, dtFilename};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(List->Columns[i].Width, widths[i]);
    EXPECT_EQ(List->Columns[i].DataType, types[i]);
  }
  EXPECT_EQ(List->Columns[0].Caption, gLang.Title);
  EXPECT_EQ(List->InverseColor, MakeColor(15, 15, 15));  // inverse of the font colour 240, 240, 240
}

TEST_F(ListViewTest, ScrollClampsToTheLastFullPageAndTheFirstRow) {
  AddEntries(3);
  List->Scroll(20);  // MaxTop = 3 - 5 is negative
  EXPECT_EQ(List->TopIndex, 0);
  FreeMediaDB();
  CreateMediaDB();
  AddEntries(100);
  List->Scroll(200);
  EXPECT_EQ(List->TopIndex, 95);  // 100 - (100 - 15) div 15
  List->Scroll(-3);
  EXPECT_EQ(List->TopIndex, 92);
  List->Scroll(-500);
  EXPECT_EQ(List->TopIndex, 0);
}

TEST_F(ListViewTest, KeysMoveTheFirstRowAndEndShowsOnlyTheLastEntry) {
  AddEntries(100);
  Key(vkNext);
  EXPECT_EQ(List->TopIndex, 20);
  Key(vkDown);
  EXPECT_EQ(List->TopIndex, 21);
  Key(vkUp);
  Key(vkUp);
  EXPECT_EQ(List->TopIndex, 19);
  Key(vkPrior);
  EXPECT_EQ(List->TopIndex, 0);
  Key(vkEnd);
  EXPECT_EQ(List->TopIndex, 99);  // not clamped by the visible rows
  Key(vkHome);
  EXPECT_EQ(List->TopIndex, 0);
}

TEST_F(ListViewTest, AnEmptyDatabaseIgnoresKeysWheelAndClicks) {
  for (uint32_t vk : {uint32_t{vkNext}, uint32_t{vkEnd}, uint32_t{vkDown}, uint32_t{'B'}}) Key(vk);
  InjectWheel(-3, At(50, 50));
  DispatchPendingMessages();
  EXPECT_EQ(List->TopIndex, 0);
  Click(50, 40);  // a row of the empty list: no division by the empty count
  EXPECT_EQ(List->Selected, -1);
  List->SetSelected(2);
  List->SetSelected(-1);
  EXPECT_EQ(List->RowAt(50, 40), -1);
  // Only the background with its outline is drawn.
  const TSurface& s = Pixels();
  EXPECT_EQ(s.At(250, 50), kBgColor);
  EXPECT_EQ(s.At(495, 50), kBgColor);
  EXPECT_EQ(s.At(0, 0), MakeColor(0, 0, 0));
}

TEST_F(ListViewTest, RowAtIsMinusOneOnTheHeaderAndBelowTheLastEntry) {
  AddEntries(10);
  EXPECT_EQ(List->RowAt(50, 0), -1);
  EXPECT_EQ(List->RowAt(50, 14), -1);
  EXPECT_EQ(List->RowAt(50, 15), 0);
  EXPECT_EQ(List->RowAt(50, 44), 1);
  List->Scroll(5);
  EXPECT_EQ(List->TopIndex, 5);
  EXPECT_EQ(List->RowAt(50, 15), 5);
  EXPECT_EQ(List->RowAt(50, 15 + 4 * 15), 9);
  EXPECT_EQ(List->RowAt(50, 15 + 5 * 15), -1);  // index 10 does not exist
}

TEST_F(ListViewTest, ClickSelectsTheRowAndWheelNotchScrollsOneRow) {
  AddEntries(50);
  Click(50, 15 + 2 * 15 + 3);
  EXPECT_EQ(List->Selected, 2);
  Click(50, 5);  // the header of the title column sorts; the selected song stays selected
  EXPECT_EQ(MediaDB()->GetEntryPtr(List->Selected)->Title, u"Title 000002");
  List->SetTopIndex(10);
  InjectWheel(1, At(50, 50));  // a notch forward: one row up
  DispatchPendingMessages();
  EXPECT_EQ(List->TopIndex, 9);
  InjectWheel(-2, At(50, 50));
  DispatchPendingMessages();
  EXPECT_EQ(List->TopIndex, 11);
}

TEST_F(ListViewTest, TwoHeaderClicksSortAscendingThenDescendingKeepingTheSongInView) {
  AddEntries(40);
  MediaDB()->SortByTitle(true);  // the list in a known order, then unsorted again
  TMediaEntry extra;
  extra.Filename = u"/music/zz.mp3";
  extra.Title = u"Title 000040";
  MediaDB()->Add(extra);
  ASSERT_FALSE(MediaDB()->SortedByTitle);
  ASSERT_TRUE(MediaDB()->SortDescending);
  List->SetSelected(9);
  const std::u16string song = MediaDB()->GetEntryPtr(9)->Filename;  // Title 000030
  List->HeaderClick(50);  // title, from an unsorted list: ascending
  EXPECT_TRUE(MediaDB()->SortedByTitle);
  EXPECT_FALSE(MediaDB()->SortDescending);
  EXPECT_EQ(MediaDB()->GetEntryPtr(0)->Title, u"Title 000000");
  EXPECT_EQ(MediaDB()->GetEntryPtr(List->Selected)->Filename, song);
  EXPECT_EQ(List->Selected, 30);
  EXPECT_EQ(List->TopIndex, 25);  // selected - 5
  List->HeaderClick(50);          // again: descending
  EXPECT_TRUE(MediaDB()->SortDescending);
  EXPECT_EQ(MediaDB()->GetEntryPtr(0)->Title, u"Title 000040");
  EXPECT_EQ(List->Selected, 10);
  EXPECT_EQ(List->TopIndex, 5);
  List->HeaderClick(380);  // the file-name column (x 335 .. 435): the direction flips again
  EXPECT_TRUE(MediaDB()->SortedByFilename);
  EXPECT_FALSE(MediaDB()->SortDescending);
  EXPECT_EQ(MediaDB()->GetEntryPtr(List->Selected)->Filename, song);
  List->HeaderClick(440);  // right of the last column (435): nothing
  EXPECT_TRUE(MediaDB()->SortedByFilename);
  EXPECT_FALSE(MediaDB()->SortDescending);
}

TEST_F(ListViewTest, FirstLetterJumpFollowsTheSortKeyAndIsCaseSensitive) {
  AddArtists({u"Zappa", u"bach", u"Abba", u"", u"Brahms", u"Beatles", u"Coltrane"});
  Key('B');
  EXPECT_EQ(List->Selected, -1);   // unsorted: nothing
  MediaDB()->SortByArtist(false);  // "", Abba, Beatles, Brahms, Coltrane, Zappa, bach
  Key('B');
  EXPECT_EQ(MediaDB()->GetEntryPtr(List->Selected)->Artist, u"Beatles");
  EXPECT_EQ(List->TopIndex, List->Selected);
  Key('D');  // no D: stops at Zappa
  EXPECT_EQ(MediaDB()->GetEntryPtr(List->Selected)->Artist, u"Beatles");
  MediaDB()->SortByArtist(true);  // bach, Zappa, Coltrane, Brahms, Beatles, Abba, ""
  Key('B');
  EXPECT_EQ(MediaDB()->GetEntryPtr(List->Selected)->Artist, u"Brahms");
  MediaDB()->SortByAdded(false);
  List->Selected = -1;
  Key('A');
  EXPECT_EQ(List->Selected, -1);  // sorted by something without a letter key
}

TEST_F(ListViewTest, ThumbSitsAtTheRoundedShareOfTheFirstRow) {
  AddEntries(8);
  List->SetBounds(10, 10, 500, 125);  // (Height - 25) = 100
  const TColor scroll = TestLook().ScrollColor;
  const auto thumbTop = [&] {
    const TSurface& s = Pixels();
    for (int32_t y = 11; y < 125 - 11; ++y) {
      if (s.At(495, y) == scroll) return y;
    }
    return -1;
  };
  EXPECT_EQ(thumbTop(), 11);
  List->TopIndex = 1;  // 100 * 1 / 8 = 12.5: ties go to the even 12
  EXPECT_EQ(thumbTop(), 11 + 12);
  List->TopIndex = 3;  // 37.5 -> 38
  EXPECT_EQ(thumbTop(), 11 + 38);
  const TSurface& s = Pixels();
  EXPECT_EQ(s.At(495, 11 + 38 + 2), scroll);  // three pixels high
  EXPECT_EQ(s.At(495, 11 + 38 + 3), List->InverseColor);
  EXPECT_EQ(s.At(490, 3), scroll);  // the arrow boxes beside their triangles
  EXPECT_EQ(s.At(490, 122), scroll);
}

TEST_F(ListViewTest, PaintShowsHeaderSelectionBarAndOnlyTheVisibleRows) {
  AddEntries(1000);
  List->SetSelected(2);
  const TSurface& s = Pixels();
  EXPECT_EQ(s.At(300, 5), List->InverseColor);                // header
  EXPECT_EQ(s.At(480, 15 + 2 * 15 + 7), List->InverseColor);  // selection bar, clear of text
  EXPECT_EQ(s.At(480, 15 + 1 * 15 + 7), kBgColor);
  // Some text was drawn in the first row of the title column.
  bool text = false;
  for (int32_t x = 1; x < 99 && !text; ++x) {
    for (int32_t y = 16; y < 30 && !text; ++y) text = s.At(x, y) != kBgColor;
  }
  EXPECT_TRUE(text);
  EXPECT_EQ(CellText(*MediaDB()->GetEntryPtr(0), dtAdded),
            FormatDateTimeC(MediaDB()->GetEntryPtr(0)->Added));
}

TEST_F(ListViewTest, PlaybackSelectsTheRowAndScrollsItIntoView) {
  AddEntries(100);
  List->SelectAndReveal(3);  // visible: no scrolling
  EXPECT_EQ(List->Selected, 3);
  EXPECT_EQ(List->TopIndex, 0);
  List->SelectAndReveal(60);
  EXPECT_EQ(List->Selected, 60);
  EXPECT_EQ(List->TopIndex, 58);
  List->SelectAndReveal(1);
  EXPECT_EQ(List->TopIndex, 0);
}

// The held down arrow scrolls once per main-loop step until the button is up;
// afterwards nobody holds the pointer.
TEST_F(ListViewTest, HeldScrollArrowRepeatsUntilTheButtonIsUp) {
  AddEntries(100);
  int steps = 0;
  Playback().RunMainLoopStep = [&] {
    if (++steps == 4) InjectMouseButton(1, false, At(495, 95));
    TMessage m;
    while (PeekMessage(m)) DispatchMessage(m);
  };
  InjectMouseButton(1, true, At(495, 95));  // the down arrow
  DispatchPendingMessages();
  EXPECT_EQ(steps, 4);
  EXPECT_EQ(List->TopIndex, 4);
  EXPECT_FALSE(List->MouseDown);
  EXPECT_EQ(GetCapture(), 0u);
  // The up arrow, with the pointer leaving the box after the first step.
  steps = 0;
  Playback().RunMainLoopStep = [&] {
    ++steps;
    if (steps == 1) InjectMouseMove(At(300, 50));
    if (steps == 3) InjectMouseButton(1, false, At(300, 50));
    TMessage m;
    while (PeekMessage(m)) DispatchMessage(m);
  };
  InjectMouseButton(1, true, At(495, 3));
  DispatchPendingMessages();
  EXPECT_EQ(List->TopIndex, 3);
  EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(ListViewTest, HeldScrollArrowEndsWhenTheListViewGoesAway) {
  AddEntries(100);
  const TPointI downArrow = At(495, 95);
  Playback().RunMainLoopStep = [&] { List.reset(); };  // a skin switch frees the window
  InjectMouseButton(1, true, downArrow);
  DispatchPendingMessages();
  EXPECT_EQ(List, nullptr);
  EXPECT_EQ(GetCapture(), 0u);
  InjectMouseButton(1, false, downArrow);
  DispatchPendingMessages();
}

class ListViewPlayTest : public ListViewTest {
 protected:
  void SetUp() override {
    ListViewTest::SetUp();
    ::setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    SetExecutableDirForTesting(VESPERON_PROGRAM_DIR);
    ASSERT_TRUE(InitAudio());
  }
  void TearDown() override {
    Playback().Stop();
    Playback().ClearQueue();
    CloseAudio();
    ListViewTest::TearDown();
  }
};

TEST_F(ListViewPlayTest, DoubleClickOnARowPlaysThatSong) {
  for (const char* name : {"a.wav", "b.wav"}) {
    TMediaEntry e;
    e.Filename = testing::Song(name);
    MediaDB()->Add(e);
  }
  InjectMouseButton(1, true, At(50, 15 + 15 + 4));
  InjectMouseButton(1, false, At(50, 15 + 15 + 4));
  InjectMouseButton(1, true, At(50, 15 + 15 + 4));
  InjectMouseButton(1, false, At(50, 15 + 15 + 4));
  DispatchPendingMessages();
  const std::string opened =
      "open stream " + Utf16ToUtf8(testing::Song("b.wav")) + " into channel ";
  bool found = false;
  for (const std::string& l : LogLines)
    found = found || (l.find(opened) != std::string::npos && l.ends_with("..."));
  EXPECT_TRUE(found);
  EXPECT_TRUE(Playback().Queue.empty());
  EXPECT_NE(Playback().Current().Channel, nullptr);
  // A double click on the scroll strip or the header plays nothing.
  LogLines.clear();
  SendMessage(List->Handle, wmLButtonDblClk, 0, MakeLParam(495, 34));
  SendMessage(List->Handle, wmLButtonDblClk, 0, MakeLParam(50, 5));
  EXPECT_FALSE(Logged("open stream"));
}

}  // namespace
}  // namespace vesperon
