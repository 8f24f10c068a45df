// Windowing layer benchmarks:
//  1. presenting a 640 x 480 window surface to the X server, one frame after
//     another, each waited for (target: at least 200 frames per second under
//     Xvfb); an Xvfb is started when no DISPLAY is set;
//  2. building the region of a 640 x 480 stencil with many runs, against a
//     plain pass that only reads the pixels and compares them with the key
//     (target: within 3x of that pass).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "platform/backend.h"
#include "platform/platform.h"

extern char** environ;

using namespace vesperon;
using clock_type = std::chrono::steady_clock;

namespace {

double Seconds(clock_type::time_point since) {
  return std::chrono::duration<double>(clock_type::now() - since).count();
}

// Starts a private Xvfb and returns its process id (0 when none starts).
pid_t StartXvfb(std::string& display) {
  for (int n = 140; n < 170; ++n) {
    if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
        std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
      continue;
    }
    display = ":" + std::to_string(n);
    std::string screen = "1280x1024x24";
    const char* argv[] = {"Xvfb",         display.c_str(), "-screen", "0",
                          screen.c_str(), "-nolisten",     "tcp",     nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      return 0;
    for (int i = 0; i < 100 && !std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n));
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return pid;
  }
  return 0;
}

void BenchPresent() {
  std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  pid_t xvfb = 0;
  if (display.empty()) xvfb = StartXvfb(display);
  setenv("DISPLAY", display.c_str(), 1);
  if (OpenPlatform(pkX11) != pkX11) {
    std::printf("present 640x480: no X display could be opened, skipped\n");
    return;
  }
  TWindowParams p;
  p.Bounds = {0, 0, 640, 480};
  p.Flags = wfVisible;
  const THandle w = CreateWindow(p);
  TSurface& s = *GetWindowSurface(w);
  for (int32_t y = 0; y < 480; ++y) {
    for (int32_t x = 0; x < 640; ++x) s.Row(y)[x] = MakeColor(x & 0xFF, y & 0xFF, (x * y) & 0xFF);
  }
  PresentWindow(w);
  Backend().Flush();
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    const int frames = 300;
    const auto start = clock_type::now();
    for (int i = 0; i < frames; ++i) {
      s.Row(i % 480)[i % 640] ^= 0xFFFFFF;  // a different frame every time
      PresentWindow(w);
      Backend().Flush();  // wait until the server has the frame
    }
    best = std::max(best, frames / Seconds(start));
  }
  std::printf("present 640x480 to %-8s %8.0f frames/s  (target >= 200) %s\n", display.c_str(), best,
              best >= 200 ? "ok" : "SLOW");
  ClosePlatform();
  if (xvfb) {
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
  }
}

// Noise in runs of 1 to 8 pixels: about 70 runs a row.
TImage ManyRunsStencil() {
  TImage s;
  s.Width = 640;
  s.Height = 480;
  s.Pixels.resize(640 * 480 * 4);
  std::mt19937 random(7);
  for (int32_t y = 0; y < 480; ++y) {
    int32_t x = 0;
    bool opaque = y % 2 == 0;
    while (x < 640) {
      const int32_t run = 1 + static_cast<int32_t>(random() % 8);
      for (int32_t i = 0; i < run && x < 640; ++i, ++x)
        std::fill_n(s.Pixel(x, y), 3, opaque ? 0 : 255);
      opaque = !opaque;
    }
  }
  return s;
}

// Reads every pixel and counts the ones differing from the key.
std::size_t PlainPass(const TImage& s) {
  std::size_t n = 0;
  for (int32_t y = 0; y < s.Height; ++y) {
    const uint8_t* p = s.Pixel(0, y);
    for (int32_t x = 0; x < s.Width; ++x, p += 4) n += !(p[0] == 255 && p[1] == 255 && p[2] == 255);
  }
  return n;
}

void BenchRegion() {
  const TImage stencil = ManyRunsStencil();
  double region = 1e9, plain = 1e9;
  std::size_t rects = 0, opaque = 0;
  for (int round = 0; round < 15; ++round) {
    auto start = clock_type::now();
    opaque += PlainPass(stencil);
    plain = std::min(plain, Seconds(start));
    start = clock_type::now();
    const TRegion r = RegionFromMask(stencil, 255, 255, 255);
    region = std::min(region, Seconds(start));
    rects = r.Rects().size();
  }
  const double ratio = region / plain;
  std::printf(
      "region of 640x480 stencil (%zu rects) %7.3f ms, plain pass %7.3f ms, ratio %.2f (target <= "
      "3) %s\n",
      rects, region * 1e3, plain * 1e3, ratio, ratio <= 3 ? "ok" : "SLOW");
  if (opaque == 0) std::printf("(empty stencil)\n");
}

}  // namespace

int main() {
  BenchRegion();
  BenchPresent();
  return 0;
}
