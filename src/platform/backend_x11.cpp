// The X11 backend: every window is an X window (children are X subwindows),
// shapes go through the SHAPE extension, surfaces are shown with XPutImage,
// pop-up hints and move/resize requests follow EWMH, and the tray icon docks
// by the freedesktop system-tray protocol (XEmbed) with its balloon messages.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "core/idle_path.h"
#include "core/log.h"
#include "core/text.h"
#include "platform/backend.h"

namespace vesperon {
namespace {

constexpr const char* kMenuClass = "#32768";

// Errors such as focusing a window the window manager has not mapped yet
// are harmless; they are logged with --debug instead of ending the process.
int OnXError(Display* display, XErrorEvent* error) {
  char text[256] = {};
  XGetErrorText(display, error->error_code, text, sizeof text);
  Log(std::string("X error: ") + text + " (request " + std::to_string(error->request_code) + ")");
  return 0;
}

struct TKeyName {
  KeySym Sym;
  uint32_t Vk;
};

// X key symbols (of the key's first level) to Windows virtual-key codes.
// clang-format off
constexpr TKeyName kKeys[] = {
    {XK_BackSpace, vkBack}, {XK_Tab, vkTab}, {XK_ISO_Left_Tab, vkTab}, {XK_Return, vkReturn},
    {XK_KP_Enter, vkReturn}, {XK_Shift_L, vkShift}, {XK_Shift_R, vkShift}, {XK_Control_L, vkControl},
    {XK_Control_R, vkControl}, {XK_Alt_L, vkMenu}, {XK_Alt_R, vkMenu}, {XK_Meta_L, vkMenu},
    {XK_ISO_Level3_Shift, vkMenu}, {XK_Pause, vkPause}, {XK_Caps_Lock, vkCapital}, {XK_Escape, vkEscape},
    {XK_space, vkSpace}, {XK_Prior, vkPrior}, {XK_Next, vkNext}, {XK_End, vkEnd}, {XK_Home, vkHome},
    {XK_Left, vkLeft}, {XK_Up, vkUp}, {XK_Right, vkRight}, {XK_Down, vkDown}, {XK_Print, 0x2C},
    {XK_Insert, vkInsert}, {XK_Delete, vkDelete}, {XK_KP_Prior, vkPrior}, {XK_KP_Next, vkNext},
    {XK_KP_End, vkEnd}, {XK_KP_Home, vkHome}, {XK_KP_Left, vkLeft}, {XK_KP_Up, vkUp},
    {XK_KP_Right, vkRight}, {XK_KP_Down, vkDown}, {XK_KP_Insert, vkInsert}, {XK_KP_Delete, vkDelete},
    {XK_KP_Begin, 0x0C}, {XK_Super_L, 0x5B}, {XK_Super_R, 0x5C}, {XK_Menu, 0x5D},
    {XK_KP_Multiply, vkMultiply}, {XK_KP_Add, vkAdd}, {XK_KP_Separator, 0x6C}, {XK_KP_Subtract, vkSubtract},
    {XK_KP_Decimal, vkDecimal}, {XK_KP_Divide, vkDivide}, {XK_Num_Lock, 0x90}, {XK_Scroll_Lock, 0x91},
    {XK_semicolon, 0xBA}, {XK_equal, 0xBB}, {XK_comma, 0xBC}, {XK_minus, 0xBD}, {XK_period, 0xBE},
    {XK_slash, 0xBF}, {XK_grave, 0xC0}, {XK_bracketleft, 0xDB}, {XK_backslash, 0xDC},
    {XK_bracketright, 0xDD}, {XK_apostrophe, 0xDE}, {XK_less, 0xE2},
    {0x1008FF11, vkVolumeDown}, {0x1008FF12, vkVolumeMute}, {0x1008FF13, vkVolumeUp},
    {0x1008FF14, vkMediaPlayPause}, {0x1008FF31, vkMediaPlayPause}, {0x1008FF15, vkMediaStop},
    {0x1008FF16, vkMediaPrev}, {0x1008FF17, vkMediaNext},
};
// clang-format on

uint32_t VirtualKey(KeySym sym) {
  if (sym >= XK_a && sym <= XK_z) return static_cast<uint32_t>('A' + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z) return static_cast<uint32_t>(sym);
  if (sym >= XK_0 && sym <= XK_9) return static_cast<uint32_t>(sym);
  if (sym >= XK_KP_0 && sym <= XK_KP_9) return static_cast<uint32_t>(vkNumpad0 + (sym - XK_KP_0));
  if (sym >= XK_F1 && sym <= XK_F24) return static_cast<uint32_t>(vkF1 + (sym - XK_F1));
  for (const TKeyName& k : kKeys) {
    if (k.Sym == sym) return k.Vk;
  }
  return 0;
}

// The character a key types, from the symbol of its current level.
char32_t KeyText(KeySym sym, const char* latin1, int latin1Length) {
  if (latin1Length == 1) return static_cast<unsigned char>(latin1[0]);
  if ((sym & 0xFF000000) == 0x01000000) return static_cast<char32_t>(sym & 0x00FFFFFF);
  if (sym >= 0x20 && sym <= 0xFF) return static_cast<char32_t>(sym);
  return 0;
}

uint32_t Modifiers(unsigned int state) {
  uint32_t m = 0;
  if (state & ShiftMask) m |= mdShift;
  if (state & ControlMask) m |= mdControl;
  if (state & Mod1Mask) m |= mdAlt;
  return m;
}

class TX11Backend final : public TBackend {
 public:
  explicit TX11Backend(Display* display) : D_(display) {
    Screen_ = DefaultScreen(D_);
    Root_ = RootWindow(D_, Screen_);
    Visual_ = DefaultVisual(D_, Screen_);
    Depth_ = DefaultDepth(D_, Screen_);
    Gc_ = XCreateGC(D_, Root_, 0, nullptr);
    Arrow_ = XCreateFontCursor(D_, XC_left_ptr);
    int eventBase = 0, errorBase = 0;
    Shape_ = XShapeQueryExtension(D_, &eventBase, &errorBase);
    Bool supported = False;
    XkbSetDetectableAutoRepeat(D_, True, &supported);
    const std::string traySelection = "_NET_SYSTEM_TRAY_S" + std::to_string(Screen_);
    TraySelection_ = XInternAtom(D_, traySelection.c_str(), False);
    // The root window tells when a tray manager starts (MANAGER messages).
    XSelectInput(D_, Root_, StructureNotifyMask);
    FastPixels_ = Visual_->c_class == TrueColor && (Depth_ == 24 || Depth_ == 32) &&
                  Visual_->red_mask == 0xFF0000 && Visual_->green_mask == 0xFF00 &&
                  Visual_->blue_mask == 0xFF && ImageByteOrder(D_) == LSBFirst;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(D_, &count);
    for (int i = 0; formats && i < count; ++i) {
      if (formats[i].depth == Depth_) BitsPerPixel_ = formats[i].bits_per_pixel;
    }
    if (formats) XFree(formats);
  }

