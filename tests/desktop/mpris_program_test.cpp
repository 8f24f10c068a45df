// The real program on a private session bus, driven by the real playerctl:
// transport, metadata from the tags, volume, status signals, bad calls
// and quit; and the same program with no bus at all.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/files.h"
#include "desktop_test_util.h"

namespace vesperon::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kName = "org.mpris.MediaPlayer2.vesperon";
constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";

bool HaveTools() {
  return std::system("command -v dbus-daemon playerctl dbus-monitor lame >/dev/null 2>&1") == 0;
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// The statuses announced in PropertiesChanged signals, in order, from
// dbus-monitor's output: each "PlaybackStatus" key is followed by its value.
std::vector<std::string> AnnouncedStatuses(const std::string& monitor) {
  std::vector<std::string> statuses;
  std::istringstream in(monitor);
  bool next = false;
  for (std::string line; std::getline(in, line);) {
    const size_t quote = line.find("string \"");
    if (quote == std::string::npos) continue;
    const std::string value = line.substr(quote + 8, line.rfind('"') - quote - 8);
    if (next) statuses.push_back(value);
    next = value == "PlaybackStatus";
  }
  return statuses;
}

class MprisProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "dbus-daemon, playerctl, dbus-monitor or lame missing";
    ASSERT_TRUE(Bus.Running());
    ASSERT_FALSE(Folder.AddSong("one.mp3", "First Song", "Artist A", "Album A").empty());
    ASSERT_FALSE(Folder.AddSong("two.mp3", "Second Song", "Artist B", "Album B").empty());
  }

  std::string Ctl(const std::string& args) {
    return Trim(Shell("DBUS_SESSION_BUS_ADDRESS='" + Bus.Address() + "' playerctl -p vesperon " +
                      args + " 2>&1"));
  }
  bool StatusBecomes(const std::string& wanted) {
    return WaitUntil([&] { return Ctl("status") == wanted; }, 5s);
  }
  pid_t StartWithBus(std::vector<std::string> args) {
    const pid_t pid = Folder.Start(args, {{"DBUS_SESSION_BUS_ADDRESS", Bus.Address()}});
    const bool up = WaitUntil(
        [&] {
          return Shell("DBUS_SESSION_BUS_ADDRESS='" + Bus.Address() + "' playerctl -l 2>/dev/null")
                     .find("vesperon") != std::string::npos;
        },
        20s);
    EXPECT_TRUE(up) << Folder.Log();
    return pid;
  }

  TPrivateBus Bus;
  TProgramFolder Folder{"mpris"};
};

TEST_F(MprisProgramTest, PlayerctlDrivesTheWholeProgram) {
  const fs::path monitorFile = Folder.Dir() / "monitor.txt";
  const std::string monitor =
      "dbus-monitor --address '" + Bus.Address() +
      "' \"type='signal',member='PropertiesChanged',path='/org/mpris/MediaPlayer2'\" > '" +
      monitorFile.string() + "' 2>/dev/null & echo $!";
  const pid_t monitorPid = static_cast<pid_t>(std::stol(Shell(monitor)));
  const pid_t pid = StartWithBus({"--debug", "--adddir=songs", "songs/one.mp3"});

  // The song on the command line is opened, not started.
  EXPECT_EQ(Ctl("status"), "Stopped");
  EXPECT_EQ(Ctl("metadata title"), "First Song");
  EXPECT_EQ(Ctl("metadata artist"), "Artist A");
  EXPECT_EQ(Ctl("metadata album"), "Album A");
  EXPECT_EQ(Ctl("metadata mpris:length"), "10000000");

  Ctl("play");
  EXPECT_TRUE(StatusBecomes("Playing"));
  std::this_thread::sleep_for(400ms);
  Ctl("pause");
  EXPECT_TRUE(StatusBecomes("Paused"));
  // Play after pause resumes; next opens the other song (the first is in the
  // newer half of the history, so the random choice avoids it).
  Ctl("play");
  EXPECT_TRUE(StatusBecomes("Playing"));
  Ctl("next");
  EXPECT_TRUE(WaitUntil([&] { return Ctl("metadata title") == "Second Song"; }, 5s));
  EXPECT_EQ(Ctl("metadata xesam:url"), "file://" + (Folder.Dir() / "songs" / "two.mp3").string());
  EXPECT_TRUE(StatusBecomes("Playing"));
  Ctl("volume 0.5");
  EXPECT_TRUE(WaitUntil([&] { return Ctl("volume") == "0.501961"; }, 5s));
  Ctl("stop");
  EXPECT_TRUE(StatusBecomes("Stopped"));

  // Quit ends the program normally.
  Shell("dbus-send --bus='" + Bus.Address() + "' --print-reply --dest=" + kName + " " + kPath +
        " org.mpris.MediaPlayer2.Quit >/dev/null");
  const int status = WaitForExit(pid, 20s);
  kill(monitorPid, SIGTERM);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  EXPECT_GT(PeakOf(Folder.Dir() / "rec.wav"), 0.1);
  const std::string settings = ReadWholeFile(Folder.Dir() / "settings.xml").value_or("");
  EXPECT_NE(settings.find("lastvolume=\"128\""), std::string::npos) << settings;
  // Every change of status was announced, in order.
  std::this_thread::sleep_for(200ms);
  const std::string signals = ReadWholeFile(monitorFile).value_or("");
  EXPECT_EQ(AnnouncedStatuses(signals),
            (std::vector<std::string>{"Playing", "Paused", "Playing", "Stopped"}))
      << signals;
  EXPECT_NE(signals.find("string \"Metadata\""), std::string::npos);
  EXPECT_NE(signals.find("string \"Volume\""), std::string::npos);
}

