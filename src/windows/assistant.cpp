#include "windows/assistant.h"

#include "windows/plain_window.h"

namespace vesperon {
namespace {

THandle CreateControl(THandle parent, TControlKind kind, std::u16string text, const TRect& bounds) {
  TWindowParams params;
  params.ClassName = kind == ckButton ? "BUTTON" : "STATIC";
  params.Title = std::move(text);
  params.Bounds = bounds;
  params.Parent = parent;
  params.Flags = wfVisible;
  params.Control = kind;
  params.ControlId = TAssistant::kControlId;
  params.Background = kPlainBackground;
  return CreateWindow(params);
}

}  // namespace

void TAssistant::Show() {
  if (Handle_ != 0) return;
  Handle_ = ShowCentredPlainWindow("Assistent", u"Configuration-Assistent", kWidth, kHeight,
                                   [this](THandle h, uint32_t msg, std::uintptr_t wp,
                                          std::intptr_t lp) { return Handler(h, msg, wp, lp); });
}

void TAssistant::Close() {
  const THandle window = Handle_;
  Handle_ = Text_ = Next_ = 0;
  if (window != 0 && IsWindow(window)) DestroyWindow(window);
  Font_.reset();
}

void TAssistant::CreateControls(THandle window) {
  Text_ = CreateControl(window, ckStatic, u"Vesperon NG", kTextBounds);
  Font_ = CreatePlainFont();
  if (Font_ && Text_ != 0)
    SendMessage(Text_, wmSetFont, reinterpret_cast<std::uintptr_t>(&Font_), 1);
  Next_ = CreateControl(window, ckButton, u"Next", kNextBounds);
}

std::intptr_t TAssistant::Handler(THandle window, uint32_t msg, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
  switch (msg) {
    case wmCreate: CreateControls(window); return 0;
    case wmSize:
    case wmClose:
    case wmKeyDown:
    case wmKeyUp:
    case wmChar: return 0;  // only "Next" closes the assistant
    case wmCommand:
      if (HiWord(wParam) == bnClicked && LoWord(wParam) == kControlId) Close();
      return 0;
    case wmDestroy:
      if (window == Handle_) Handle_ = Text_ = Next_ = 0;
      return 0;
    default: return DefWindowHandler(window, msg, wParam, lParam);
  }
}

}  // namespace vesperon