  ~TX11Backend() override {
    TrayUndock();
    XFreeGC(D_, Gc_);
    XFreeCursor(D_, Arrow_);
    XCloseDisplay(D_);
  }

  TPlatformKind Kind() const override { return pkX11; }
  VESPERON_IDLE_PATH int ConnectionFd() const override { return ConnectionNumber(D_); }
  VESPERON_IDLE_PATH bool EventsQueued() const override { return QLength(D_) > 0; }
  std::string DisplayName() const override { return DisplayString(D_); }

  bool CreateNative(TWindowRec& w, bool popupMenu) override {
    TWindowRec* parent = w.IsChild() ? FindWindow(w.Params.Parent) : nullptr;
    XSetWindowAttributes attrs{};
    attrs.background_pixmap = None;  // the surface covers every pixel; no flicker
    attrs.bit_gravity = NorthWestGravity;
    attrs.override_redirect = popupMenu ? True : False;
    attrs.cursor = Arrow_;  // the standard arrow, as the window classes ask
    attrs.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                       ButtonReleaseMask | PointerMotionMask | StructureNotifyMask |
                       PropertyChangeMask | FocusChangeMask;
    const Window x = XCreateWindow(
        D_, parent ? static_cast<Window>(parent->Native) : Root_, w.Bounds.Left, w.Bounds.Top,
        std::max(1, w.Bounds.Width()), std::max(1, w.Bounds.Height()), 0, CopyFromParent,
        InputOutput, CopyFromParent,
        CWBackPixmap | CWBitGravity | CWOverrideRedirect | CWEventMask | CWCursor, &attrs);
    if (!x) return false;
    w.Native = x;
    if (!parent && !popupMenu) SetTopLevelHints(w);
    if (popupMenu) SetWindowType(x, "_NET_WM_WINDOW_TYPE_POPUP_MENU");
    return true;
  }

