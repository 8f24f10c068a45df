// The built-in skin on a real X server (the Xvfb of scripts/run-tests.sh,
// named by VESPERON_TEST_DISPLAY): the main window's shape as the server
// keeps it, and the real executable's window and script listing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/params.h"
#include "platform/headless.h"
#include "skin/skin.h"
#include "skin_fixture.h"

// After every other header: Xlib's macros (None, Bool, Status) break them.
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace vesperon {
namespace {

namespace fs = std::filesystem;

const char* TestDisplay() {
  const char* display = std::getenv("VESPERON_TEST_DISPLAY");
  return display && *display ? display : nullptr;
}

TRegion ServerShape(Display* d, Window w) {
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(d, w, ShapeBounding, &count, &ordering);
  std::vector<TRect> out;
  for (int i = 0; i < count; ++i)
    out.push_back(
        {rects[i].x, rects[i].y, rects[i].x + rects[i].width, rects[i].y + rects[i].height});
  if (rects) XFree(rects);
  return TRegion(out);
}

TEST(SkinX11, TheMainWindowsShapeOnTheServerIsItsStencil) {
  const char* display = TestDisplay();
  if (display == nullptr) GTEST_SKIP() << "VESPERON_TEST_DISPLAY is not set";
  ClosePlatform();
  gParams.Display = display;
  ASSERT_EQ(OpenPlatform(pkX11), pkX11);
  {
    TSkin skin;
    gSkin = &skin;
    ASSERT_TRUE(skin.Load(u""));
    DispatchPendingMessages();
    Display* d = XOpenDisplay(display);
    ASSERT_NE(d, nullptr);
    const TWindow& main = *skin.Windows[0];
    const TImage& stencil = skin.Images[static_cast<std::size_t>(main.StencilIndex)].Image;
    EXPECT_EQ(ServerShape(d, static_cast<Window>(NativeWindowForTesting(main.Handle))),
              RegionFromMask(stencil, 255, 255, 255));
    const TButton& play = *main.Buttons[1];
    const TImage& playStencil = skin.Images[static_cast<std::size_t>(play.StencilIndex)].Image;
    EXPECT_EQ(ServerShape(d, static_cast<Window>(NativeWindowForTesting(play.Handle))),
              RegionFromMask(playStencil, 255, 255, 255));
    XCloseDisplay(d);
    skin.Unload();
    gSkin = nullptr;
  }
  ClosePlatform();
  gParams.Display.clear();
}

// Whether a viewable top-level window titled `title` exists on the display.
bool WindowTitled(Display* d, Window root, const std::string& title) {
  Window parent = 0, rootReturn = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, root, &rootReturn, &parent, &children, &count)) return false;
  bool found = false;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* name = nullptr;
    XWindowAttributes a;
    if (XFetchName(d, children[i], &name) && name != nullptr) {
      found =
          title == name && XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable;
      XFree(name);
    }
    if (!found) found = WindowTitled(d, children[i], title);
  }
  if (children) XFree(children);
  return found;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SkinX11, TheProgramShowsItsSkinAndListsTheScripts) {
  const char* display = TestDisplay();
  if (display == nullptr) GTEST_SKIP() << "VESPERON_TEST_DISPLAY is not set";
  test::TTempDir dir;
  const fs::path exe = dir.Path() / "vesperon";
  fs::copy_file(fs::path(VESPERON_PROGRAM_DIR) / "vesperon", exe);
  test::WriteFile(dir.Path() / "settings.xml", "<CONFIG/>");
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.Path().c_str()) != 0) _exit(126);
    unsetenv("VESPERON_PLATFORM");
    setenv("DISPLAY", display, 1);
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    execl(exe.c_str(), exe.c_str(), "--debug", "--logscript", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  Display* d = XOpenDisplay(display);
  ASSERT_NE(d, nullptr);
  bool shown = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!shown && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    shown = ReadAll(dir.Path() / "vesperon.log").find("initialization done") != std::string::npos &&
            WindowTitled(d, DefaultRootWindow(d), "Vesperon");
  }
  XCloseDisplay(d);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // The onsong module's listing in the log, written as the compiler emits
  // each instruction: the first jump is listed before its target is known,
  // every other line as in the finished code.
  const std::string log = ReadAll(dir.Path() / "vesperon.log");
  const std::string golden = ReadAll(fs::path(VESPERON_TEST_DATA) / "script/golden/onsong.lst");
  std::vector<std::string> expected;
  for (std::size_t start = 0, end; (end = golden.find('\n', start)) != std::string::npos;
       start = end + 1)
    expected.push_back(golden.substr(start, end - start));
  ASSERT_EQ(expected.size(), 22u);
  std::string listing = "processing script...\r\nJMP 0, 0\r\n";
  for (std::size_t i = 1; i < expected.size(); ++i) listing += expected[i] + "\r\n";
  listing += "processed script\r\n";
  EXPECT_NE(log.find(listing), std::string::npos) << log.substr(0, 6000);
}

}  // namespace
}  // namespace vesperon