// Calls a method of the player interface with the given signature and
// arguments; true when the reply is an error.
template <typename... A>
bool CallFails(sd_bus* bus, const char* method, const char* signature, A... args) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const int r =
      sd_bus_call_method(bus, kName, kPath, kPlayer, method, &error, &reply, signature, args...);
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  return r < 0;
}

TEST_F(MprisProgramTest, BadCallsGetErrorsAndPlaybackGoesOn) {
  const pid_t pid = StartWithBus({"--adddir=songs", "songs/one.mp3"});
  Ctl("play");
  ASSERT_TRUE(StatusBecomes("Playing"));
  sd_bus* bus = Bus.Connect();
  ASSERT_NE(bus, nullptr);

  // Wrong argument types and unknown methods.
  EXPECT_TRUE(CallFails(bus, "Seek", "s", "ten seconds"));
  EXPECT_TRUE(CallFails(bus, "SetPosition", "sx", "/org/vesperon/track/1", int64_t{0}));
  EXPECT_TRUE(CallFails(bus, "OpenUri", "i", 7));
  EXPECT_TRUE(CallFails(bus, "Rewind", ""));
  sd_bus_error error = SD_BUS_ERROR_NULL;
  EXPECT_LT(sd_bus_set_property(bus, kName, kPath, kPlayer, "Volume", &error, "s", "loud"), 0);
  sd_bus_error_free(&error);
  EXPECT_LT(
      sd_bus_set_property(bus, kName, kPath, kPlayer, "PlaybackStatus", &error, "s", "Stopped"), 0);
  sd_bus_error_free(&error);
  // URIs that are not local files, or name missing ones.
  EXPECT_TRUE(CallFails(bus, "OpenUri", "s", "http://example.com/song.mp3"));
  EXPECT_TRUE(CallFails(bus, "OpenUri", "s", "file://otherhost/song.mp3"));
  EXPECT_TRUE(CallFails(bus, "OpenUri", "s", "file:///no/such/song.mp3"));
  EXPECT_TRUE(CallFails(bus, "OpenUri", "s", "file:///tmp/%zz.mp3"));
  EXPECT_TRUE(CallFails(bus, "OpenUri", "s", "file:///tmp/a%00b.mp3"));
  EXPECT_TRUE(CallFails(bus, "OpenUri", "s", ""));
  // Unknown track ids and huge offsets are ignored.
  EXPECT_FALSE(CallFails(bus, "SetPosition", "ox", "/org/vesperon/track/999999", int64_t{1000}));
  EXPECT_FALSE(CallFails(bus, "SetPosition", "ox", "/org/mpris/MediaPlayer2/TrackList/NoTrack",
                         int64_t{-5}));
  EXPECT_FALSE(CallFails(bus, "Seek", "x", INT64_MAX));
  EXPECT_FALSE(CallFails(bus, "Seek", "x", INT64_MIN));
  sd_bus_flush_close_unref(bus);

  EXPECT_EQ(Ctl("status"), "Playing");
  EXPECT_EQ(Ctl("metadata title"), "First Song");
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the program ended";
  kill(pid, SIGTERM);
  const int status = WaitForExit(pid, 20s);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(MprisProgramTest, OpenUriPlaysAnExistingFile) {
  const pid_t pid = StartWithBus({"--adddir=" + (Folder.Dir() / "songs").string()});
  const std::string uri = "file://" + (Folder.Dir() / "songs" / "two.mp3").string();
  Ctl("open '" + uri + "'");
  EXPECT_TRUE(StatusBecomes("Playing"));
  EXPECT_EQ(Ctl("metadata title"), "Second Song");
  kill(pid, SIGTERM);
  const int status = WaitForExit(pid, 20s);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(MprisProgramTest, AWarningBecomesADesktopNotificationWithoutATray) {
  TNotificationServer server(Bus);
  ASSERT_TRUE(server.Ready());
  const pid_t pid =
      Folder.Start({"--adddir=missing"}, {{"DBUS_SESSION_BUS_ADDRESS", Bus.Address()}});
  server.Serve(15s, [&] { return !server.Received.empty(); });
  kill(pid, SIGTERM);
  const int status = WaitForExit(pid, 20s);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(server.Received.size(), 1u) << Folder.Log();
  EXPECT_EQ(server.Received[0].App, "Vesperon");
  EXPECT_EQ(server.Received[0].Summary, "Warning");
  EXPECT_EQ(server.Received[0].Body, "Directory missing does not exist!");
}

// No DBUS_SESSION_BUS_ADDRESS and no bus socket in the runtime folder: one
// debug line, and the program works as before.
TEST(MprisNoBusTest, TheProgramRunsWithoutASessionBus) {
  if (std::system("command -v lame >/dev/null 2>&1") != 0) GTEST_SKIP() << "lame missing";
  TProgramFolder folder("nobus");
  ASSERT_FALSE(folder.AddSong("one.mp3", "First Song", "Artist A", "Album A").empty());
  const fs::path runtime = folder.Dir() / "runtime";
  fs::create_directories(runtime);
  const pid_t pid =
      folder.Start({"--debug", "songs/one.mp3"},
                   {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", runtime.string()}});
  EXPECT_TRUE(WaitUntil(
      [&] { return folder.Log().find("initialization done") != std::string::npos; }, 20s));
  kill(pid, SIGTERM);
  const int status = WaitForExit(pid, 20s);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string log = folder.Log();
  EXPECT_NE(log.find("no D-Bus session bus ("), std::string::npos) << log;
  EXPECT_EQ(log.find("D-Bus:"), std::string::npos) << log;
  EXPECT_EQ(log.find("ERROR: "), std::string::npos) << log;
  EXPECT_NE(log.find("terminated gracefully :)"), std::string::npos);
}

}  // namespace
}  // namespace vesperon::testing
