// Painting: invalid areas, the paint and erase messages, and presenting a
// window's surface on the display.
#include <algorithm>

#include "core/idle_path.h"
#include "platform/window_state.h"

namespace vesperon {

VESPERON_IDLE_PATH TSurface* GetWindowSurface(THandle window) {
  TWindowRec* w = FindWindow(window);
  return w ? &w->Surface : nullptr;
}

void InvalidateRect(THandle window, const TRect* area, bool erase) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  const TRect client{0, 0, w->Bounds.Width(), w->Bounds.Height()};
  TRect r = area ? *area : client;
  r = {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, client.Right),
       std::min(r.Bottom, client.Bottom)};
  if (r.Empty()) return;
  TRect& inv = w->Invalid;
  inv = inv.Empty() ? r
                    : TRect{std::min(inv.Left, r.Left), std::min(inv.Top, r.Top),
                            std::max(inv.Right, r.Right), std::max(inv.Bottom, r.Bottom)};
  w->EraseNeeded = w->EraseNeeded || erase;
  Layer().PaintMaybeDue = true;
}

void UpdateWindow(THandle window) {
  TWindowRec* w = FindWindow(window);
  if (w && !w->Invalid.Empty() && ChainVisible(*w)) SendMessage(window, wmPaint);
}

VESPERON_IDLE_PATH void PresentWindow(THandle window, const TRect* area) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  const TRect client{0, 0, w->Bounds.Width(), w->Bounds.Height()};
  TRect r = area ? *area : client;
  r = {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, client.Right),
       std::min(r.Bottom, client.Bottom)};
  if (r.Empty()) return;
  ++w->PresentCount;
  if (ChainVisible(*w)) Backend().Present(*w, r);
}

TPaint BeginPaint(THandle window) {
  TWindowRec* w = FindWindow(window);
  TPaint paint;
  if (!w) return paint;
  paint.Surface = &w->Surface;
  paint.Area = w->Invalid;
  const bool erase = w->EraseNeeded;
  w->Invalid = {};
  w->EraseNeeded = false;
  w->Surface.SetClip(paint.Area);
  if (erase && !paint.Area.Empty()) SendMessage(window, wmEraseBkgnd);
  return paint;
}

void EndPaint(THandle window, const TPaint& paint) {
  TWindowRec* w = FindWindow(window);
  if (!w) return;
  w->Surface.ResetClip();
  PresentWindow(window, &paint.Area);
}
uint32_t PresentCount(THandle window) {
  const TWindowRec* w = FindWindow(window);
  return w ? w->PresentCount : 0;
}

}  // namespace vesperon
