#include "windows/listview.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/playback.h"
#include "core/date_time.h"
#include "core/language.h"
#include "core/log.h"
#include "media/mediadb.h"
#include "windows/framed_window.h"

namespace vesperon {
namespace {

constexpr TColor kPenColor = MakeColor(0, 0, 0);  // outlines: the default pen

int32_t EntryCount() { return MediaDB() != nullptr ? MediaDB()->Count() : 0; }

TColor Inverse(TColor c) {
  return MakeColor(255 - ((c >> 16) & 0xFF), 255 - ((c >> 8) & 0xFF), 255 - (c & 0xFF));
}

std::vector<TColumn> StandardColumns() {
  return {{gLang.Title, 100, dtTitle}, {gLang.Artist, 100, dtArtist},
          {gLang.Album, 10, dtAlbum},  {gLang.Added, 75, dtAdded},
          {gLang.Genre, 50, dtGenre},  {gLang.Filename, 100, dtFilename}};
}

// One pass of the player's main loop; without a main loop (tests, tools)
// one queued message is handled, so the button-up still arrives.
void RunMainLoopStep() {
  if (Playback().RunMainLoopStep) {
    Playback().RunMainLoopStep();
    return;
  }
  TMessage message;
  if (PeekMessage(message) && message.Msg != wmQuit) {
    TranslateMessage(message);
    DispatchMessage(message);
  }
}

// The sort key the first-letter jump looks at, by the database's sort
// state; null when it is sorted by something else or not at all.
const std::u16string* JumpKey(const TMediaDB& db, const TMediaEntry& e) {
  if (db.SortedByFilename) return &e.Filename;
  if (db.SortedByTitle) return &e.Title;
  if (db.SortedByArtist) return &e.Artist;
  if (db.SortedByGenre) return &e.Genre;
  return nullptr;
}

bool SortedByAnything(const TMediaDB& db) {
  return db.SortedByTitle || db.SortedByArtist || db.SortedByFilename || db.SortedByAdded ||
         db.SortedByGenre || db.SortedByAlbum;
}

void SortBy(TMediaDB& db, TDataType type, bool descending) {
  switch (type) {
    case dtTitle: db.SortByTitle(descending); break;
    case dtArtist: db.SortByArtist(descending); break;
    case dtAdded: db.SortByAdded(descending); break;
    case dtFilename: db.SortByFilename(descending); break;
    case dtGenre: db.SortByGenre(descending); break;
    case dtAlbum: db.SortByAlbum(descending); break;
  }
}

}  // namespace

std::u16string CellText(const TMediaEntry& entry, TDataType type) {
  switch (type) {
    case dtTitle: return entry.Title;
    case dtArtist: return entry.Artist;
    case dtAdded: return FormatDateTimeC(entry.Added);
    case dtFilename: return entry.Filename;
    case dtGenre: return entry.Genre;
    case dtAlbum: return entry.Album;
  }
  return {};
}

// ---- creation and placement -------------------------------------------------

TListView::TListView(THandle owner, const TFramedWindowLook& look)
    : BackColor(look.BgColor),
      InverseColor(Inverse(look.ButtonFontColor)),
      ScrollColor(look.ScrollColor),
      FontColor(look.ButtonFontColor),
      Font(CreateFont("Verdana", 12)),
      Columns(StandardColumns()) {
  TWindowParams params;
  params.ClassName = "BUTTON";
  params.Bounds = {Left, Top, Left + Width, Top + Height};
  params.Parent = owner;
  params.Flags = wfVisible | wfOwnerDraw | wfDoubleClicks;
  params.Control = ckButton;
  params.ControlId = kListViewControlId;
  params.Background = BackColor;
  Handle = CreateWindow(params);
  if (Handle == 0) {
    LogError("Could not create listview for media-db! " + LastWindowError());
    return;
  }
  OldWndProc =
      SetWindowHandler(Handle, [this](THandle h, uint32_t msg, std::uintptr_t wp,
                                      std::intptr_t lp) { return WindowProc(h, msg, wp, lp); });
}

TListView::~TListView() {
  if (Handle != 0) DestroyWindow(Handle);
}

void TListView::Move() {
  if (Handle != 0) MoveWindow(Handle, {Left, Top, Left + Width, Top + Height}, true);
}

void TListView::SetLeft(int32_t x) {
  Left = x;
  Move();
}

void TListView::SetTop(int32_t y) {
  Top = y;
  Move();
}

void TListView::SetWidth(int32_t w) {
  Width = w;
  Move();
}

void TListView::SetHeight(int32_t h) {
  Height = h;
  Move();
}

void TListView::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  Move();
}