  void DestroyNative(TWindowRec& w) override {
    if (w.Native) XDestroyWindow(D_, w.Native);
    PendingConfigures_.erase(w.Native);
    w.Native = 0;
  }

  void ShowNative(TWindowRec& w, bool show) override {
    if (!show) {
      XUnmapWindow(D_, w.Native);
      return;
    }
    XMapRaised(D_, w.Native);
    // A window manager maps top-level windows in its own time. Wait for it
    // (briefly), so that what is drawn right after showing, such as the
    // splash window's lines during start-up, lands on a visible window.
    if (!w.IsChild() && w.Params.ClassName != kMenuClass && WindowManagerRunning()) {
      XEvent e;
      for (int i = 0; i < 50; ++i) {
        XSync(D_, False);
        if (XCheckTypedWindowEvent(D_, w.Native, MapNotify, &e)) break;
        usleep(5000);
      }
    }
  }

  void MinimizeNative(TWindowRec& w) override { XIconifyWindow(D_, w.Native, Screen_); }

  void RaiseNative(TWindowRec& w) override {
    XRaiseWindow(D_, w.Native);
    if (WindowManagerSupports("_NET_ACTIVE_WINDOW")) {
      SendRootMessage(w.Native, A("_NET_ACTIVE_WINDOW"), {1, CurrentTime, 0, 0, 0});
    }
  }

  void FocusNative(TWindowRec& w) override {
    if (w.Visible && !w.Minimized) XSetInputFocus(D_, w.Native, RevertToParent, CurrentTime);
  }

  void MoveNative(TWindowRec& w) override {
    if (!w.IsChild()) ++PendingConfigures_[w.Native];
    XMoveResizeWindow(D_, w.Native, w.Bounds.Left, w.Bounds.Top, std::max(1, w.Bounds.Width()),
                      std::max(1, w.Bounds.Height()));
  }

