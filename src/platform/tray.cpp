// The tray icon's state; the backend docks and draws it.
#include "core/text.h"
#include "platform/window_state.h"

namespace vesperon {

// The icon stays registered while no tray runs; the backend docks it when a
// tray starts, so the tip is kept here and handed over at every change.
bool TrayAvailable() { return Backend().TrayExists(); }

bool AddTrayIcon(THandle owner, uint32_t id, uint32_t callbackMessage, const TIconSet& icon,
                 std::u16string_view tip) {
  TTray& t = Layer().Tray;
  if (!FindWindow(owner)) return false;
  if (t.Present) RemoveTrayIcon();
  t = {};
  t.Present = true;
  t.Owner = owner;
  t.Id = id;
  t.CallbackMessage = callbackMessage;
  t.Tip = CutUtf16(tip, kTrayTipMax);
  Backend().TrayDock(icon, t.Tip);
  return true;
}

bool TrayIconDocked() { return Layer().Tray.Present && Backend().TrayDocked(); }

bool ModifyTrayTip(std::u16string_view tip) {
  TTray& t = Layer().Tray;
  if (!t.Present) return false;
  t.Tip = CutUtf16(tip, kTrayTipMax);
  Backend().TraySetTip(t.Tip);
  return true;
}

bool ShowTrayBalloon(std::u16string_view title, std::u16string_view text) {
  TTray& t = Layer().Tray;
  if (!TrayIconDocked()) return false;
  t.BalloonTitle = CutUtf16(title, kBalloonTitleMax);
  t.BalloonText = CutUtf16(text, kBalloonTextMax);
  ++t.BalloonCount;
  Backend().TrayBalloon(t.BalloonTitle, t.BalloonText);
  return true;
}

void RemoveTrayIcon() {
  TTray& t = Layer().Tray;
  if (!t.Present) return;
  t.Present = false;
  if (Layer().Backend) Layer().Backend->TrayUndock();
}

void DeliverTrayMouse(uint32_t mouseMessage) {
  const TTray& t = Layer().Tray;
  if (t.Present && FindWindow(t.Owner)) PostInput(t.Owner, t.CallbackMessage, t.Id, mouseMessage);
}
void InjectTrayMouse(uint32_t mouseMessage) { DeliverTrayMouse(mouseMessage); }

TTrayState GetTrayState() {
  const TTray& t = Layer().Tray;
  return {t.Present, t.Owner,        t.Id,          t.CallbackMessage,
          t.Tip,     t.BalloonTitle, t.BalloonText, t.BalloonCount};
}

}  // namespace vesperon
