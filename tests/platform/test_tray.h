#pragma once
// A minimal system tray for tests on a real X server: it owns the tray
// selection, announces itself as a tray that starts later does (MANAGER on
// the root window), embeds the icons that ask to dock (reparents them into
// its own window), and collects the balloon messages they send.
// Include after the project's headers: Xlib's macros break them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <vector>

namespace vesperon::testing {

class TTestTray {
 public:
  explicit TTestTray(Display* display) : D(display) {}
  ~TTestTray() { Stop(); }
  TTestTray(const TTestTray&) = delete;
  TTestTray& operator=(const TTestTray&) = delete;

  void Start(int x, int y) {
    XSetWindowAttributes unmanaged{};
    unmanaged.override_redirect = True;
    unmanaged.background_pixel = 0x405060;
    Manager = XCreateWindow(D, DefaultRootWindow(D), x, y, 60, 60, 0, CopyFromParent, InputOutput,
                            CopyFromParent, CWOverrideRedirect | CWBackPixel, &unmanaged);
    XMapRaised(D, Manager);
    const Atom selection =
        XInternAtom(D, ("_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(D))).c_str(), False);
    XSetSelectionOwner(D, selection, Manager, CurrentTime);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = DefaultRootWindow(D);
    e.xclient.message_type = XInternAtom(D, "MANAGER", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = CurrentTime;
    e.xclient.data.l[1] = static_cast<long>(selection);
    e.xclient.data.l[2] = static_cast<long>(Manager);
    XSendEvent(D, DefaultRootWindow(D), False, StructureNotifyMask, &e);
    XSync(D, False);
  }

  // The tray ends: the X server hands the embedded icon back to the root.
  void Stop() {
    if (!Manager) return;
    // The icon's owner may have ended (and its window with it) already.
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    if (Icon) XReparentWindow(D, Icon, DefaultRootWindow(D), 0, 0);
    XDestroyWindow(D, Manager);
    XSync(D, False);
    XSetErrorHandler(previous);
    Manager = 0;
    Icon = 0;
  }

  // Handles the messages icons sent since the last call.
  void Process() {
    const Atom opcode = XInternAtom(D, "_NET_SYSTEM_TRAY_OPCODE", False);
    const Atom data = XInternAtom(D, "_NET_SYSTEM_TRAY_MESSAGE_DATA", False);
    XSync(D, False);
    XEvent e;
    while (XCheckTypedEvent(D, ClientMessage, &e)) {
      if (e.xclient.message_type == opcode && e.xclient.data.l[1] == 0) {
        Dock(static_cast<Window>(e.xclient.data.l[2]));
      } else if (e.xclient.message_type == opcode && e.xclient.data.l[1] == 1) {
        Pending = e.xclient.data.l[3];
        Text.clear();
      } else if (e.xclient.message_type == data && Pending >= 0) {
        Text.append(e.xclient.data.b,
                    std::min<std::size_t>(20, static_cast<std::size_t>(Pending) - Text.size()));
        if (static_cast<long>(Text.size()) >= Pending) {
          Balloons.push_back(Text);
          Pending = -1;
        }
      }
    }
  }

  // The icon window's name, which trays show as its tip.
  std::string Tip() {
    if (!Icon) return {};
    XTextProperty p{};
    std::string name;
    if (XGetTextProperty(D, Icon, &p, XInternAtom(D, "_NET_WM_NAME", False)) && p.value) {
      name.assign(reinterpret_cast<const char*>(p.value), p.nitems);
      XFree(p.value);
    }
    return name;
  }

  // The centre of the docked icon in root coordinates.
  void IconCentre(int& x, int& y) {
    Window child = 0;
    XTranslateCoordinates(D, Icon, DefaultRootWindow(D), kIconSize / 2, kIconSize / 2, &x, &y,
                          &child);
  }

  static constexpr int kIconSize = 24;
  Display* D;
  Window Manager = 0;
  Window Icon = 0;
  std::vector<std::string> Balloons;

 private:
  void Dock(Window icon) {
    Icon = icon;
    XReparentWindow(D, icon, Manager, 18, 18);
    XResizeWindow(D, icon, kIconSize, kIconSize);
    XMapRaised(D, icon);
    XSync(D, False);
  }

  long Pending = -1;
  std::string Text;
};

}  // namespace vesperon::testing