  void SetTitleNative(TWindowRec& w) override {
    const std::string utf8 = Utf16ToUtf8(w.Params.Title);
    XStoreName(D_, w.Native, utf8.c_str());
    XChangeProperty(D_, w.Native, A("_NET_WM_NAME"), A("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
  }

  void SetShapeNative(TWindowRec& w) override {
    if (!Shape_) return;
    if (!w.Shape) {
      XShapeCombineMask(D_, w.Native, ShapeBounding, 0, 0, None, ShapeSet);
      return;
    }
    std::vector<XRectangle> rects;
    rects.reserve(w.Shape->Rects().size());
    for (const TRect& r : w.Shape->Rects()) {
      rects.push_back({static_cast<short>(r.Left), static_cast<short>(r.Top),
                       static_cast<unsigned short>(r.Width()),
                       static_cast<unsigned short>(r.Height())});
    }
    XShapeCombineRectangles(D_, w.Native, ShapeBounding, 0, 0, rects.data(),
                            static_cast<int>(rects.size()), ShapeSet, YXBanded);
  }

  // _NET_WM_ICON: every size back to back, as CARDINALs (longs for Xlib).
  void SetIconNative(TWindowRec& w) override {
    std::vector<long> data;
    for (const TIconImage& icon : w.Icon) {
      data.push_back(icon.Width);
      data.push_back(icon.Height);
      data.insert(data.end(), icon.Pixels.begin(), icon.Pixels.end());
    }
    if (data.empty()) {
      XDeleteProperty(D_, w.Native, A("_NET_WM_ICON"));
    } else {
      XChangeProperty(D_, w.Native, A("_NET_WM_ICON"), XA_CARDINAL, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(data.data()),
                      static_cast<int>(data.size()));
    }
    XFlush(D_);
  }

  // Sent at once: drawing outside the main loop (the splash during start-up)
  // must show without waiting for the next pump.
  VESPERON_IDLE_PATH void Present(TWindowRec& w, const TRect& area) override {
    PutSurface(w.Native, w.Surface, area);
    XFlush(D_);
  }

  // XPending sends what is buffered before it looks for events, so the last
  // call (none left) has sent the requests the handlers made as well.
  VESPERON_IDLE_PATH void Pump() override {
    while (XPending(D_)) {
      XEvent e;
      XNextEvent(D_, &e);
      Handle(e);
    }
  }

  void Flush() override { XSync(D_, False); }

  TPointI ScreenSize() const override {
    return {DisplayWidth(D_, Screen_), DisplayHeight(D_, Screen_)};
  }
  int32_t ScreenDepth() const override { return BitsPerPixel_; }

  TPointI CursorPos() const override {
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(D_, Root_, &root, &child, &rx, &ry, &wx, &wy, &mask);
    return {rx, ry};
  }

  void GrabPointer(TWindowRec* w) override {
    if (!w) {
      XUngrabPointer(D_, CurrentTime);
      return;
    }
    XGrabPointer(D_, w->Native, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  }

  void GrabKeyboard(TWindowRec* w) override {
    if (!w) {
      XUngrabKeyboard(D_, CurrentTime);
      return;
    }
    XGrabKeyboard(D_, w->Native, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  }

  bool WindowManagerMoveResize(TWindowRec& w, uint32_t edge, TPointI root) override {
    if (!WindowManagerSupports("_NET_WM_MOVERESIZE")) return false;
    // Win32 edge numbers to the EWMH directions (8 moves).
    static constexpr long kDirection[] = {8, 7, 3, 1, 0, 2, 5, 6, 4};
    WmEdge_[w.Native] = edge;
    XUngrabPointer(D_, CurrentTime);  // the window manager takes the pointer over
    SendRootMessage(w.Native, A("_NET_WM_MOVERESIZE"),
                    {root.X, root.Y, kDirection[edge % 9], 1, 1});
    XFlush(D_);
    return true;
  }

  // ---- tray --------------------------------------------------------------

  bool TrayExists() override { return XGetSelectionOwner(D_, TraySelection_) != None; }

  bool TrayDocked() const override { return TrayIcon_ && TrayEmbedded_; }

  bool TrayDock(const TIconSet& icon, std::u16string_view tip) override {
    TrayIconImages_ = icon;
    TrayTip_ = Utf16ToUtf8(tip);
    TrayWanted_ = true;
    return DockIcon();
  }

  void TraySetTip(std::u16string_view tip) override {
    TrayTip_ = Utf16ToUtf8(tip);
    if (TrayIcon_) SetName(TrayIcon_, TrayTip_);
  }

  void TrayBalloon(std::u16string_view title, std::u16string_view text) override {
    if (!TrayDocked() || !TrayManager_) return;
    const std::string message = Utf16ToUtf8(title) + "\n" + Utf16ToUtf8(text);
    const long id = ++BalloonId_;
    SendTrayOpcode(1, 10000, static_cast<long>(message.size()), id);
    // The text follows in pieces of 20 bytes.
    for (std::size_t at = 0; at < message.size(); at += 20) {
      XEvent e{};
      e.xclient.type = ClientMessage;
      e.xclient.window = TrayIcon_;
      e.xclient.message_type = A("_NET_SYSTEM_TRAY_MESSAGE_DATA");
      e.xclient.format = 8;
      std::memcpy(e.xclient.data.b, message.data() + at,
                  std::min<std::size_t>(20, message.size() - at));
      XSendEvent(D_, TrayManager_, False, NoEventMask, &e);
    }
    XFlush(D_);
  }

  void TrayUndock() override {
    TrayWanted_ = false;
    if (TrayIcon_) XDestroyWindow(D_, TrayIcon_);
    TrayIcon_ = 0;
    TrayManager_ = 0;
    TrayEmbedded_ = false;
    XFlush(D_);
  }

 private:
  ::Atom A(const char* name) {
    auto it = Atoms_.find(name);
    if (it != Atoms_.end()) return it->second;
    return Atoms_[name] = XInternAtom(D_, name, False);
  }

  void SetName(Window x, const std::string& utf8) {
    XStoreName(D_, x, utf8.c_str());
    XChangeProperty(D_, x, A("_NET_WM_NAME"), A("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
  }

  void SetWindowType(Window x, const char* type) {
    const ::Atom a = Atom(type);
    XChangeProperty(D_, x, A("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&a), 1);
  }

  // Frameless pop-up, its name and class, closing through the window
  // manager, owner and task-bar and top-most state.
  void SetTopLevelHints(const TWindowRec& w) {
    const Window x = w.Native;
    SetName(x, Utf16ToUtf8(w.Params.Title));
    std::string resClass =
        w.Params.ClassName.empty() ? std::string("Vesperon") : w.Params.ClassName;
    std::string resName = "vesperon";
    XClassHint classHint{resName.data(), resClass.data()};
    XSetClassHint(D_, x, &classHint);
    ::Atom protocols[] = {A("WM_DELETE_WINDOW")};
    XSetWMProtocols(D_, x, protocols, 1);
    XSizeHints* size = XAllocSizeHints();
    size->flags = USPosition | PPosition | PSize;
    size->x = w.Bounds.Left;
    size->y = w.Bounds.Top;
    size->width = w.Bounds.Width();
    size->height = w.Bounds.Height();
    XSetWMNormalHints(D_, x, size);
    XFree(size);
    XWMHints* hints = XAllocWMHints();
    hints->flags = InputHint | StateHint;
    hints->input = True;
    hints->initial_state = NormalState;
    XSetWMHints(D_, x, hints);
    XFree(hints);
    // Motif hints: flags "decorations", decorations none.
    const long motif[5] = {2, 0, 0, 0, 0};
    XChangeProperty(D_, x, A("_MOTIF_WM_HINTS"), A("_MOTIF_WM_HINTS"), 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(motif), 5);
    if (const TWindowRec* owner = FindWindow(w.Params.Owner))
      XSetTransientForHint(D_, x, owner->Native);
    std::vector<::Atom> state;
    if (w.Params.Flags & wfTopMost) state.push_back(A("_NET_WM_STATE_ABOVE"));
    if (!(w.Params.Flags & wfAppWindow)) {
      state.push_back(A("_NET_WM_STATE_SKIP_TASKBAR"));
      state.push_back(A("_NET_WM_STATE_SKIP_PAGER"));
    }
    if (!state.empty()) {
      XChangeProperty(D_, x, A("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(state.data()),
                      static_cast<int>(state.size()));
    }
    SetWindowType(x, "_NET_WM_WINDOW_TYPE_NORMAL");
    const long pid = getpid();
    XChangeProperty(D_, x, A("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
  }

  void SendRootMessage(Window x, ::Atom type, std::initializer_list<long> data) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = x;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    int i = 0;
    for (long v : data) e.xclient.data.l[i++] = v;
    XSendEvent(D_, Root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  }

  // A window manager is running when the root names a check window that
  // names itself; it supports what it lists in _NET_SUPPORTED.
  bool WindowManagerRunning() {
    const Window check = WindowProperty(Root_, A("_NET_SUPPORTING_WM_CHECK"));
    return check && WindowProperty(check, A("_NET_SUPPORTING_WM_CHECK")) == check;
  }

  bool WindowManagerSupports(const char* feature) {
    if (!WindowManagerRunning()) return false;
    ::Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(D_, Root_, A("_NET_SUPPORTED"), 0, 4096, False, XA_ATOM, &type, &format,
                           &count, &after, &data) == Success &&
        data) {
      const ::Atom wanted = Atom(feature);
      const auto* atoms = reinterpret_cast<const ::Atom*>(data);
      found = std::find(atoms, atoms + count, wanted) != atoms + count;
    }
    if (data) XFree(data);
    return found;
  }

  Window WindowProperty(Window x, ::Atom property) {
    ::Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window result = 0;
    if (XGetWindowProperty(D_, x, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1 && format == 32) {
      result = *reinterpret_cast<const Window*>(data);
    }
    if (data) XFree(data);
    return result;
  }

  long WmState(Window x) {
    ::Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long state = -1;
    const ::Atom wmState = A("WM_STATE");
    if (XGetWindowProperty(D_, x, wmState, 0, 2, False, wmState, &type, &format, &count, &after,
                           &data) == Success &&
        data && count >= 1 && format == 32) {
      state = *reinterpret_cast<const long*>(data);
    }
    if (data) XFree(data);
    return state;
  }

  // Shows a part of a surface. On the usual 24- and 32-bit true-colour
  // visuals the surface's bytes are the server's pixel format already;
  // other visuals get a converted copy.
  VESPERON_IDLE_PATH void PutSurface(Window x, const TSurface& s, const TRect& area) {
    if (!x || s.Width() == 0 || s.Height() == 0) return;
    if (FastPixels_) {
      XImage* image = XCreateImage(D_, Visual_, Depth_, ZPixmap, 0,
                                   reinterpret_cast<char*>(const_cast<uint32_t*>(s.Data())),
                                   s.Width(), s.Height(), 32, s.Width() * 4);
      if (!image) return;
      XPutImage(D_, x, Gc_, image, area.Left, area.Top, area.Left, area.Top, area.Width(),
                area.Height());
      image->data = nullptr;  // the surface owns the pixels
      XDestroyImage(image);
      return;
    }
    XImage* image =
        XCreateImage(D_, Visual_, Depth_, ZPixmap, 0, nullptr, area.Width(), area.Height(), 32, 0);
    if (!image) return;
    image->data = static_cast<char*>(
        std::malloc(static_cast<std::size_t>(image->bytes_per_line) * area.Height()));
    if (!image->data) {
      XDestroyImage(image);
      return;
    }
    for (int32_t y = 0; y < area.Height(); ++y) {
      const uint32_t* row = s.Row(area.Top + y) + area.Left;
      for (int32_t xx = 0; xx < area.Width(); ++xx) XPutPixel(image, xx, y, ConvertPixel(row[xx]));
    }
    XPutImage(D_, x, Gc_, image, 0, 0, area.Left, area.Top, area.Width(), area.Height());
    XDestroyImage(image);
  }

  unsigned long ConvertPixel(uint32_t rgb) const {
    auto channel = [](uint32_t value, unsigned long mask) -> unsigned long {
      if (!mask) return 0;
      int shift = 0, bits = 0;
      while (!((mask >> shift) & 1)) ++shift;
      while ((mask >> (shift + bits)) & 1) ++bits;
      return (static_cast<unsigned long>(value >> (8 - std::min(bits, 8))) << shift) & mask;
    };
    return channel((rgb >> 16) & 0xFF, Visual_->red_mask) |
           channel((rgb >> 8) & 0xFF, Visual_->green_mask) |
           channel(rgb & 0xFF, Visual_->blue_mask);
  }

  // ---- events ------------------------------------------------------------

  void Handle(XEvent& e) {
    if (HandleTray(e)) return;
    TWindowRec* w = FindNative(e.xany.window);
    switch (e.type) {
      case Expose:
        if (w && IsWindowVisible(w->Handle)) {
          Present(*w, TRect{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width,
                            e.xexpose.y + e.xexpose.height});
        }
        break;
      case ButtonPress:
      case ButtonRelease: {
        const XButtonEvent& b = e.xbutton;
        const TPointI screen{b.x_root, b.y_root};
        const THandle target = w ? w->Handle : 0;
        if (b.button == Button4 || b.button == Button5) {
          if (e.type == ButtonPress) {
            DeliverPointer(target, peWheel, b.button == Button4 ? 1 : -1, screen,
                           Modifiers(b.state), NowMs());
          }
        } else if (b.button <= Button3) {
          DeliverPointer(target, e.type == ButtonPress ? peDown : peUp, static_cast<int>(b.button),
                         screen, Modifiers(b.state), NowMs());
        }
        break;
      }
      case MotionNotify: {
        // Only the newest position of a burst of motion matters.
        while (XCheckTypedEvent(D_, MotionNotify, &e)) {
        }
        TWindowRec* mw = FindNative(e.xmotion.window);
        DeliverPointer(mw ? mw->Handle : 0, peMove, 0, {e.xmotion.x_root, e.xmotion.y_root},
                       Modifiers(e.xmotion.state), NowMs());
        break;
      }
      case KeyPress:
      case KeyRelease: HandleKey(e.xkey, w); break;
      case ConfigureNotify:
        if (w && !w->IsChild()) HandleConfigure(e.xconfigure, *w);
        break;
      case PropertyNotify:
        if (w && e.xproperty.atom == A("WM_STATE")) {
          const long state = WmState(w->Native);
          if (state == IconicState) DeliverMinimized(w->Handle, true);
          if (state == NormalState && w->Minimized) DeliverMinimized(w->Handle, false);
        }
        break;
      case ClientMessage:
        if (w && e.xclient.message_type == A("WM_PROTOCOLS") &&
            static_cast<::Atom>(e.xclient.data.l[0]) == A("WM_DELETE_WINDOW")) {
          DeliverCloseRequest(w->Handle);
        }
        break;
      default: break;
    }
  }

  void HandleKey(XKeyEvent& k, TWindowRec* w) {
    const bool down = k.type == KeyPress;
    bool repeat = false;
    if (down) {
      repeat = !Pressed_.insert(k.keycode).second;
    } else {
      Pressed_.erase(k.keycode);
    }
    char latin1[8] = {};
    KeySym typed = 0;
    const int length = XLookupString(&k, latin1, sizeof latin1, &typed, nullptr);
    const KeySym base = XkbKeycodeToKeysym(D_, static_cast<KeyCode>(k.keycode), 0, 0);
    uint32_t vk = VirtualKey(base);
    if (!vk) vk = VirtualKey(typed);
    const char32_t text = down ? KeyText(typed, latin1, length) : 0;
    DeliverKey(w ? w->Handle : 0, down, vk, k.keycode, text, repeat, Modifiers(k.state));
  }

  // Without a window manager the layer places its windows itself and the
  // server's echoes of its own requests are old news. A window manager
  // reports the real place in synthetic events (root coordinates) and may
  // resize; a resize it makes asks the window's handler for limits first.
  void HandleConfigure(const XConfigureEvent& c, TWindowRec& w) {
    int& pending = PendingConfigures_[w.Native];
    if (!c.send_event && pending > 0) {
      --pending;
      return;
    }
    if (!c.send_event && !WindowManagerSupports("_NET_WM_MOVERESIZE")) return;
    TRect r = w.Bounds;
    if (c.send_event) r = {c.x, c.y, c.x + c.width, c.y + c.height};
    r.Right = r.Left + c.width;
    r.Bottom = r.Top + c.height;
    if (r.Width() != w.Bounds.Width() || r.Height() != w.Bounds.Height()) {
      const TRect proposed = r;
      const uint32_t edge =
          WmEdge_.count(w.Native) ? WmEdge_[w.Native] : static_cast<uint32_t>(seBottomRight);
      SendMessage(w.Handle, wmSizing, edge ? edge : static_cast<uint32_t>(seBottomRight),
                  reinterpret_cast<std::intptr_t>(&r));
      if (!(r == proposed) && !r.Empty()) {
        MoveWindow(w.Handle, r, true);  // the handler's limits go back to the server
        return;
      }
    }
    DeliverConfigure(w.Handle, r);
  }

  // ---- tray --------------------------------------------------------------

  bool DockIcon() {
    TrayManager_ = XGetSelectionOwner(D_, TraySelection_);
    if (!TrayManager_) return false;
    if (!TrayIcon_) {
      XSetWindowAttributes attrs{};
      attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
      attrs.background_pixel = 0;
      TrayIcon_ = XCreateWindow(D_, Root_, 0, 0, 22, 22, 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWEventMask | CWBackPixel, &attrs);
      // XEmbed info: protocol version 0, mapped.
      const long info[2] = {0, 1};
      XChangeProperty(D_, TrayIcon_, A("_XEMBED_INFO"), A("_XEMBED_INFO"), 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(info), 2);
    }
    SetName(TrayIcon_, TrayTip_);
    XSelectInput(D_, TrayManager_, StructureNotifyMask);
    SendTrayOpcode(0, static_cast<long>(TrayIcon_), 0, 0);
    XFlush(D_);
    return true;
  }

  void SendTrayOpcode(long opcode, long d1, long d2, long d3) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = TrayIcon_;
    e.xclient.message_type = A("_NET_SYSTEM_TRAY_OPCODE");
    e.xclient.format = 32;
    e.xclient.data.l[0] = CurrentTime;
    e.xclient.data.l[1] = opcode;
    e.xclient.data.l[2] = d1;
    e.xclient.data.l[3] = d2;
    e.xclient.data.l[4] = d3;
    XSendEvent(D_, TrayManager_, False, NoEventMask, &e);
  }

  // The icon size nearest the tray's slot, scaled to it (nearest
  // neighbour). Pixels at least half opaque make the window's shape, so the
  // tray's own background shows around a round icon; edge pixels are
  // blended with a neutral dark grey.
  void PaintTrayIcon() {
    XWindowAttributes a{};
    if (!TrayIcon_ || !XGetWindowAttributes(D_, TrayIcon_, &a) || a.width <= 0 || a.height <= 0)
      return;
    TSurface scaled(a.width, a.height, 0);
    TRegion shape;
    if (const TIconImage* src = PickIcon(TrayIconImages_, a.height)) {
      for (int32_t y = 0; y < a.height; ++y) {
        for (int32_t x = 0; x < a.width; ++x) {
          const uint32_t p =
              src->Pixels[static_cast<std::size_t>(y * src->Height / a.height) * src->Width +
                          x * src->Width / a.width];
          scaled.Row(y)[x] = BlendOverGrey(p);
          if ((p >> 24) >= 0x80) shape.Union(TRect{x, y, x + 1, y + 1});
        }
      }
    }
    if (Shape_ && !shape.Empty()) {
      std::vector<XRectangle> rects;
      for (const TRect& r : shape.Rects()) {
        rects.push_back({static_cast<short>(r.Left), static_cast<short>(r.Top),
                         static_cast<unsigned short>(r.Width()),
                         static_cast<unsigned short>(r.Height())});
      }
      XShapeCombineRectangles(D_, TrayIcon_, ShapeBounding, 0, 0, rects.data(),
                              static_cast<int>(rects.size()), ShapeSet, YXBanded);
    }
    PutSurface(TrayIcon_, scaled, {0, 0, a.width, a.height});
  }

  static uint32_t BlendOverGrey(uint32_t argb) {
    constexpr uint32_t kGrey = 0x30;
    const uint32_t alpha = argb >> 24;
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
      const uint32_t c = (argb >> shift) & 0xFF;
      out |= ((c * alpha + kGrey * (255 - alpha)) / 255) << shift;
    }
    return out;
  }

  bool HandleTray(const XEvent& e) {
    if (e.type == ClientMessage && e.xclient.window == Root_ &&
        e.xclient.message_type == A("MANAGER") &&
        static_cast<::Atom>(e.xclient.data.l[1]) == TraySelection_) {
      if (TrayWanted_) DockIcon();  // a tray started: dock again
      return true;
    }
    if (e.type == DestroyNotify && TrayManager_ && e.xdestroywindow.window == TrayManager_) {
      TrayManager_ = 0;
      TrayEmbedded_ = false;
      return true;
    }
    if (!TrayIcon_ || e.xany.window != TrayIcon_) return false;
    switch (e.type) {
      case ReparentNotify:
        // The tray embeds the icon into a window of its own; a tray that ends
        // hands it back to the root window.
        TrayEmbedded_ = e.xreparent.parent != Root_;
        break;
      case Expose:
      case ConfigureNotify:
      case MapNotify: PaintTrayIcon(); break;
      case ButtonPress:
        if (e.xbutton.button == Button1) {
          const bool dbl = e.xbutton.time - LastTrayClick_ <= 500;
          LastTrayClick_ = dbl ? 0 : e.xbutton.time;
          DeliverTrayMouse(dbl ? wmLButtonDblClk : wmLButtonDown);
        } else if (e.xbutton.button == Button3) {
          DeliverTrayMouse(wmRButtonDown);
        }
        break;
      case ButtonRelease:
        if (e.xbutton.button == Button1) DeliverTrayMouse(wmLButtonUp);
        if (e.xbutton.button == Button3) DeliverTrayMouse(wmRButtonUp);
        break;
      default: break;
    }
    return true;
  }

  Display* D_;
  int Screen_ = 0;
  Window Root_ = 0;
  Visual* Visual_ = nullptr;
  int Depth_ = 24;
  int BitsPerPixel_ = 32;
  GC Gc_ = nullptr;
  Cursor Arrow_ = 0;
  bool Shape_ = false;
  bool FastPixels_ = false;
  std::map<std::string, ::Atom> Atoms_;
  std::map<Window, int> PendingConfigures_;
  std::map<Window, uint32_t> WmEdge_;
  std::set<unsigned int> Pressed_;
  ::Atom TraySelection_ = 0;
  Window TrayManager_ = 0;
  Window TrayIcon_ = 0;
  bool TrayWanted_ = false;
  bool TrayEmbedded_ = false;
  TIconSet TrayIconImages_;
  std::string TrayTip_;
  long BalloonId_ = 0;
  Time LastTrayClick_ = 0;
};

}  // namespace

std::unique_ptr<TBackend> MakeX11Backend(const std::string& displayName) {
  Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (!display) return nullptr;
  XSetErrorHandler(OnXError);
  return std::make_unique<TX11Backend>(display);
}

}  // namespace vesperon
