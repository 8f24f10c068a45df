#pragma once
// The configuration assistant shown at the first start: a top-most 480 x 320
// pop-up in the middle of the screen with the product's name and a "Next"
// button. It asks nothing and changes no setting. Only the button closes it:
// the close request, size and key messages are ignored. The player runs
// normally while it is open.
#include <cstdint>

#include "platform/platform.h"

namespace vesperon {

class TAssistant {
 public:
  static constexpr int32_t kWidth = 480;
  static constexpr int32_t kHeight = 320;
  // The text and the button share this control identifier; only the
  // button's click notification closes the window.
  static constexpr uint32_t kControlId = 1;
  static constexpr TRect kTextBounds{120, 55, 360, 75};
  static constexpr TRect kNextBounds{320, 260, 380, 290};

  TAssistant() = default;
  TAssistant(const TAssistant&) = delete;
  TAssistant& operator=(const TAssistant&) = delete;
  ~TAssistant() { Close(); }

  // Creates ("Assistent", "Configuration-Assistent") and shows the window in
  // front with the focus; nothing when it cannot be made or is already open.
  void Show();
  void Close();

  THandle Handle() const { return Handle_; }
  THandle TextHandle() const { return Text_; }
  THandle NextHandle() const { return Next_; }

 private:
  std::intptr_t Handler(THandle window, uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
  void CreateControls(THandle window);

  THandle Handle_ = 0;
  THandle Text_ = 0;
  THandle Next_ = 0;
  PFont Font_;
};

}  // namespace vesperon
