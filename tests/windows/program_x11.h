#pragma once
// The real executable on the test X server (the Xvfb of scripts/run-tests.sh,
// named by VESPERON_TEST_DISPLAY): a private program folder, start and stop,
// top-level windows found by title, input through XTEST, the log.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// After every other header: Xlib's macros (None, Bool, Status) break them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace vesperon::testing {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct TFoundWindow {
  Window Id = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Viewable = false;
  bool TopMostViewable = false;  // no viewable top-level window above it
};

class TProgramX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("VESPERON_TEST_DISPLAY");
    if (!display || !*display) {
      GTEST_SKIP() << "VESPERON_TEST_DISPLAY is not set; this test runs under the Xvfb that "
                      "scripts/run-tests.sh starts";
    }
    DisplayName = display;
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
    if (!Folder.empty() && !std::getenv("VESPERON_KEEP_TEST_FOLDER")) fs::remove_all(Folder, ec);
  }

  // Starts bin/vesperon --debug ARGS... in run/ with the environment given
  // as NAME=VALUE pairs (the audio output is null unless given).
  void Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    const fs::path exe = Folder / "bin" / "vesperon";
    Pid = fork();
    if (Pid == 0) {
      // A test program that is killed (a time-out) takes the player with it.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (chdir((Folder / "run").c_str()) != 0) _exit(126);
      setenv("DISPLAY", DisplayName.c_str(), 1);
      unsetenv("VESPERON_PLATFORM");
      setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
      for (const std::string& e : env) putenv(strdup(e.c_str()));
      std::vector<char*> argv{strdup(exe.c_str()), strdup("--debug")};
      for (const std::string& a : args) argv.push_back(strdup(a.c_str()));
      argv.push_back(nullptr);
      execv(exe.c_str(), argv.data());
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
  TFoundWindow Find(const std::string& title) {
    TFoundWindow found;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(D, DefaultRootWindow(D), &root, &parent, &children, &count)) return found;
    // A window may go (the splash closing) between the listing and the
    // questions about it: its BadWindow must not end the test process.
    XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
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
    XSync(D, False);
    XSetErrorHandler(old);
    if (children) XFree(children);
    return found;
  }

  static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  bool WaitForLog(const std::string& text, std::chrono::milliseconds limit) {
    return WaitFor([&] { return Log().find(text) != std::string::npos; }, limit);
  }

  // XTEST input at screen points.
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(D, -1, x, y, CurrentTime);
    XSync(D, False);
  }
  void Button(bool down) {
    XTestFakeButtonEvent(D, 1, down ? True : False, CurrentTime);
    XSync(D, False);
  }
  void Click(int x, int y) {
    MoveTo(x, y);
    Button(true);
    Button(false);
  }
  void Key(KeySym key) {
    const KeyCode code = XKeysymToKeycode(D, key);
    XTestFakeKeyEvent(D, code, True, CurrentTime);
    XTestFakeKeyEvent(D, code, False, CurrentTime);
    XSync(D, False);
  }
  // Presses at (x, y), moves by (dx, dy) in small steps and lets go.
  void Drag(int x, int y, int dx, int dy) {
    MoveTo(x, y);
    Button(true);
    for (int i = 1; i <= 10; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      MoveTo(x + dx * i / 10, y + dy * i / 10);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Button(false);
  }

  // The pixels of a window as 0xRRGGBB rows; empty when it cannot be read.
  std::vector<std::vector<uint32_t>> Pixels(Window w, int width, int height) {
    std::vector<std::vector<uint32_t>> rows;
    XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XImage* image = XGetImage(D, w, 0, 0, width, height, AllPlanes, ZPixmap);
    XSync(D, False);
    XSetErrorHandler(old);
    if (!image) return rows;
    rows.assign(height, std::vector<uint32_t>(width));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) rows[y][x] = XGetPixel(image, x, y) & 0xFFFFFF;
    }
    XDestroyImage(image);
    return rows;
  }

  std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string Log() { return ReadFile(Folder / "run" / "vesperon.log"); }

  std::string DisplayName;
  Display* D = nullptr;
  fs::path Folder;
  pid_t Pid = 0;
};

}  // namespace vesperon::testing
