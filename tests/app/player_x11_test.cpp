// The real executable on the test X server (the Xvfb of scripts/run-tests.sh,
// named by VESPERON_TEST_DISPLAY), used as a person would: keys and clicks
// through XTEST, the popup menu, dragging, a test tray, switching skins. What
// it plays is recorded with the wav output and read back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// After every other header: Xlib's macros (None, Bool, Status) break them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "test_tray.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct TPlace {
  Window Id = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Viewable = false;
};

// A 20-second tone as a 16-bit WAV file with an ID3v1 tag after the data.
void WriteTaggedSong(const fs::path& path) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<float> frames(44100 * 20 * 2);
  for (std::size_t i = 0; i < frames.size(); ++i)
    frames[i] = 0.5f * std::sin(i / 2 * 2 * M_PI * 440 / 44100);
  sf_writef_float(file, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
  sf_close(file);
  auto field = [](const std::string& text, std::size_t size) {
    return (text + std::string(size, '\0')).substr(0, size);
  };
  std::ofstream(path, std::ios::binary | std::ios::app)
      << "TAG" << field("Evening Song", 30) << field("The Testers", 30) << field("", 30)
      << field("2026", 4) << field("", 30) << '\x0c';
}

class PlayerX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("VESPERON_TEST_DISPLAY");
    if (!display || !*display)
      GTEST_SKIP() << "VESPERON_TEST_DISPLAY is not set (scripts/run-tests.sh sets it)";
    Display_ = display;
    D = XOpenDisplay(display);
    ASSERT_NE(D, nullptr);
    char tmpl[] = "/tmp/vesperon-player-XXXXXX";
    Folder = mkdtemp(tmpl);
    const fs::path program = VESPERON_PROGRAM_DIR;
    fs::create_directories(Folder / "bin" / "skins");
    fs::create_directories(Folder / "run");
    fs::create_directories(Folder / "music");
    fs::copy_file(program / "vesperon", Folder / "bin" / "vesperon");
    fs::copy_file(program / "skins" / "lumen.vsf", Folder / "bin" / "skins" / "lumen.vsf");
    if (fs::exists(program / "fmodex.so"))
      fs::copy_file(program / "fmodex.so", Folder / "bin" / "fmodex.so");
    fs::copy_file(program / "english.xml", Folder / "run" / "english.xml");
    // Settings exist, so no configuration assistant; the window starts at 200, 150.
    std::ofstream(Folder / "run" / "settings.xml")
        << "<CONFIG><general lastlanguage=\"english.xml\"><lastpos x=\"200\" "
           "y=\"150\"/></general></CONFIG>";
    const int p = XKeysymToKeycode(D, XK_p) - 8, n = XKeysymToKeycode(D, XK_n) - 8;
    const int space = XKeysymToKeycode(D, XK_space) - 8;
    std::ofstream(Folder / "run" / "keys.xml")
        << "<keys><key value=\"80\" extended=\"" << p << "\" function=\"play\"/>"
        << "<key value=\"78\" extended=\"" << n << "\" function=\"next\"/>"
        << "<key value=\"32\" extended=\"" << space << "\" function=\"break\"/></keys>";
    WriteTaggedSong(Song());
  }

  void TearDown() override {
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (D) XCloseDisplay(D);
    std::error_code ec;
    if (!Folder.empty()) fs::remove_all(Folder, ec);
  }

  fs::path Song() const { return Folder / "music" / "song.wav"; }
  fs::path Recording() const { return Folder / "run" / "played.wav"; }

  // The player with the song on the command line (opened, not started) and
  // the music folder in its media database.
  void Start() {
    const fs::path exe = Folder / "bin" / "vesperon";
    const std::string adddir = "--adddir=" + (Folder / "music").string();
    const std::string output = "wav:" + Recording().string();
    Pid = fork();
    if (Pid == 0) {
      if (chdir((Folder / "run").c_str()) != 0) _exit(126);
      setenv("DISPLAY", Display_.c_str(), 1);
      unsetenv("VESPERON_PLATFORM");
      setenv("VESPERON_AUDIO_OUTPUT", output.c_str(), 1);
      execl(exe.c_str(), exe.c_str(), "--debug", adddir.c_str(), Song().c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(Pid, 0);
    ASSERT_TRUE(WaitFor([&] { return (Main = Find("Vesperon")).Viewable; }, 30s))
        << "no main window";
    ASSERT_TRUE(
        WaitFor([&] { return LogText().find("initialization done") != std::string::npos; }, 30s));
  }

  // The exit code once the process ends by itself; -1 after the time limit.
  int WaitForExit(std::chrono::seconds limit = 20s) {
    int status = 0;
    const auto end = Clock::now() + limit;
    while (waitpid(Pid, &status, WNOHANG) == 0) {
      if (Clock::now() > end) return -1;
      std::this_thread::sleep_for(10ms);
    }
    Pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  int Terminate() {
    kill(Pid, SIGTERM);
    return WaitForExit();
  }

  TPlace Place(Window w) {
    TPlace p;
    XWindowAttributes a;
    if (!XGetWindowAttributes(D, w, &a)) return p;
    Window child = 0;
    XTranslateCoordinates(D, w, DefaultRootWindow(D), 0, 0, &p.X, &p.Y, &child);
    p = {w, p.X, p.Y, a.width, a.height, a.map_state == IsViewable};
    return p;
  }

  // The top-level window with this title.
  TPlace Find(const std::string& title) {
    TPlace found;
    for (Window w : TopLevel()) {
      char* name = nullptr;
      if (XFetchName(D, w, &name) && name && title == name) found = Place(w);
      if (name) XFree(name);
    }
    return found;
  }

  std::vector<Window> TopLevel() {
    std::vector<Window> out;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(D, DefaultRootWindow(D), &root, &parent, &children, &count))
      out.assign(children, children + count);
    if (children) XFree(children);
    return out;
  }

  // The open popup menu levels (viewable override-redirect windows other
  // than the test tray), bottom to top.
  std::vector<TPlace> Menus(Window except = 0) {
    std::vector<TPlace> out;
    for (Window w : TopLevel()) {
      XWindowAttributes a;
      if (w != except && XGetWindowAttributes(D, w, &a) && a.override_redirect &&
          a.map_state == IsViewable)
        out.push_back(Place(w));
    }
    return out;
  }

  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(5ms);
    }
    return done();
  }

  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(D, -1, x, y, CurrentTime);
    XSync(D, False);
    std::this_thread::sleep_for(30ms);
  }
  void Button(unsigned int button, bool down) {
    XTestFakeButtonEvent(D, button, down ? True : False, CurrentTime);
    XSync(D, False);
    std::this_thread::sleep_for(30ms);
  }
  void Click(int x, int y, unsigned int button = 1) {
    MoveTo(x, y);
    Button(button, true);
    Button(button, false);
  }
  void Key(KeySym sym) {
    const unsigned int code = XKeysymToKeycode(D, sym);
    XTestFakeKeyEvent(D, code, True, CurrentTime);
    XTestFakeKeyEvent(D, code, False, CurrentTime);
    XSync(D, False);
  }

  // Right-clicks the main window at (x, y) of it and clicks the item of the
  // popup menu whose top edge is `itemTop` pixels below the menu's top.
  void MenuItem(int x, int y, int itemTop) {
    Click(Main.X + x, Main.Y + y, 3);
    std::vector<TPlace> menus;
    ASSERT_TRUE(WaitFor([&] { return !(menus = Menus()).empty(); }, 5s)) << "no popup menu";
    Click(menus.back().X + 30, menus.back().Y + itemTop + 11);
  }
  // Popup menu rows: Skins 1, Minimize 32, Restore 54, About 85, Exit 107.
  static constexpr int kSkinsItem = 1, kMinimizeItem = 32, kRestoreItem = 54, kExitItem = 107;

  // Opens the skins submenu from (x, y) of the main window and clicks its
  // n-th item.
  void ChooseSkin(int x, int y, int n) {
    MenuItem(x, y, kSkinsItem);
    std::vector<TPlace> menus;
    ASSERT_TRUE(WaitFor([&] { return (menus = Menus()).size() == 2; }, 5s)) << "no skins submenu";
    Click(menus[1].X + 30, menus[1].Y + 1 + 22 * n + 11);
  }

  // The loudest sample recorded so far.
  float RecordedPeak() {
    SF_INFO info{};
    SNDFILE* file = sf_open(Recording().c_str(), SFM_READ, &info);
    if (!file) return 0;
    std::vector<float> frames(4096 * std::max(info.channels, 1));
    float peak = 0;
    sf_count_t n = 0;
    while ((n = sf_readf_float(file, frames.data(), 4096)) > 0)
      for (sf_count_t i = 0; i < n * info.channels; ++i)
        peak = std::max(peak, std::fabs(frames[i]));
    sf_close(file);
    return peak;
  }

  // The pixels of a rectangle of the main window as the server shows them.
  std::vector<unsigned long> Pixels(int x, int y, int w, int h) {
    std::vector<unsigned long> out;
    XImage* image = XGetImage(D, Main.Id, x, y, w, h, AllPlanes, ZPixmap);
    if (!image) return out;
    for (int yy = 0; yy < h; ++yy)
      for (int xx = 0; xx < w; ++xx) out.push_back(XGetPixel(image, xx, yy) & 0xFFFFFF);
    XDestroyImage(image);
    return out;
  }

  std::string LogText() {
    std::ifstream in(Folder / "run" / "vesperon.log", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool Logged(const std::string& line) {
    return LogText().find(line + "\r\n") != std::string::npos;
  }

  pugi::xml_node Setting(pugi::xml_document& doc, const char* path) {
    doc.load_file((Folder / "run" / "settings.xml").c_str());
    return doc.child("CONFIG").first_element_by_path(path);
  }

  std::string Display_;
  Display* D = nullptr;
  fs::path Folder;
  pid_t Pid = 0;
  TPlace Main;
};

// The built-in skin: the time label at (40, 50), 80 x 16; the play button
// at (75, 134), 20 x 20.
TEST_F(PlayerX11Test, PlayKeySpaceAndTheWindowManagersClose) {
  Start();
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(RecordedPeak(), 0.01f) << "the song on the command line is opened, not started";
  const std::vector<unsigned long> before = Pixels(40, 50, 80, 16);
  MoveTo(Main.X + 100, Main.Y + 100);
  Key(XK_p);
  EXPECT_TRUE(WaitFor([&] { return RecordedPeak() > 0.2f; }, 10s)) << "P did not start the song";
  EXPECT_TRUE(WaitFor([&] { return Pixels(40, 50, 80, 16) != before; }, 10s))
      << "the time label did not change (" << before.size() << " pixels read)";
  EXPECT_TRUE(Logged("key 80 was pressed"));
  Key(XK_space);
  EXPECT_TRUE(WaitFor([&] { return Logged("key 32 was pressed"); }, 10s));
  // The window manager's close button sends WM_DELETE_WINDOW.
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = Main.Id;
  e.xclient.message_type = XInternAtom(D, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(D, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(D, Main.Id, False, NoEventMask, &e);
  XSync(D, False);
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_TRUE(Logged("got WM_CLOSE for the main window"));
}

TEST_F(PlayerX11Test, PlayButtonDragAndExitFromTheMenu) {
  Start();
  Click(Main.X + 85, Main.Y + 144);
  EXPECT_TRUE(WaitFor([&] { return RecordedPeak() > 0.2f; }, 10s))
      << "the play button did not start the song";
  // Dragged by a point of the background.
  MoveTo(Main.X + 100, Main.Y + 25);
  Button(1, true);
  MoveTo(Main.X + 160, Main.Y + 80);
  MoveTo(Main.X + 220, Main.Y + 105);
  Button(1, false);
  TPlace moved;
  ASSERT_TRUE(WaitFor([&] { return (moved = Place(Main.Id)).X == Main.X + 120; }, 5s)) << moved.X;
  EXPECT_EQ(moved.Y, Main.Y + 80);
  Main = moved;
  MenuItem(100, 25, kExitItem);
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_TRUE(Logged("got BN_CLICKED for IDM_EXIT"));
  pugi::xml_document doc;
  EXPECT_EQ(Setting(doc, "general/lastpos").attribute("x").as_int(), 320);
  EXPECT_EQ(Setting(doc, "general/lastpos").attribute("y").as_int(), 230);
}

// No tray at first: minimizing keeps the window reachable. A tray started
// later holds the icon; its tip follows the song, a warning becomes a
// balloon, minimizing hides the window and a double click brings it back.
TEST_F(PlayerX11Test, TrayIconTipBalloonAndMinimizeToTheTray) {
  Start();
  MenuItem(100, 25, kMinimizeItem);
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(Place(Main.Id).Viewable) << "hidden although no tray could bring it back";
  MenuItem(100, 25, kRestoreItem);

  vesperon::testing::TTestTray tray(D);
  // Near the screen's bottom right corner, on screens of any size.
  tray.Start(DisplayWidth(D, DefaultScreen(D)) - 180, DisplayHeight(D, DefaultScreen(D)) - 124);
  ASSERT_TRUE(WaitFor(
      [&] {
        tray.Process();
        return tray.Icon != 0 && Place(tray.Icon).Viewable;
      },
      10s))
      << "the icon did not dock";
  // The tip set while the icon waited for a tray (the opened song's).
  EXPECT_TRUE(WaitFor([&] { return tray.Tip() == "Evening Song - The Testers"; }, 10s))
      << tray.Tip();
  MoveTo(Main.X + 100, Main.Y + 100);
  Key(XK_p);
  EXPECT_TRUE(WaitFor([&] { return RecordedPeak() > 0.2f; }, 10s));

  // The only song of the database is gone: "next" cannot open it.
  fs::remove(Song());
  Key(XK_n);
  EXPECT_TRUE(WaitFor(
      [&] {
        tray.Process();
        for (const std::string& b : tray.Balloons)
          if (b.rfind("Warning\n", 0) == 0) return true;
        return false;
      },
      10s))
      << "no warning balloon";

  MenuItem(100, 25, kMinimizeItem);
  EXPECT_TRUE(WaitFor([&] { return !Place(Main.Id).Viewable; }, 5s)) << "not hidden to the tray";
  int x = 0, y = 0;
  tray.IconCentre(x, y);
  Click(x, y);
  Click(x, y);
  EXPECT_TRUE(WaitFor([&] { return Place(Main.Id).Viewable; }, 5s))
      << "the double click did not restore it";
  EXPECT_EQ(Terminate(), 0);
}

// The built-in skin's main window is 200 x 200, lumen's 320 x 100; both
// show their background at the points right-clicked here.
TEST_F(PlayerX11Test, SwitchingSkinsFromTheSubmenu) {
  std::ofstream(Folder / "bin" / "skins" / "broken.vsf") << "this is not a packed skin";
  Start();
  ASSERT_EQ(Main.Width, 200);
  ChooseSkin(100, 25, 1);  // broken.vsf, lumen.vsf
  TPlace lumen;
  ASSERT_TRUE(
      WaitFor([&] { return (lumen = Find("Vesperon")).Viewable && lumen.Width == 320; }, 10s))
      << "lumen's main window did not appear";
  EXPECT_EQ(lumen.Height, 100);
  EXPECT_EQ(lumen.X, Main.X);  // where the old main window stood
  EXPECT_EQ(lumen.Y, Main.Y);
  Main = lumen;
  ChooseSkin(195, 10, 0);
  EXPECT_TRUE(WaitFor(
      [&] { return LogText().find("going back to the previous skin") != std::string::npos; }, 10s));
  std::this_thread::sleep_for(300ms);
  TPlace after;
  ASSERT_TRUE(WaitFor([&] { return (after = Find("Vesperon")).Viewable; }, 10s))
      << "no window after the failure";
  EXPECT_EQ(after.Width, 320) << "the previous skin is not on the screen";
  Main = after;
  MenuItem(195, 10, kExitItem);
  EXPECT_EQ(WaitForExit(), 0);
  pugi::xml_document doc;
  EXPECT_NE(std::string(Setting(doc, "skins").attribute("lastskin").as_string()).find("lumen.vsf"),
            std::string::npos);
}

}  // namespace
