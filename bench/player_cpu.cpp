// CPU share of the whole player process while a song plays with the main
// window shown (the slow tick running the skin's ontime script, the title
// label scrolling), against the same process playing the same song without
// a display (headless) in the same run; and the time from exec to the first
// window and to the main window being mapped.
//
// Each player runs in an empty folder with the null output and a private
// session bus; playback is started over MPRIS with playerctl (the player
// offers org.mpris.MediaPlayer2.vesperon), so both runs are driven alike.
//
//   bench_player_cpu [seconds]     (default 20; needs $DISPLAY or
//                                   $VESPERON_TEST_DISPLAY, dbus-daemon and
//                                   playerctl)
#include <signal.h>
#include <sndfile.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>

#include "proc_cpu.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void WriteTone(const fs::path& path, int seconds) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return;
  std::vector<float> frames(44100 * 2);
  for (int s = 0; s < seconds; ++s) {
    for (std::size_t i = 0; i < frames.size(); ++i)
      frames[i] = 0.3f * std::sin(i / 2 * 2 * M_PI * 330 / 44100);
    sf_writef_float(file, frames.data(), 44100);
  }
  sf_close(file);
}

// A private session bus; its address, and its process id for the end.
std::string StartBus(pid_t& busPid) {
  FILE* out = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
  if (!out) return {};
  char line[512] = {};
  std::string address;
  if (std::fgets(line, sizeof line, out)) address = line;
  if (std::fgets(line, sizeof line, out)) busPid = std::atoi(line);
  pclose(out);
  while (!address.empty() && (address.back() == '\n' || address.back() == '\r')) address.pop_back();
  return address;
}

pid_t StartPlayer(const fs::path& folder, const fs::path& song, const std::string& display,
                  const std::string& bus) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    if (display.empty()) {
      setenv("VESPERON_PLATFORM", "headless", 1);
    } else {
      setenv("DISPLAY", display.c_str(), 1);
      unsetenv("VESPERON_PLATFORM");
    }
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    const std::string exe = std::string(VESPERON_PROGRAM_DIR) + "/vesperon";
    execl(exe.c_str(), "vesperon", "--debug", song.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

bool Logged(const fs::path& log, const std::string& line) {
  std::ifstream in(log, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  return text.find("\r\n" + line + "\r\n") != std::string::npos;
}

bool WaitForLine(const fs::path& log, const std::string& line) {
  for (int i = 0; i < 3000; ++i) {
    if (Logged(log, line)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool Playerctl(const std::string& bus, const std::string& command) {
  const std::string line = "DBUS_SESSION_BUS_ADDRESS='" + bus + "' playerctl --player=vesperon " +
                           command + " >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

// Milliseconds from `start` until a top-level window named `first`, and
// then one named `main`, is mapped (-1 when not seen within 30 s).
void WaitForMaps(Display* d, Clock::time_point start, double& firstMs, double& mainMs) {
  firstMs = mainMs = -1;
  const auto end = start + std::chrono::seconds(30);
  while (Clock::now() < end && mainMs < 0) {
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type != MapNotify) continue;
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      char* name = nullptr;
      XFetchName(d, e.xmap.window, &name);
      const std::string title = name ? name : "";
      if (name) XFree(name);
      if (title.rfind("Vesperon", 0) != 0) continue;
      if (firstMs < 0) firstMs = ms;
      if (title == "Vesperon") mainMs = ms;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

struct TRun {
  bool Ok = false;
  double Share = 0, MainThreadShare = 0;
  double FirstWindowMs = -1, MainWindowMs = -1;
};

TRun Run(const std::string& display, const std::string& bus, double seconds) {
  TRun run;
  std::string tmpl = (fs::temp_directory_path() / "vesperon-bench-XXXXXX").native();
  const fs::path folder = mkdtemp(tmpl.data());
  std::ofstream(folder / "settings.xml")
      << "<CONFIG><general lastlanguage=\"english.xml\"/></CONFIG>";
  WriteTone(folder / "tone.wav", static_cast<int>(seconds) + 20);
  Display* d = display.empty() ? nullptr : XOpenDisplay(display.c_str());
  if (d) {
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);
  }
  const auto start = Clock::now();
  const pid_t pid = StartPlayer(folder, folder / "tone.wav", display, bus);
  if (d) WaitForMaps(d, start, run.FirstWindowMs, run.MainWindowMs);
  if (WaitForLine(folder / "vesperon.log", "initialization done")) {
    for (int i = 0; i < 50 && !Playerctl(bus, "play"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    run.Ok = Playerctl(bus, "status | grep -q Playing");
    const TShares shares = MeasureShares(pid, seconds);
    run.Share = shares.Process;
    run.MainThreadShare = shares.MainThread;
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  if (d) XCloseDisplay(d);
  fs::remove_all(folder);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
  const char* env = std::getenv("VESPERON_TEST_DISPLAY");
  if (!env || !*env) env = std::getenv("DISPLAY");
  if (!env || !*env) {
    std::fprintf(stderr,
                 "bench_player_cpu needs an X display ($DISPLAY or $VESPERON_TEST_DISPLAY)\n");
    return 2;
  }
  pid_t busPid = 0;
  const std::string bus = StartBus(busPid);
  if (bus.empty()) {
    std::fprintf(stderr, "cannot start a session bus (dbus-daemon)\n");
    return 2;
  }
  const TRun headless = Run("", bus, seconds);
  const TRun visible = Run(env, bus, seconds);
  if (busPid > 0) kill(busPid, SIGTERM);
  if (!headless.Ok || !visible.Ok) {
    std::fprintf(stderr, "a player did not start playing (headless %s, visible %s)\n",
                 headless.Ok ? "ok" : "failed", visible.Ok ? "ok" : "failed");
    return 1;
  }
  std::printf(
      "playing with the main window shown, over %.1f s: %.3f%% of one core (main loop thread "
      "%.3f%%)\n",
      seconds, visible.Share * 100, visible.MainThreadShare * 100);
  std::printf("playing headless (baseline): %.3f%% of one core (main loop thread %.3f%%)\n",
              headless.Share * 100, headless.MainThreadShare * 100);
  if (headless.Share > 0)
    std::printf("ratio visible/headless: %.2f\n", visible.Share / headless.Share);
  std::printf("exec to first window mapped (splash): %.0f ms; to main window mapped: %.0f ms\n",
              visible.FirstWindowMs, visible.MainWindowMs);
  std::printf("target: visible player at most 1.1%% of one core -> %s\n",
              visible.Share <= 0.011 ? "met" : "NOT met");
  return 0;
}
