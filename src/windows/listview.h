#pragma once
// The list view: the media database as a table inside the media-db window.
//
// A header row of six fixed columns, one row per media entry, a slim scroll
// strip at the right edge (arrows, 3-pixel thumb). Keys, the wheel and the
// scroll arrows move the first shown row (TopIndex); a click selects a row, a
// double click plays its song, a header click sorts the database by that
// column, flipping the direction every time. The data source is always the
// process-wide media database; a paint costs time in proportion to the rows
// shown, never to the number of entries.
//
// It is a child window made as an owner-drawn button whose handler is
// replaced by the list view's own; what it does not handle goes to the
// button's handler (focus, capture while the button is held).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vesperon {

class TMediaDB;
struct TMediaEntry;
struct TFramedWindowLook;

enum TDataType : int32_t {
  dtTitle = 0,
  dtArtist = 1,
  dtAdded = 2,
  dtFilename = 3,
  dtGenre = 4,
  dtAlbum = 5
};

struct TColumn {
  std::u16string Caption;
  uint16_t Width = 0;  // pixels
  TDataType DataType = dtTitle;
};

inline constexpr uint32_t kListViewControlId = 100;
// Width of the scroll strip at the right edge and height of its arrow boxes.
inline constexpr int32_t kScrollStripWidth = 11;
// Rows moved by Page Up and Page Down.
inline constexpr int32_t kPageRows = 20;
// Pause between two steps of a held scroll arrow.
inline constexpr int32_t kScrollRepeatMs = 20;

class TListView {
 public:
  // Creates the child window in `owner` with the colours of the look:
  // background "bgcolor", header and strip in the inverse of
  // "buttonfontcolor", arrows and thumb in "scrollcolor". When the window
  // cannot be made the error is logged and Handle stays 0.
  TListView(THandle owner, const TFramedWindowLook& look);
  ~TListView();
  TListView(const TListView&) = delete;
  TListView& operator=(const TListView&) = delete;

  // Store the value and move the window to (Left, Top, Width, Height).
  void SetLeft(int32_t x);
  void SetTop(int32_t y);
  void SetWidth(int32_t w);
  void SetHeight(int32_t h);
  // All four at once, with one move.
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);

  // Selects entry `index` (-1: none), repainting the old and the new row.
  void SetSelected(int32_t index);
  // TopIndex := index clamped to 0 .. Count - 1; repaints.
  void SetTopIndex(int32_t index);
  // Moves TopIndex by `delta` rows, no further than the last full page
  // and not before the first row. Nothing with an empty database.
  void Scroll(int32_t delta);
  // The entry under (x, y) of the control, -1 on the header or below the
  // last entry.
  int32_t RowAt(int32_t x, int32_t y) const;
  // What playback does when it starts a song from the database: selects
  // its row and, when the row is not among the rows shown, scrolls so that
  // it is the third row.
  void SelectAndReveal(int32_t index);

  // The keys of the table: Page Up/Down, Home, End, Up, Down, A-Z.
  void KeyDown(uint32_t virtualKey);
  // Selects and shows the first entry whose sort key starts with the
  // upper-case letter (the database must be sorted by title, artist,
  // genre or file name; nothing otherwise).
  void JumpToLetter(char16_t letter);
  // Sorts by the column under x and keeps the selected song selected and
  // in view. The direction flips on every click, whichever column was
  // sorted before; an unsorted list sorts ascending. Nothing right of the
  // last column.
  void HeaderClick(int32_t x);
  // Plays the entry of the row under (x, y): the queue is cleared, the
  // song enqueued and started.
  void DoubleClick(int32_t x, int32_t y);

  // Draws the whole control into a surface of Width x Height.
  void Paint(TSurface& surface) const;

  THandle Handle = 0;
  TColor BackColor = 0;
  TColor InverseColor = 0;  // 255 - each component of "buttonfontcolor"
  TColor ScrollColor = 0;
  TColor FontColor = 0;
  PFont Font;
  std::vector<TColumn> Columns;
  int32_t Selected = -1;
  int32_t TopIndex = 0;
  int32_t RowHeight = 15;
  int32_t Left = 10;
  int32_t Top = 10;
  int32_t Width = 75;
  int32_t Height = 100;
  bool MouseDown = false;  // left button held (ends the scroll arrows' repeat)

 private:
  std::intptr_t WindowProc(THandle window, uint32_t msg, std::uintptr_t wParam,
                           std::intptr_t lParam);
  // Left button down; false when the message must not go on to the
  // button's handler (a scroll arrow's repeat has run to its end).
  bool LeftButtonDown(int32_t x, int32_t y);
  void Wheel(int32_t delta);
  // Scrolls by `delta` every kScrollRepeatMs while the button is held and
  // the pointer stays in the arrow box of rows y0..y1 (client), running
  // the player's main loop between steps.
  void RepeatScroll(int32_t delta, int32_t y0, int32_t y1);
  void Repaint();
  void Move();
  TRect RowRect(int32_t index) const;
  TRect ThumbRect() const;
  void PaintScrollStrip(TSurface& s, int32_t count) const;
  void PaintHeader(TSurface& s) const;
  void PaintRows(TSurface& s, const TMediaDB& db) const;

  TWindowHandler OldWndProc;
  // Expires when the list view is freed: the scroll repeat checks it after
  // every main-loop step, which may unload the skin and everything in it.
  std::shared_ptr<int> LifeToken = std::make_shared<int>(0);
};

// The text a column shows for an entry.
std::u16string CellText(const TMediaEntry& entry, TDataType type);

}  // namespace vesperon
