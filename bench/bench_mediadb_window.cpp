// The media-db window with 100,000 entries:
//  1. repainting the list view of a 640 x 480 window after Page Down,
//     against presenting the same surface without drawing (target: within
//     5x);
//  2. a header click (sort by title, then repaint) against sorting the same
//     entries by title alone (target: within 1.2x).
// Both run on the X server (a private Xvfb is started when DISPLAY is not
// set), so presenting costs what it costs on a desktop; without one they run
// headless and say so.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "bench_media_timing.h"
#include "media/mediadb.h"
#include "platform/backend.h"
#include "platform/platform.h"
#include "windows/mediadb_window.h"

extern char** environ;

using namespace vesperon;

namespace {

constexpr int kEntries = 100000;

pid_t StartXvfb() {
  for (int n = 170; n < 200; ++n) {
    const std::string display = ":" + std::to_string(n);
    if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
        std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
      continue;
    }
    const char* argv[] = {"Xvfb",         display.c_str(), "-screen", "0",
                          "1280x1024x24", "-nolisten",     "tcp",     nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      return 0;
    for (int i = 0; i < 100 && !std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n));
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    setenv("DISPLAY", display.c_str(), 1);
    return pid;
  }
  return 0;
}

// Titles as the media sort benchmark makes them: 4 to 40 letters and spaces.
void FillDatabase(TMediaDB& db) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> len(4, 40), letter(0, 52);
  for (int i = 0; i < kEntries; ++i) {
    TMediaEntry e;
    for (int n = len(rng); n > 0; --n) {
      const int c = letter(rng);
      e.Title += c == 52 ? u' ' : static_cast<char16_t>(c < 26 ? u'A' + c : u'a' + c - 26);
    }
    e.Artist = u"Artist " + e.Title.substr(0, 3);
    e.Filename = u"/home/user/music/" + e.Artist + u"/" + e.Title + u".mp3";
    e.Genre = u"Rock";
    e.Album = u"Album";
    e.Added = 45000.0 + i / 1000.0;
    db.Add(e);
  }
}

TFramedWindowLook Look() {
  TFramedWindowLook look;
  look.BgColor = MakeColor(30, 30, 60);
  look.ScrollColor = MakeColor(90, 90, 160);
  look.ButtonFontColor = MakeColor(240, 240, 240);
  return look;
}

void Flush() { Backend().Flush(); }

void BenchRepaint(TMediaDBWin& window) {
  TListView& list = *window.ListView;
  const bench::TTiming t = bench::Compare(
      30, [] {},
      [&] {
        SendMessage(list.Handle, wmKeyDown, vkNext, 0);
        Flush();
        if (list.TopIndex > kEntries - 100) list.TopIndex = 0;
      },
      [&] {
        PresentWindow(list.Handle);
        Flush();
      });
  bench::Report("repaint list after Page Down", t, 5.0);
}

void BenchHeaderClick(TMediaDBWin& window) {
  TListView& list = *window.ListView;
  const bench::TTiming t = bench::Compare(
      15,
      [&] {
        FreeMediaDB();
        FillDatabase(CreateMediaDB());
        list.Selected = 5000;
        list.TopIndex = 0;
      },
      [&] {
        list.HeaderClick(50);  // the title column: sort ascending, repaint
        Flush();
      },
      [&] { MediaDB()->SortByTitle(false); });
  bench::Report("header click (sort by title)", t, 1.2);
}

}  // namespace

int main() {
  pid_t xvfb = 0;
  if (std::getenv("DISPLAY") == nullptr) xvfb = StartXvfb();
  const TPlatformKind kind = OpenPlatform(pkNone);
  std::printf("media-db window with %d entries, %s\n", kEntries,
              kind == pkX11 ? "on X11" : "headless");
  FillDatabase(CreateMediaDB());
  {
    TMediaDBWin window(Look());
    if (!window.Create(0)) return 1;
    window.Show();
    InvalidateRect(window.Handle);
    UpdateWindow(window.Handle);
    UpdateWindow(window.ListView->Handle);
    Flush();
    BenchRepaint(window);
    BenchHeaderClick(window);
  }
  FreeMediaDB();
  ClosePlatform();
  if (xvfb != 0) {
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
  }
  return 0;
}