// ---- rows and scrolling -----------------------------------------------------

TRect TListView::RowRect(int32_t index) const {
  const int32_t y = (index - TopIndex) * RowHeight + RowHeight;
  return {0, y, Width, y + RowHeight};
}

// The thumb as SetSelected repaints it (integer division); only called
// with entries in the database.
TRect TListView::ThumbRect() const {
  const int32_t y = (Height - 25) * TopIndex / EntryCount() + kScrollStripWidth;
  return {Width - kScrollStripWidth, y, Width, y + 3};
}

void TListView::SetSelected(int32_t index) {
  const bool any = EntryCount() > 0;
  if (Selected >= 0) {
    const TRect row = RowRect(Selected);
    InvalidateRect(Handle, &row, true);
    if (any) {
      const TRect thumb = ThumbRect();
      InvalidateRect(Handle, &thumb, true);
    }
  }
  Selected = index;
  const TRect row = RowRect(Selected);
  InvalidateRect(Handle, &row, true);
  UpdateWindow(Handle);
  if (any) {
    const TRect thumb = ThumbRect();
    InvalidateRect(Handle, &thumb, true);
  }
}

void TListView::SetTopIndex(int32_t index) {
  TopIndex = std::max(0, std::min(index, EntryCount() - 1));
  InvalidateRect(Handle, nullptr, false);
}

void TListView::Scroll(int32_t delta) {
  const int32_t count = EntryCount();
  if (count == 0) return;
  TopIndex += delta;
  const int32_t maxTop = count - (Height - RowHeight) / RowHeight;
  if (TopIndex > maxTop) TopIndex = maxTop;
  if (TopIndex < 0) TopIndex = 0;
}

int32_t TListView::RowAt(int32_t, int32_t y) const {
  if (y < RowHeight) return -1;
  const int32_t row = (y - RowHeight) / RowHeight + TopIndex;
  return row < EntryCount() ? row : -1;
}

void TListView::SelectAndReveal(int32_t index) {
  SetSelected(index);
  const int32_t offset = (index - TopIndex) * RowHeight;
  if (offset < 0 || offset >= Height) SetTopIndex(index - 2);
}

// ---- keys, letters, header, double click -------------------------------------

void TListView::KeyDown(uint32_t key) {
  switch (key) {
    case vkPrior: Scroll(-kPageRows); break;
    case vkNext: Scroll(kPageRows); break;
    // End shows only the last entry; with no entries TopIndex stays 0.
    case vkEnd: TopIndex = std::max(EntryCount() - 1, 0); break;
    case vkHome: TopIndex = 0; break;
    case vkUp: Scroll(-1); break;
    case vkDown: Scroll(1); break;
    default:
      if (key >= 'A' && key <= 'Z') JumpToLetter(static_cast<char16_t>(key));
      break;
  }
}

void TListView::JumpToLetter(char16_t letter) {
  TMediaDB* db = MediaDB();
  if (db == nullptr) return;
  for (int32_t i = 0; i < db->Count(); ++i) {
    const TMediaEntry& entry = *db->GetEntryPtr(i);
    const std::u16string* key = JumpKey(*db, entry);
    if (key == nullptr) return;
    if (key->empty()) continue;
    const char16_t first = (*key)[0];
    if (first == letter) {
      Selected = TopIndex = i;
      return;
    }
    // The entries are in sort order: once past the letter it cannot come.
    if (db->SortDescending ? first < letter : first > letter) return;
  }
}

