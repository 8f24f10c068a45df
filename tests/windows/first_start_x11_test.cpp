// A first start of the real executable on the test X server (the Xvfb of
// scripts/run-tests.sh, named by VESPERON_TEST_DISPLAY) in an empty program
// folder: the splash shows its picture and progress lines, then the
// configuration assistant stands above everything until an XTEST click on
// "Next" closes it, and the player runs on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "resources/pictures/pictures.h"
#include "skin/bmp.h"

// After every other header: Xlib's macros (None, Bool, Status) break them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct TFound {
  Window Id = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Viewable = false;
  bool TopMostViewable = false;  // no viewable top-level window above it
};

class FirstStartX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("VESPERON_TEST_DISPLAY");
    if (!display || !*display) {
      GTEST_SKIP() << "VESPERON_TEST_DISPLAY is not set; this test runs under the Xvfb that "
                      "scripts/run-tests.sh starts";
    }
    Display_ = display;
    D = XOpenDisplay(display);
    ASSERT_NE(D, nullptr);
    char tmpl[] = "/tmp/vesperon-x11-XXXXXX";
    Folder = mkdtemp(tmpl);
    fs::create_directories(Folder / "bin");
    fs::create_directories(Folder / "run");
    fs::copy_file(fs::path(VESPERON_PROGRAM_DIR) / "vesperon", Folder / "bin" / "vesperon");
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

  void Start() {
    const fs::path exe = Folder / "bin" / "vesperon";
    Pid = fork();
    if (Pid == 0) {
      if (chdir((Folder / "run").c_str()) != 0) _exit(126);
      setenv("DISPLAY", Display_.c_str(), 1);
      unsetenv("VESPERON_PLATFORM");
      setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
      execl(exe.c_str(), exe.c_str(), "--debug", static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(Pid, 0);
  }

  // Ends the player as a logout would; its exit code.
  int Stop() {
    kill(Pid, SIGTERM);
    int status = 0;
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (waitpid(Pid, &status, WNOHANG) == 0) {
      if (Clock::now() > end) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The top-level window with this title, as the server has it now.
  TFound Find(const std::string& title) {
    TFound found;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(D, DefaultRootWindow(D), &root, &parent, &children, &count)) return found;
    for (unsigned int i = 0; i < count; ++i) {  // bottom to top
      XWindowAttributes a;
      if (!XGetWindowAttributes(D, children[i], &a)) continue;
      const bool viewable = a.map_state == IsViewable;
      char* name = nullptr;
      if (XFetchName(D, children[i], &name) && name && title == name) {
        found = {children[i], a.x, a.y, a.width, a.height, viewable, viewable};
      } else if (viewable && found.Id) {
        found.TopMostViewable = false;
      }
      if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
  }

  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return false;
  }

  bool HasState(Window w, const char* state) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom wanted = XInternAtom(D, state, False);
    bool found = false;
    if (XGetWindowProperty(D, w, XInternAtom(D, "_NET_WM_STATE", False), 0, 64, False, XA_ATOM, &type, &format,
                           &count, &after, &data) == Success &&
        data) {
      const Atom* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < count; ++i) found = found || atoms[i] == wanted;
      XFree(data);
    }
    return found;
  }

  // How many pixels of the rows [top, bottom) of the window differ from the
  // picture; -1 when the window cannot be read.
  int Differing(Window w, const vesperon::TImage& picture, int top, int bottom) {
    XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XImage* image = XGetImage(D, w, 0, top, picture.Width, bottom - top, AllPlanes, ZPixmap);
    XSync(D, False);
    XSetErrorHandler(old);
    if (!image) return -1;
    int n = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = 0; x < picture.Width; ++x) {
        const uint8_t* p = picture.Pixel(x, y);
        const unsigned long want = (static_cast<unsigned long>(p[2]) << 16) | (p[1] << 8) | p[0];
        n += (XGetPixel(image, x, y - top) & 0xFFFFFF) != want;
      }
    }
    XDestroyImage(image);
    return n;
  }

  std::string Log() {
    std::ifstream in(Folder / "run" / "vesperon.log", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string Display_;
  Display* D = nullptr;
  fs::path Folder;
  pid_t Pid = 0;
};

TEST_F(FirstStartX11Test, SplashThenAssistantUntilNext) {
  vesperon::TImage splash;
  std::string error;
  ASSERT_TRUE(vesperon::DecodeBmp(vesperon::SplashPicture(), splash, error)) << error;
  Start();

  // The splash: in the middle of the screen, the picture around the
  // progress line, and a progress line drawn over the picture.
  TFound found;
  ASSERT_TRUE(WaitFor([&] { return (found = Find("Vesperon-Splash")).Viewable; }, std::chrono::seconds(20)))
      << "no splash window";
  const int screenW = DisplayWidth(D, DefaultScreen(D));
  const int screenH = DisplayHeight(D, DefaultScreen(D));
  EXPECT_EQ(found.X, screenW / 2 - 240);
  EXPECT_EQ(found.Y, screenH / 2 - 160);
  EXPECT_EQ(found.Width, 480);
  EXPECT_EQ(found.Height, 320);
  EXPECT_TRUE(HasState(found.Id, "_NET_WM_STATE_ABOVE"));
  const Window splashId = found.Id;
  EXPECT_TRUE(WaitFor([&] { return Differing(splashId, splash, 0, 215) == 0; }, std::chrono::seconds(5)))
      << "the splash picture above the progress line";
  EXPECT_TRUE(WaitFor([&] { return Differing(splashId, splash, 215, 265) > 20; }, std::chrono::seconds(5)))
      << "a progress line on the splash";

  // The assistant: centred, above every other window, until "Next".
  ASSERT_TRUE(WaitFor([&] { return (found = Find("Configuration-Assistent")).Viewable; }, std::chrono::seconds(20)))
      << "no assistant window";
  EXPECT_EQ(Find("Vesperon-Splash").Id, 0u) << "the splash is gone before the assistant opens";
  EXPECT_EQ(found.X, screenW / 2 - 240);
  EXPECT_EQ(found.Y, screenH / 2 - 160);
  EXPECT_TRUE(found.TopMostViewable);
  EXPECT_TRUE(HasState(found.Id, "_NET_WM_STATE_ABOVE"));

  // Escape and a close request leave it open.
  XTestFakeKeyEvent(D, XKeysymToKeycode(D, XK_Escape), True, CurrentTime);
  XTestFakeKeyEvent(D, XKeysymToKeycode(D, XK_Escape), False, CurrentTime);
  XSync(D, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(Find("Configuration-Assistent").Viewable);

  // "Next" lies at (320, 260), 60 x 30, in the window.
  XTestFakeMotionEvent(D, -1, found.X + 350, found.Y + 275, CurrentTime);
  XTestFakeButtonEvent(D, 1, True, CurrentTime);
  XTestFakeButtonEvent(D, 1, False, CurrentTime);
  XSync(D, False);
  EXPECT_TRUE(WaitFor([&] { return Find("Configuration-Assistent").Id == 0; }, std::chrono::seconds(5)))
      << "the assistant is still there after Next";

  EXPECT_EQ(waitpid(Pid, nullptr, WNOHANG), 0) << "the player runs on";
  EXPECT_EQ(Stop(), 0);
  const std::string log = Log();
  EXPECT_NE(log.find("no configuration found. starting configuration assistent..."), std::string::npos);
  EXPECT_NE(log.find("terminated gracefully :)"), std::string::npos);
}

}  // namespace
