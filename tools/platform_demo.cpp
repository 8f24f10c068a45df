// A small program to try the windowing layer by hand: a shaped window with
// a child button, a popup menu, a tray icon when a tray exists, dragging,
// and the keys pressed shown with their virtual-key and scan codes.
//   cmake --build build --target run_platform_demo
// Options: --display=NAME, --open-menu (opens the menu at start, for
// screenshots), --quit-after=MS.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include "core/params.h"
#include "core/text.h"
#include "platform/platform.h"

using namespace vesperon;

namespace {

constexpr int32_t kWidth = 360, kHeight = 240;
constexpr uint32_t kIdMenuButton = 1, kIdHello = 100, kIdBlue = 101, kIdGreen = 102, kIdPlum = 103,
                   kIdExit = 199;
constexpr uint32_t kTrayMessage = wmUser + 10;

struct TDemo {
  THandle Window = 0;
  THandle Button = 0;
  TMenu Menu = 0;
  TColor Tint = MakeColor(0x2B, 0x4C, 0x7E);
  std::u16string Status = u"Right-click or press the button for the menu.";
  PFont Title = CreateFont("Verdana", 18, true);
  PFont Text = CreateFont("Verdana", 12);
};

TDemo gDemo;

// The window's outline: a rounded rectangle with a notch cut in the top edge.
TImage Stencil() {
  TImage s;
  s.Width = kWidth;
  s.Height = kHeight;
  s.Pixels.assign(static_cast<std::size_t>(kWidth) * kHeight * 4, 0);
  const int32_t radius = 28;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const int32_t cx = std::clamp(x, radius, kWidth - 1 - radius);
      const int32_t cy = std::clamp(y, radius, kHeight - 1 - radius);
      const bool outside = (x - cx) * (x - cx) + (y - cy) * (y - cy) > radius * radius;
      const bool notch = y < 14 && x > kWidth / 2 - 30 && x < kWidth / 2 + 30;
      if (outside || notch) std::fill_n(s.Pixel(x, y), 3, 255);  // white is cut away
    }
  }
  return s;
}

void Paint(THandle h) {
  TPaint paint = BeginPaint(h);
  TSurface& s = *paint.Surface;
  s.ResetClip();
  for (int32_t y = 0; y < kHeight; ++y) {
    const uint32_t t = gDemo.Tint;
    const auto shade = [y](uint32_t c) {
      return static_cast<uint8_t>(std::min<uint32_t>(255, c + y / 3));
    };
    FillRect(s, {0, y, kWidth, y + 1},
             MakeColor(shade((t >> 16) & 0xFF), shade((t >> 8) & 0xFF), shade(t & 0xFF)));
  }
  DrawText(s, gDemo.Title, u"Vesperon", {0, 30, kWidth, 60}, MakeColor(255, 255, 255), dtCenter);
  DrawText(s, gDemo.Text, u"windowing layer demo", {0, 58, kWidth, 76}, MakeColor(0xDD, 0xE6, 0xF0),
           dtCenter);
  DrawPolygon(s, {{40, 150}, {70, 135}, {70, 165}}, MakeColor(0xF5, 0xC2, 0x42), 0);
  DrawText(s, gDemo.Text, gDemo.Status, {20, 190, kWidth - 20, 210}, MakeColor(255, 255, 255),
           dtCenter | dtEndEllipsis);
  EndPaint(h, paint);
}

void SetStatus(const std::u16string& text) {
  gDemo.Status = text;
  InvalidateRect(gDemo.Window);
}