void TListView::HeaderClick(int32_t x) {
  TMediaDB* db = MediaDB();
  if (db == nullptr) return;
  int32_t left = 0;
  const TColumn* column = nullptr;
  for (const TColumn& c : Columns) {
    if (x >= left && x < left + c.Width) {
      column = &c;
      break;
    }
    left += c.Width;
  }
  if (column == nullptr) return;
  const PMediaEntry selected = db->GetEntryPtr(Selected);
  const std::u16string filename = selected != nullptr ? selected->Filename : std::u16string();
  SortBy(*db, column->DataType, SortedByAnything(*db) && !db->SortDescending);
  const int32_t index = selected != nullptr ? db->IndexOfFilename(filename) : -1;
  if (index >= 0) {
    SetSelected(index);
    SetTopIndex(index - 5);
  }
  Repaint();
}

void TListView::DoubleClick(int32_t x, int32_t y) {
  if (x >= Width - kScrollStripWidth) return;
  const int32_t row = RowAt(x, y);
  if (row < 0) return;
  // Copied: starting the song may run main-loop steps that change the database order.
  const std::u16string filename = MediaDB()->GetEntryPtr(row)->Filename;
  Playback().ClearQueue();
  Playback().Enqueue(filename);
  Playback().Next(false);
}

// ---- mouse ----------------------------------------------------------------------

bool TListView::LeftButtonDown(int32_t x, int32_t y) {
  MouseDown = true;
  if (x < Width - kScrollStripWidth) {
    if (y >= RowHeight) SetSelected(RowAt(x, y));
    return true;
  }
  if (y < kScrollStripWidth) {
    RepeatScroll(-1, 0, kScrollStripWidth);
    return false;
  }
  if (y > Height - kScrollStripWidth) {
    RepeatScroll(1, Height - kScrollStripWidth, Height);
    return false;
  }
  return true;
}

void TListView::RepeatScroll(int32_t delta, int32_t y0, int32_t y1) {
  const std::weak_ptr<int> alive = LifeToken;
  const THandle handle = Handle;
  SetCapture(handle);
  // The button-up clears MouseDown; losing the capture (the window hidden
  // or destroyed, another window taking it) ends the repeat as well, so it
  // cannot wait for a button-up that goes elsewhere.
  while (!alive.expired() && MouseDown && GetCapture() == handle) {
    const TPointI p = ScreenToClient(handle, GetCursorPos());
    if (p.X >= Width - kScrollStripWidth && p.X <= Width && p.Y >= y0 && p.Y <= y1) {
      Scroll(delta);
      Repaint();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kScrollRepeatMs));
    RunMainLoopStep();
  }
  // The capture is let go only while it is still ours: it is never taken
  // again once the button is up.
  if (!alive.expired() && GetCapture() == handle) ReleaseCapture();
}

void TListView::Wheel(int32_t delta) {
  Scroll(-delta / 120);
  Repaint();
}

void TListView::Repaint() {
  InvalidateRect(Handle, nullptr, true);
  UpdateWindow(Handle);
}

std::intptr_t TListView::WindowProc(THandle window, uint32_t msg, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
  // Copied first: a double click or a scroll arrow runs the player, which
  // may free this list view before the message goes on.
  const TWindowHandler old = OldWndProc;
  const std::weak_ptr<int> alive = LifeToken;
  const int32_t x = LoWordSigned(lParam), y = HiWordSigned(lParam);
  switch (msg) {
    case wmPaint: {
      TPaint paint = BeginPaint(window);
      if (paint.Surface != nullptr && MediaDB() != nullptr) Paint(*paint.Surface);
      EndPaint(window, paint);
      return 0;
    }
    case wmEraseBkgnd: return 1;
    case wmKeyDown:
      KeyDown(static_cast<uint32_t>(wParam));
      Repaint();
      return 0;
    case wmLButtonDown:
      if (!LeftButtonDown(x, y)) return 0;
      break;
    case wmLButtonUp:
      MouseDown = false;
      if (y < RowHeight && x < Width - kScrollStripWidth) HeaderClick(x);
      break;
    case wmLButtonDblClk: DoubleClick(x, y); break;
    case wmMouseWheel: Wheel(HiWordSigned(static_cast<std::intptr_t>(wParam))); return 0;
    default: break;
  }
  if (alive.expired()) return 0;
  return old ? old(window, msg, wParam, lParam) : DefWindowHandler(window, msg, wParam, lParam);
}

