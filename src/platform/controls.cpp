// Standard controls: push buttons and static text drawn by the layer, or
// owner-drawn by their parent.
#include "platform/window_state.h"

namespace vesperon {
namespace {

void PaintControl(TWindowRec& w, TSurface& s, const TRect& area) {
  const TRect client{0, 0, s.Width(), s.Height()};
  if (w.Params.Flags & wfOwnerDraw) {
    TDrawItem item;
    item.ControlId = w.Params.ControlId;
    item.Window = w.Handle;
    item.Surface = &s;
    item.Area = client;
    item.Selected = w.Pressed;
    (void)area;
    SendMessage(w.Params.Parent, wmDrawItem, w.Params.ControlId,
                reinterpret_cast<std::intptr_t>(&item));
    return;
  }
  const PFont font = w.Font ? w.Font : DefaultUiFont();
  if (w.Params.Control == ckButton) {
    DrawRectangle(s, client, w.Pressed ? MakeColor(0xCC, 0xE4, 0xF7) : MakeColor(0xE1, 0xE1, 0xE1),
                  w.Pressed ? MakeColor(0x00, 0x54, 0x99) : MakeColor(0xAD, 0xAD, 0xAD));
    DrawText(s, font, w.Params.Title, client, 0, dtCenter | dtVCenter | dtEndEllipsis);
  } else {
    FillRect(s, client, w.Params.Background);
    DrawText(s, font, w.Params.Title, client, 0, dtLeft);
  }
}

}  // namespace

std::intptr_t ControlHandler(THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  TWindowRec* w = FindWindow(h);
  if (!w) return 0;
  switch (msg) {
    case wmPaint: {
      TPaint paint = BeginPaint(h);
      if (paint.Surface) PaintControl(*w, *paint.Surface, paint.Area);
      EndPaint(h, paint);
      return 0;
    }
    case wmEraseBkgnd: return 1;  // the paint covers the whole control
    case wmLButtonDown:
    case wmLButtonDblClk:
      if (w->Params.Control != ckButton) break;
      w->Pressed = true;
      SetCapture(h);
      SetFocus(h);
      InvalidateRect(h, nullptr, false);
      return 0;
    case wmLButtonUp: {
      if (w->Params.Control != ckButton || !w->Pressed) break;
      w->Pressed = false;
      ReleaseCapture();
      InvalidateRect(h, nullptr, false);
      const TPointI p{LoWordSigned(lp), HiWordSigned(lp)};
      if (GetClientRect(h).Contains(p.X, p.Y)) {
        SendMessage(w->Params.Parent, wmCommand, (w->Params.ControlId & 0xFFFF) | (bnClicked << 16),
                    h);
      }
      return 0;
    }
    case wmCaptureChanged:
      if (w->Pressed) {
        w->Pressed = false;
        InvalidateRect(h, nullptr, false);
      }
      return 0;
    default: break;
  }
  return DefWindowHandler(h, msg, wp, lp);
}

}  // namespace vesperon