std::intptr_t Handler(THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
  switch (msg) {
    case wmPaint: Paint(h); return 0;
    case wmLButtonDown:
      SendMessage(h, wmSysCommand, scMove + 2);  // drag by any point
      return 0;
    case wmRButtonUp:
      TrackPopupMenu(gDemo.Menu, ClientToScreen(h, {LoWordSigned(lp), HiWordSigned(lp)}), h);
      return 0;
    case wmKeyDown:
      if (wp == vkEscape) PostQuitMessage(0);
      SetStatus(u"key " + IntToU16(static_cast<long long>(wp)) + u", scan code " +
                IntToU16(KeyScanCode(lp)));
      return 0;
    case wmCommand:
      switch (LoWord(wp)) {
        case kIdMenuButton: {
          const TRect r = GetWindowRect(gDemo.Button);
          TrackPopupMenu(gDemo.Menu, {r.Left, r.Bottom}, h);
          break;
        }
        case kIdHello: SetStatus(u"Hello from the menu!"); break;
        case kIdBlue:
          gDemo.Tint = MakeColor(0x2B, 0x4C, 0x7E);
          InvalidateRect(h);
          break;
        case kIdGreen:
          gDemo.Tint = MakeColor(0x1F, 0x6B, 0x4A);
          InvalidateRect(h);
          break;
        case kIdPlum:
          gDemo.Tint = MakeColor(0x6B, 0x2F, 0x5E);
          InvalidateRect(h);
          break;
        case kIdExit: PostQuitMessage(0); break;
        default: break;
      }
      return 0;
    case kTrayMessage:
      if (lp == wmLButtonDblClk) SetForegroundWindow(h);
      if (lp == wmRButtonUp) TrackPopupMenu(gDemo.Menu, GetCursorPos(), h);
      return 0;
    case wmClose: PostQuitMessage(0); return 0;
    default: return DefWindowHandler(h, msg, wp, lp);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool openMenu = false;
  long quitAfter = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--display=", 0) == 0) gParams.Display = arg.substr(10);
    if (arg == "--open-menu") openMenu = true;
    if (arg.rfind("--quit-after=", 0) == 0) quitAfter = std::stol(arg.substr(13));
  }
  const TPlatformKind kind = OpenPlatform();
  std::printf("platform_demo: %s %s\n", kind == pkX11 ? "X11 on display" : "headless (no display)",
              PlatformDisplayName().c_str());
  TWindowParams p;
  p.ClassName = "Vesperon";
  p.Title = u"Vesperon";
  p.Bounds = {GetScreenWidth() / 2 - kWidth / 2, GetScreenHeight() / 3 - kHeight / 2, 0, 0};
  p.Bounds.Right = p.Bounds.Left + kWidth;
  p.Bounds.Bottom = p.Bounds.Top + kHeight;
  p.Flags = wfAppWindow;
  p.Handler = Handler;
  gDemo.Window = CreateWindow(p);
  if (!gDemo.Window) {
    std::printf("could not create the window: %s\n", LastWindowError().c_str());
    return 1;
  }
  const TRegion shape = RegionFromMask(Stencil(), 255, 255, 255);
  SetWindowRegion(gDemo.Window, &shape);
  TWindowParams b;
  b.ClassName = "BUTTON";
  b.Title = u"Menu";
  b.Parent = gDemo.Window;
  b.Bounds = {kWidth / 2 - 45, 130, kWidth / 2 + 45, 160};
  b.Flags = wfVisible;
  b.Control = ckButton;
  b.ControlId = kIdMenuButton;
  gDemo.Button = CreateWindow(b);

  const TMenu colours = CreatePopupMenu();
  AppendMenuItem(colours, kIdBlue, u"Blue");
  AppendMenuItem(colours, kIdGreen, u"Green");
  AppendMenuItem(colours, kIdPlum, u"Plum");
  gDemo.Menu = CreatePopupMenu();
  AppendMenuItem(gDemo.Menu, kIdHello, u"Say hello");
  AppendSubMenu(gDemo.Menu, colours, u"Colours");
  AppendMenuSeparator(gDemo.Menu);
  AppendMenuItem(gDemo.Menu, kIdExit, u"Exit");

  ShowWindow(gDemo.Window, swShow);
  SetForegroundWindow(gDemo.Window);
  // The stencil's black pixels as an opaque plum icon, the rest clear.
  const TImage stencil = Stencil();
  TIconImage icon{stencil.Width, stencil.Height, {}};
  for (std::size_t i = 0; i < stencil.Pixels.size(); i += 4) {
    icon.Pixels.push_back(stencil.Pixels[i] == 0 ? 0xFF2B4C7Eu : 0u);
  }
  AddTrayIcon(gDemo.Window, 1, kTrayMessage, {icon}, u"Vesperon demo");
  std::printf("platform_demo: tray icon %s\n", TrayIconDocked() ? "docked" : "waiting for a tray");
  if (openMenu) {
    const TRect r = GetWindowRect(gDemo.Button);
    TrackPopupMenu(gDemo.Menu, {r.Left, r.Bottom}, gDemo.Window);
  }
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    TMessage m;
    if (PeekMessage(m)) {
      if (m.Msg == wmQuit) break;
      TranslateMessage(m);
      DispatchMessage(m);
    }
    if (quitAfter >= 0 &&
        std::chrono::steady_clock::now() - start > std::chrono::milliseconds(quitAfter))
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ClosePlatform();
  return 0;
}
