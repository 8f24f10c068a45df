#include "desktop_test_util.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/files.h"
#include "core/paths.h"

namespace vesperon::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

TPrivateBus::TPrivateBus() {
  std::istringstream lines(
      Shell("dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1"));
  std::string pid;
  std::getline(lines, Address_);
  std::getline(lines, pid);
  if (Address_.empty() || pid.empty()) {
    Address_.clear();
    return;
  }
  Pid_ = static_cast<pid_t>(std::stol(pid));
}

TPrivateBus::~TPrivateBus() {
  if (Pid_ > 0) kill(Pid_, SIGTERM);
}

sd_bus* TPrivateBus::Connect() const {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return nullptr;
  if (sd_bus_set_address(bus, Address_.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
      sd_bus_start(bus) < 0) {
    sd_bus_unref(bus);
    return nullptr;
  }
  return bus;
}

int TNotificationServer::OnNotify(sd_bus_message* m, void* userdata, sd_bus_error*) {
  auto* self = static_cast<TNotificationServer*>(userdata);
  const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
  uint32_t replaces = 0;
  const int r = sd_bus_message_read(m, "susss", &app, &replaces, &icon, &summary, &body);
  if (r < 0) return r;
  self->Received.push_back({app, summary, body});
  return sd_bus_reply_method_return(m, "u", static_cast<uint32_t>(self->Received.size()));
}

TNotificationServer::TNotificationServer(const TPrivateBus& bus) : Bus_(bus.Connect()) {
  if (Bus_ == nullptr) return;
  static const sd_bus_vtable vtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", TNotificationServer::OnNotify,
                    SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END};
  Ready_ = sd_bus_add_object_vtable(Bus_, &Slot_, "/org/freedesktop/Notifications",
                                    "org.freedesktop.Notifications", vtable, this) >= 0 &&
           sd_bus_request_name(Bus_, "org.freedesktop.Notifications", 0) >= 0;
}

TNotificationServer::~TNotificationServer() {
  sd_bus_slot_unref(Slot_);
  sd_bus_flush_close_unref(Bus_);
}

void TNotificationServer::Serve(std::chrono::milliseconds duration,
                                const std::function<bool()>& until) {
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end && !(until && until())) {
    while (sd_bus_process(Bus_, nullptr) > 0) {
    }
    sd_bus_wait(Bus_, 20000);
  }
}

TProgramFolder::TProgramFolder(const std::string& name)
    : Dir_(TempDir() / ("vesperon-" + name + "-" + std::to_string(getpid()))) {
  fs::remove_all(Dir_);
  fs::create_directories(Dir_ / "songs");
  const fs::path program = VESPERON_PROGRAM_DIR;
  for (const char* file : {"vesperon", "fmodex.so", "german.xml", "english.xml", "keys.xml"}) {
    if (fs::exists(program / file)) fs::copy_file(program / file, Dir_ / file);
  }
  std::ofstream(Dir_ / "settings.xml") << "<CONFIG><audio crossfade=\"False\"/></CONFIG>\n";
}

TProgramFolder::~TProgramFolder() { fs::remove_all(Dir_); }

fs::path TProgramFolder::AddSong(const std::string& file, const std::string& title,
                                 const std::string& artist, const std::string& album) {
  const fs::path wav = Dir_ / "tone.wav", mp3 = Dir_ / "songs" / file;
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(wav.c_str(), SFM_WRITE, &info);
  if (out == nullptr) return {};
  std::vector<float> frames(2 * 44100);
  for (size_t i = 0; i < frames.size(); i += 2) {
    frames[i] = frames[i + 1] =
        static_cast<float>(0.4 * std::sin(2 * M_PI * 440.0 * (i / 2) / 44100.0));
  }
  for (int second = 0; second < 10; ++second) sf_writef_float(out, frames.data(), 44100);
  sf_close(out);
  const std::string encode = "lame --quiet --id3v1-only --tt '" + title + "' --ta '" + artist +
                             "' --tl '" + album + "' '" + wav.string() + "' '" + mp3.string() + "'";
  if (std::system(encode.c_str()) != 0) return {};
  fs::remove(wav);
  return mp3;
}

pid_t TProgramFolder::Start(const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& env) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(Dir_.c_str()) != 0) _exit(120);
  setenv("VESPERON_AUDIO_OUTPUT", ("wav:" + (Dir_ / "rec.wav").string()).c_str(), 1);
  setenv("VESPERON_PLATFORM", "headless", 1);
  for (const auto& [name, value] : env) {
    if (value.empty()) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  std::vector<char*> argv;
  const std::string exe = (Dir_ / "vesperon").string();
  argv.push_back(const_cast<char*>(exe.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(exe.c_str(), argv.data());
  _exit(121);
}

std::string TProgramFolder::Log() const {
  return ReadWholeFile(Dir_ / "vesperon.log").value_or("");
}

int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "the program did not end in time";
      break;
    }
    std::this_thread::sleep_for(20ms);
  }
  return status;
}

double PeakOf(const fs::path& file) {
  SF_INFO info{};
  SNDFILE* in = sf_open(file.c_str(), SFM_READ, &info);
  if (in == nullptr) return 0;
  double peak = 0;
  std::vector<float> block(4096 * static_cast<size_t>(info.channels));
  sf_count_t n = 0;
  while ((n = sf_readf_float(in, block.data(), 4096)) > 0) {
    for (sf_count_t i = 0; i < n * info.channels; ++i)
      peak = std::max(peak, std::fabs(static_cast<double>(block[i])));
  }
  sf_close(in);
  return peak;
}

}  // namespace vesperon::testing