// ---- painting ---------------------------------------------------------------------

void TListView::Paint(TSurface& s) const {
  DrawRectangle(s, {0, 0, Width, Height}, BackColor, kPenColor);
  const TMediaDB* db = MediaDB();
  const int32_t count = db != nullptr ? db->Count() : 0;
  if (TopIndex < 0 || TopIndex >= count) return;
  PaintScrollStrip(s, count);
  PaintHeader(s);
  PaintRows(s, *db);
}

void TListView::PaintScrollStrip(TSurface& s, int32_t count) const {
  const int32_t left = Width - kScrollStripWidth;
  FillRect(s, {left, kScrollStripWidth, Width, Height - kScrollStripWidth}, InverseColor);
  FillRect(s, {left, 0, Width, kScrollStripWidth}, ScrollColor);
  DrawPolygon(s, {{Width - 9, 8}, {Width - 3, 8}, {Width - 6, 2}}, BackColor, kPenColor);
  FillRect(s, {left, Height - kScrollStripWidth, Width, Height}, ScrollColor);
  DrawPolygon(s, {{Width - 9, Height - 8}, {Width - 3, Height - 8}, {Width - 6, Height - 2}},
              BackColor, kPenColor);
  // Rounded to the nearest row, ties to even (the default rounding mode).
  const auto thumb =
      static_cast<int32_t>(std::nearbyint(static_cast<double>(Height - 25) * TopIndex / count));
  FillRect(s, {left, thumb + kScrollStripWidth, Width, thumb + kScrollStripWidth + 3}, ScrollColor);
}

void TListView::PaintHeader(TSurface& s) const {
  FillRect(s, {1, 1, Width - kScrollStripWidth, RowHeight}, InverseColor);
  int32_t x = 0;
  for (const TColumn& c : Columns) {
    if (x > Width) break;
    FillRect(s, {x + 1, 1, x + c.Width - 1, RowHeight}, InverseColor);
    TextOut(s, Font, x + 2, 2, c.Caption, FontColor);
    x += c.Width;
  }
}

void TListView::PaintRows(TSurface& s, const TMediaDB& db) const {
  const int32_t visible = std::max(0, (Height - RowHeight + RowHeight - 1) / RowHeight);
  if (Selected >= TopIndex && Selected <= TopIndex + visible) {
    const int32_t y = (Selected - TopIndex) * RowHeight + RowHeight;
    FillRect(s, {1, y + 1, Width - kScrollStripWidth, y + RowHeight}, InverseColor);
  }
  const int32_t last = std::min(TopIndex + visible, db.Count() - 1);
  const TRect& clip = s.Clip();
  int32_t x = 0;
  for (const TColumn& c : Columns) {
    if (x > Width) break;
    // Cells stop at the scroll strip, so a narrow list keeps its arrows.
    const int32_t right = std::min(x + c.Width - 2, Width - kScrollStripWidth);
    for (int32_t r = TopIndex; r <= last; ++r) {
      const int32_t y = (r - TopIndex) * RowHeight + RowHeight;
      if (y >= clip.Bottom || y + RowHeight <= clip.Top)
        continue;  // outside the area being painted
      DrawText(s, Font, CellText(*db.GetEntryPtr(r), c.DataType), {x + 1, y, right, y + RowHeight},
               FontColor, dtEndEllipsis);
    }
    x += c.Width;
  }
}

}  // namespace vesperon
