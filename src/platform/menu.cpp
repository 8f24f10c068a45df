// Popup menus drawn by the layer: each open level is a top-most window of
// its own; while any is open, every pointer and key event comes here.
#include <algorithm>
#include <map>

#include "platform/backend.h"

namespace vesperon {
namespace {

constexpr int32_t kItemHeight = 22;
constexpr int32_t kSeparatorHeight = 9;
constexpr int32_t kTextLeft = 28;
constexpr int32_t kTextRightRoom = 28;
constexpr int32_t kMinWidth = 120;
constexpr TColor kFace = MakeColor(0xF2, 0xF2, 0xF2);
constexpr TColor kBorder = MakeColor(0x97, 0x97, 0x97);
constexpr TColor kHover = MakeColor(0x91, 0xC9, 0xF7);
constexpr TColor kSeparator = MakeColor(0xD7, 0xD7, 0xD7);
constexpr TColor kText = 0;

enum TItemKind { ikItem, ikSeparator, ikSubMenu };

struct TItem {
  TItemKind Kind = ikItem;
  uint32_t Id = 0;
  std::u16string Text;
  TMenu Sub = 0;
};

struct TMenuRec {
  std::vector<TItem> Items;
};

// One open level: the menu shown, its window and the item under the pointer.
struct TLevel {
  TMenu Menu = 0;
  THandle Window = 0;
  int32_t Hover = -1;
};

struct TMenus {
  std::map<TMenu, TMenuRec> Menus;
  TMenu Next = 0x100;
  std::vector<TLevel> Open;  // outermost first
  THandle Owner = 0;
  THandle FocusBefore = 0;
  bool Armed = false;  // a button-up chooses only after the pointer moved or a button went down
  TPointI OpenedAt;
};

TMenus& M() {
  static TMenus menus;
  return menus;
}

TMenuRec* FindMenu(TMenu menu) {
  auto it = M().Menus.find(menu);
  return it == M().Menus.end() ? nullptr : &it->second;
}

int32_t ItemHeight(const TItem& item) {
  return item.Kind == ikSeparator ? kSeparatorHeight : kItemHeight;
}

TRect ItemRect(const TMenuRec& menu, int32_t index, int32_t width) {
  int32_t y = 1;
  for (int32_t i = 0; i < index; ++i) y += ItemHeight(menu.Items[i]);
  return {1, y, width - 1, y + ItemHeight(menu.Items[index])};
}

TPointI MenuSize(const TMenuRec& menu) {
  int32_t width = kMinWidth, height = 2;
  const PFont font = DefaultUiFont();
  for (const TItem& item : menu.Items) {
    height += ItemHeight(item);
    if (item.Kind != ikSeparator)
      width = std::max(width, kTextLeft + TextWidth(font, item.Text) + kTextRightRoom);
  }
  return {width, std::max(height, 2 + kItemHeight / 2)};
}

int32_t LevelOfWindow(THandle window) {
  for (std::size_t i = 0; i < M().Open.size(); ++i) {
    if (M().Open[i].Window == window) return static_cast<int32_t>(i);
  }
  return -1;
}

void PaintMenu(THandle window) {
  TPaint paint = BeginPaint(window);
  const int32_t level = LevelOfWindow(window);
  const TMenuRec* menu = level >= 0 ? FindMenu(M().Open[level].Menu) : nullptr;
  if (paint.Surface && menu) {
    TSurface& s = *paint.Surface;
    s.ResetClip();
    DrawRectangle(s, {0, 0, s.Width(), s.Height()}, kFace, kBorder);
    const PFont font = DefaultUiFont();
    for (int32_t i = 0; i < static_cast<int32_t>(menu->Items.size()); ++i) {
      const TItem& item = menu->Items[i];
      const TRect r = ItemRect(*menu, i, s.Width());
      if (item.Kind == ikSeparator) {
        FillRect(s,
                 {r.Left + 2, r.Top + kSeparatorHeight / 2, r.Right - 2,
                  r.Top + kSeparatorHeight / 2 + 1},
                 kSeparator);
        continue;
      }
      if (i == M().Open[level].Hover) FillRect(s, r, kHover);
      DrawText(s, font, item.Text, {r.Left + kTextLeft, r.Top, r.Right - kTextRightRoom, r.Bottom},
               kText, dtVCenter | dtEndEllipsis);
      if (item.Kind == ikSubMenu) {
        const int32_t cx = r.Right - 12, cy = (r.Top + r.Bottom) / 2;
        DrawPolygon(s, {{cx, cy - 4}, {cx + 4, cy}, {cx, cy + 4}}, kText, kText);
      }
    }
  }
  EndPaint(window, paint);
}

std::intptr_t MenuWindowHandler(THandle window, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  if (msg == wmPaint) {
    PaintMenu(window);
    return 0;
  }
  if (msg == wmEraseBkgnd) return 1;
  return DefWindowHandler(window, msg, wp, lp);
}

// Closes the levels from `level` inward.
void CloseFrom(std::size_t level) {
  auto& open = M().Open;
  while (open.size() > level) {
    const THandle window = open.back().Window;
    open.pop_back();
    DestroyWindow(window);
  }
  if (open.empty()) {
    Backend().GrabPointer(FindWindow(GetCapture()));
    Backend().GrabKeyboard(nullptr);
    if (IsWindow(M().FocusBefore)) SetFocus(M().FocusBefore);
  }
}

bool OpenLevel(TMenu menu, TPointI at, int32_t flipLeftX) {
  const TMenuRec* rec = FindMenu(menu);
  if (!rec) return false;
  const TPointI size = MenuSize(*rec);
  const TPointI screen{GetScreenWidth(), GetScreenHeight()};
  // Keep the menu on the screen: open to the left of the pointer (or of the
  // parent level) when it would leave the right edge, and upwards at the
  // bottom.
  if (at.X + size.X > screen.X) at.X = std::max(0, (flipLeftX >= 0 ? flipLeftX : at.X) - size.X);
  if (at.Y + size.Y > screen.Y) at.Y = std::max(0, screen.Y - size.Y);
  const THandle window =
      CreateMenuWindow({at.X, at.Y, at.X + size.X, at.Y + size.Y}, MenuWindowHandler);
  if (!window) return false;
  M().Open.push_back({menu, window, -1});
  if (M().Open.size() == 1) {
    TWindowRec* w = FindWindow(window);
    Backend().GrabPointer(w);
    Backend().GrabKeyboard(w);
  }
  UpdateWindow(window);
  return true;
}

void SetHover(std::size_t level, int32_t index) {
  TLevel& l = M().Open[level];
  if (l.Hover == index) return;
  l.Hover = index;
  InvalidateRect(l.Window, nullptr, false);
  UpdateWindow(l.Window);
}

// Opens the sub-menu of the hovered item (closing deeper levels first).
void OpenHoveredSub(std::size_t level) {
  const TLevel l = M().Open[level];
  const TMenuRec* rec = FindMenu(l.Menu);
  if (!rec || l.Hover < 0) return;
  const TItem& item = rec->Items[l.Hover];
  if (M().Open.size() > level + 1 && M().Open[level + 1].Menu == item.Sub) return;
  CloseFrom(level + 1);
  if (item.Kind != ikSubMenu) return;
  const TRect wr = GetWindowRect(l.Window);
  const TRect ir = ItemRect(*rec, l.Hover, wr.Width());
  OpenLevel(item.Sub, {wr.Right - 2, wr.Top + ir.Top - 1}, wr.Left + 2);
}

void Choose(std::size_t level) {
  const TLevel l = M().Open[level];
  const TMenuRec* rec = FindMenu(l.Menu);
  if (!rec || l.Hover < 0) return;
  const TItem item = rec->Items[l.Hover];
  if (item.Kind == ikSubMenu) {
    OpenHoveredSub(level);
    return;
  }
  if (item.Kind != ikItem) return;
  const THandle owner = M().Owner;
  CloseMenus();
  PostMessage(owner, wmCommand, item.Id & 0xFFFF, 0);
}

int32_t ItemAt(std::size_t level, TPointI screen) {
  const TLevel& l = M().Open[level];
  const TMenuRec* rec = FindMenu(l.Menu);
  const TRect wr = GetWindowRect(l.Window);
  if (!rec || !wr.Contains(screen.X, screen.Y)) return -1;
  for (int32_t i = 0; i < static_cast<int32_t>(rec->Items.size()); ++i) {
    if (rec->Items[i].Kind == ikSeparator) continue;
    TRect r = ItemRect(*rec, i, wr.Width());
    if (r.Contains(screen.X - wr.Left, screen.Y - wr.Top)) return i;
  }
  return -1;
}

// The innermost open level under the point, or -1.
int32_t LevelAt(TPointI screen) {
  for (int32_t i = static_cast<int32_t>(M().Open.size()) - 1; i >= 0; --i) {
    if (GetWindowRect(M().Open[i].Window).Contains(screen.X, screen.Y)) return i;
  }
  return -1;
}

void MoveHover(int32_t step) {
  TLevel& l = M().Open.back();
  const TMenuRec* rec = FindMenu(l.Menu);
  if (!rec || rec->Items.empty()) return;
  const int32_t n = static_cast<int32_t>(rec->Items.size());
  int32_t i = l.Hover;
  for (int32_t tries = 0; tries < n; ++tries) {
    i = ((i < 0 && step < 0 ? 0 : i) + step + n) % n;
    if (rec->Items[i].Kind != ikSeparator) break;
  }
  SetHover(M().Open.size() - 1, i);
}

}  // namespace

TMenu CreatePopupMenu() {
  const TMenu menu = M().Next++;
  M().Menus[menu] = {};
  return menu;
}

void DestroyMenu(TMenu menu) {
  TMenuRec* rec = FindMenu(menu);
  if (!rec) return;
  for (const TLevel& l : M().Open) {
    if (l.Menu == menu) {
      CloseMenus();
      break;
    }
  }
  std::vector<TMenu> subs;
  for (const TItem& item : rec->Items) {
    if (item.Kind == ikSubMenu) subs.push_back(item.Sub);
  }
  M().Menus.erase(menu);
  for (TMenu sub : subs) DestroyMenu(sub);
}

void AppendMenuItem(TMenu menu, uint32_t id, std::u16string_view text) {
  if (TMenuRec* rec = FindMenu(menu)) rec->Items.push_back({ikItem, id, std::u16string(text), 0});
}

void AppendMenuSeparator(TMenu menu) {
  if (TMenuRec* rec = FindMenu(menu)) rec->Items.push_back({ikSeparator, 0, {}, 0});
}

void AppendSubMenu(TMenu menu, TMenu subMenu, std::u16string_view text) {
  TMenuRec* rec = FindMenu(menu);
  if (rec && subMenu != menu && FindMenu(subMenu))
    rec->Items.push_back({ikSubMenu, 0, std::u16string(text), subMenu});
}

int32_t GetMenuItemCount(TMenu menu) {
  const TMenuRec* rec = FindMenu(menu);
  return rec ? static_cast<int32_t>(rec->Items.size()) : -1;
}

bool GetMenuItemInfo(TMenu menu, int32_t index, TMenuItemInfo& info) {
  const TMenuRec* rec = FindMenu(menu);
  if (!rec || index < 0 || index >= static_cast<int32_t>(rec->Items.size())) return false;
  const TItem& item = rec->Items[index];
  info = {item.Kind == ikSeparator, item.Id, item.Text, item.Sub};
  return true;
}

bool TrackPopupMenu(TMenu menu, TPointI screen, THandle owner) {
  if (!FindMenu(menu) || !IsWindow(owner)) return false;
  CloseMenus();
  M().Owner = owner;
  M().FocusBefore = GetFocus();
  M().Armed = false;
  M().OpenedAt = screen;
  return OpenLevel(menu, screen, -1);
}

void CloseMenus() {
  if (!M().Open.empty()) CloseFrom(0);
}

std::vector<TMenu> OpenMenus() {
  std::vector<TMenu> out;
  for (const TLevel& l : M().Open) out.push_back(l.Menu);
  return out;
}

bool GetMenuItemRect(TMenu menu, int32_t index, TRect& rect) {
  for (const TLevel& l : M().Open) {
    const TMenuRec* rec = FindMenu(l.Menu);
    if (l.Menu != menu || !rec || index < 0 || index >= static_cast<int32_t>(rec->Items.size()))
      continue;
    const TRect wr = GetWindowRect(l.Window);
    const TRect r = ItemRect(*rec, index, wr.Width());
    rect = {r.Left + wr.Left, r.Top + wr.Top, r.Right + wr.Left, r.Bottom + wr.Top};
    return true;
  }
  return false;
}

bool MenusOpen() { return !M().Open.empty(); }

void MenuPointer(TPointerEvent kind, int /*button*/, TPointI screen) {
  TMenus& m = M();
  if (kind == peDown || (kind == peMove && (screen.X != m.OpenedAt.X || screen.Y != m.OpenedAt.Y)))
    m.Armed = true;
  const int32_t level = LevelAt(screen);
  if (level < 0) {
    if (kind == peDown) CloseMenus();  // a click outside cancels
    return;
  }
  const int32_t item = ItemAt(level, screen);
  if (kind == peMove || kind == peDown) {
    SetHover(level, item);
    if (item >= 0) OpenHoveredSub(level);
    return;
  }
  if (kind == peUp && m.Armed && item >= 0) {
    SetHover(level, item);
    Choose(level);
  }
}

void MenuKey(uint32_t virtualKey) {
  auto& open = M().Open;
  switch (virtualKey) {
    case vkEscape:
    case vkLeft:
      if (virtualKey == vkLeft && open.size() == 1) return;
      CloseFrom(open.size() - 1);
      return;
    case vkUp: MoveHover(-1); return;
    case vkDown: MoveHover(1); return;
    case vkRight: OpenHoveredSub(open.size() - 1); return;
    case vkReturn:
    case vkSpace: Choose(open.size() - 1); return;
    default: return;
  }
}

void DestroyAllMenus() {
  CloseMenus();
  M().Menus.clear();
}

}  // namespace vesperon
