// The tray icon's state; the backend docks and draws it.
#include "platform/window_state.h"

namespace vesperon {

namespace {

// Cuts to at most `max` UTF-16 units without splitting a surrogate pair.
std::u16string Cut(std::u16string_view text, std::size_t max) {
  if (text.size() <= max) return std::u16string(text);
  std::size_t n = max;
  if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;
  return std::u16string(text.substr(0, n));
}

}  // namespace

bool TrayAvailable() { return Backend().TrayExists(); }

bool AddTrayIcon(THandle owner, uint32_t id, uint32_t callbackMessage, const TImage& icon, std::u16string_view tip) {
  TTray& t = Layer().Tray;
  if (!FindWindow(owner)) return false;
  if (t.Present) RemoveTrayIcon();
  const std::u16string cut = Cut(tip, kTrayTipMax);
  if (!Backend().TrayDock(icon, cut)) return false;
  t = {};
  t.Present = true;
  t.Owner = owner;
  t.Id = id;
  t.CallbackMessage = callbackMessage;
  t.Tip = cut;
  return true;
}

bool ModifyTrayTip(std::u16string_view tip) {
  TTray& t = Layer().Tray;
  if (!t.Present) return false;
  t.Tip = Cut(tip, kTrayTipMax);
  Backend().TraySetTip(t.Tip);
  return true;
}

bool ShowTrayBalloon(std::u16string_view title, std::u16string_view text) {
  TTray& t = Layer().Tray;
  if (!t.Present) return false;
  t.BalloonTitle = Cut(title, kBalloonTitleMax);
  t.BalloonText = Cut(text, kBalloonTextMax);
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
  return {t.Present, t.Owner, t.Id, t.CallbackMessage, t.Tip, t.BalloonTitle, t.BalloonText, t.BalloonCount};
}

}  // namespace vesperon
