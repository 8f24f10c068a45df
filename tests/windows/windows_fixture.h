#pragma once
// A headless windowing layer per test and a framed-window look made in
// memory: 12 x 12 frame pieces of distinct colours and corner masks whose
// outer 4 x 4 square is white (cut away).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/params.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform_fixture.h"  // PrintTo(TRect)
#include "windows/framed_window.h"

namespace vesperon {

inline TImage SolidImage(int32_t w, int32_t h, TColor color) {
  TImage image;
  image.Width = w;
  image.Height = h;
  image.Pixels.resize(static_cast<std::size_t>(w) * h * 4);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = image.Pixel(x, y);
      p[0] = color & 0xFF;
      p[1] = (color >> 8) & 0xFF;
      p[2] = (color >> 16) & 0xFF;
    }
  }
  return image;
}

// A black mask with a white square of `cut` pixels in the corner (cx, cy)
// points to: (0, 0) top-left, (1, 1) bottom-right.
inline TImage CornerMask(int32_t size, int32_t cut, int cx, int cy) {
  TImage mask = SolidImage(size, size, 0);
  for (int32_t y = 0; y < cut; ++y) {
    for (int32_t x = 0; x < cut; ++x) {
      uint8_t* p = mask.Pixel(cx ? size - 1 - x : x, cy ? size - 1 - y : y);
      p[0] = p[1] = p[2] = 255;
    }
  }
  return mask;
}

// Piece colours: the test reads them back from the window's pixels.
inline constexpr TColor kTopColor = MakeColor(200, 0, 0);
inline constexpr TColor kBottomColor = MakeColor(0, 200, 0);
inline constexpr TColor kLeftColor = MakeColor(0, 0, 200);
inline constexpr TColor kRightColor = MakeColor(200, 200, 0);
inline constexpr TColor kCornerColor = MakeColor(0, 200, 200);
inline constexpr TColor kBgColor = MakeColor(30, 30, 60);

inline TFramedWindowLook TestLook() {
  TFramedWindowLook look;
  look.Top = SolidImage(12, 12, kTopColor);
  look.Bottom = SolidImage(12, 12, kBottomColor);
  look.Left = SolidImage(12, 12, kLeftColor);
  look.Right = SolidImage(12, 12, kRightColor);
  look.TopLeft = look.TopRight = look.BottomLeft = look.BottomRight =
      SolidImage(12, 12, kCornerColor);
  look.TopLeftMask = CornerMask(12, 4, 0, 0);
  look.TopRightMask = CornerMask(12, 4, 1, 0);
  look.BottomLeftMask = CornerMask(12, 4, 0, 1);
  look.BottomRightMask = CornerMask(12, 4, 1, 1);
  look.BgColor = kBgColor;
  look.ScrollColor = MakeColor(90, 90, 160);
  look.ButtonFontColor = MakeColor(240, 240, 240);
  look.ButtonColor = MakeColor(60, 60, 90);
  return look;
}

class THeadlessWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClosePlatform();
    ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
    SetScreenSizeForTesting(1280, 1024);
    UseManualClockForTesting(true);
    gParams.Debug = true;
    gParams.Silent = false;
    SetLogObserver([this](std::string_view line) { LogLines.emplace_back(line); });
  }
  void TearDown() override {
    SetLogObserver({});
    ClosePlatform();
    UseManualClockForTesting(false);
  }

  bool Logged(std::string_view text) const {
    for (const std::string& l : LogLines) {
      if (l.find(text) != std::string::npos) return true;
    }
    return false;
  }

  // A visible main window at (200, 150), 200 x 200.
  THandle MakeMainWindow() {
    TWindowParams p;
    p.ClassName = "main";
    p.Bounds = {200, 150, 400, 350};
    p.Flags = wfVisible;
    return CreateWindow(p);
  }

  std::vector<std::string> LogLines;
};

}  // namespace vesperon
