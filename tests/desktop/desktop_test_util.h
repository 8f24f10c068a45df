#pragma once
// Shared pieces of the desktop tests: a private session bus (dbus-daemon),
// a notification server on it, and the real program started in a folder of
// its own with generated, tagged songs.
#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vesperon::testing {

// A dbus-daemon of its own, ended by the destructor.
class TPrivateBus {
 public:
  TPrivateBus();
  ~TPrivateBus();
  bool Running() const { return !Address_.empty(); }
  const std::string& Address() const { return Address_; }
  // A client connection to it (owned by the caller).
  sd_bus* Connect() const;

 private:
  std::string Address_;
  pid_t Pid_ = 0;
};

// org.freedesktop.Notifications on a bus: records what arrives.
class TNotificationServer {
 public:
  struct TReceived {
    std::string App, Summary, Body;
  };
  explicit TNotificationServer(const TPrivateBus& bus);
  ~TNotificationServer();
  bool Ready() const { return Ready_; }
  // Serves the bus for `duration` (or until `until` answers true).
  void Serve(std::chrono::milliseconds duration, const std::function<bool()>& until = {});
  std::vector<TReceived> Received;

 private:
  static int OnNotify(sd_bus_message* m, void* userdata, sd_bus_error* error);
  sd_bus* Bus_ = nullptr;
  sd_bus_slot* Slot_ = nullptr;
  bool Ready_ = false;
};

// Runs a shell command and returns what it wrote to standard output.
std::string Shell(const std::string& command);
// Polls until `done` answers true or `limit` passes; returns the last answer.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// A program folder in the temporary folder: the executable, the audio
// library and the shipped files, settings with crossfade off (so a song
// plays to its end rather than fading 5 s early) and tagged songs.
class TProgramFolder {
 public:
  explicit TProgramFolder(const std::string& name);
  ~TProgramFolder();
  const std::filesystem::path& Dir() const { return Dir_; }
  // A 10 s MP3 song under songs/ with title, artist and album tags.
  std::filesystem::path AddSong(const std::string& file, const std::string& title,
                                const std::string& artist, const std::string& album);
  // Starts the executable there, headless, recording into rec.wav, with
  // the environment changes given (an empty value removes the variable).
  pid_t Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env);
  std::string Log() const;

 private:
  std::filesystem::path Dir_;
};

// Waits for the child to end (killing it after `limit`); its wait status.
int WaitForExit(pid_t pid, std::chrono::milliseconds limit);
// The peak of the absolute sample values of a sound file (0 when unreadable).
double PeakOf(const std::filesystem::path& file);

}  // namespace vesperon::testing
