#include "windows/plain_window.h"

namespace vesperon {

PFont CreatePlainFont() { return CreateFont("MS Sans Serif", 14); }

TRect CentredOnScreen(int32_t width, int32_t height) {
  const int32_t x = GetScreenWidth() / 2 - width / 2;
  const int32_t y = GetScreenHeight() / 2 - height / 2;
  return {x, y, x + width, y + height};
}

TWindowParams PlainWindowParams(std::string className, std::u16string title, const TRect& bounds,
                                TWindowHandler handler) {
  TWindowParams p;
  p.ClassName = std::move(className);
  p.Title = std::move(title);
  p.Bounds = bounds;
  p.Flags = wfTopMost;
  p.Background = kPlainBackground;
  p.Handler = std::move(handler);
  return p;
}

THandle ShowCentredPlainWindow(std::string className, std::u16string title, int32_t width,
                               int32_t height, TWindowHandler handler) {
  TWindowParams params = PlainWindowParams(std::move(className), std::move(title),
                                           CentredOnScreen(width, height), std::move(handler));
  params.Flags |= wfAppWindow;
  const THandle window = CreateWindow(params);
  if (window == 0) return 0;
  ShowWindow(window, swShow);
  SetForegroundWindow(window);
  return window;
}

}  // namespace vesperon
