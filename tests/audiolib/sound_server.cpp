#include "sound_server.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace vesperon::testing {
namespace {

using namespace std::chrono_literals;
constexpr int kRate = 44100;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool Answers(const std::filesystem::path& socketPath) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return ok;
}

std::filesystem::path MakeFolder() {
  const char* tmp = std::getenv("TMPDIR");
  // Short: the socket path must fit a sockaddr_un.
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vpa-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

TSoundServer::TSoundServer(std::string sinkFormat, bool rewinds)
    : FDir(MakeFolder()), FSinkFormat(std::move(sinkFormat)), FRewinds(rewinds) {
  std::filesystem::create_directories(FDir / "home");
  std::filesystem::create_directories(FDir / "run");
  std::filesystem::permissions(FDir / "run", std::filesystem::perms::owner_all);
  std::ofstream(FDir / "home" / ".asoundrc")
      << "pcm.!default { type pulse server \"" << Address()
      << "\" }\nctl.!default { type pulse server \"" << Address() << "\" }\n";
}

TSoundServer::~TSoundServer() {
  Stop();
  std::error_code ec;
  std::filesystem::remove_all(FDir, ec);
}

std::string TSoundServer::Address() const { return "unix:" + (FDir / "native").string(); }

bool TSoundServer::Start() {
  if (FDir.empty()) return false;
  const std::string home = (FDir / "home").string(), run = (FDir / "run").string();
  const std::string log = "--log-target=file:" + (FDir / "server.log").string();
  // Without rewinds: a sink that rewinds to start a new stream at once
  // re-renders what its monitor has already passed on, and the recording
  // would lose the start of the stream.
  const std::string sink = std::string("--load=module-null-sink sink_name=") + kTestSinkName +
                           " format=" + FSinkFormat + " rate=44100 channels=2" +
                           (FRewinds ? "" : " norewinds=1");
  const std::string socket =
      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + (FDir / "native").string();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // The server ends with the test process, however that ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::unsetenv("PULSE_SERVER");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--system=no",
             "-n", "--use-pid-file=no", "--realtime=no", "--high-priority=no", log.c_str(),
             sink.c_str(), socket.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  FPid = pid;
  for (int i = 0; i < 500; ++i) {
    if (Answers(FDir / "native")) return true;
    int status = 0;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) break;
    std::this_thread::sleep_for(10ms);
  }
  Kill();
  return false;
}

void TSoundServer::Kill() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGKILL);
  ::waitpid(FPid, nullptr, 0);
  FPid = -1;
}

void TSoundServer::Freeze(bool frozen) {
  if (FPid > 0) ::kill(FPid, frozen ? SIGSTOP : SIGCONT);
}

void TSoundServer::Stop() {
  Freeze(false);
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(FPid, nullptr, WNOHANG) == FPid) {
      FPid = -1;
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
  Kill();
}

double TSoundServer::CpuSeconds() const {
  // /proc/PID/schedstat: nanoseconds on the CPU first.
  std::ifstream in("/proc/" + std::to_string(FPid) + "/schedstat");
  double ns = 0;
  in >> ns;
  return ns / 1e9;
}

void TSoundServer::UseInThisProcess() const {
  ::setenv("PULSE_SERVER", Address().c_str(), 1);
  ::setenv("HOME", (FDir / "home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (FDir / "home" / ".config").c_str(), 1);
}

// --- the recorder ---

TSinkRecorder::TSinkRecorder(const std::string& address) : FAddress(address) {}

TSinkRecorder::~TSinkRecorder() { Stop(); }

void TSinkRecorder::OnRead(pa_stream* stream, size_t, void* data) {
  auto* self = static_cast<TSinkRecorder*>(data);
  const void* bytes = nullptr;
  size_t size = 0;
  while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &bytes, &size) == 0 &&
         size > 0) {
    const int64_t now = NowNs();
    std::lock_guard lock(self->FLock);
    const size_t samples = size / sizeof(float);
    if (bytes != nullptr) {
      const auto* f = static_cast<const float*>(bytes);
      self->FSamples.insert(self->FSamples.end(), f, f + samples);
    } else {
      self->FSamples.resize(self->FSamples.size() + samples, 0.0f);  // a hole: silence
    }
    const auto frames = static_cast<int64_t>(self->FSamples.size() / 2);
    self->FZeroNs = std::min(self->FZeroNs, now - frames * 1'000'000'000 / kRate);
    pa_stream_drop(stream);
  }
}

bool TSinkRecorder::Start() {
  FLoop = pa_threaded_mainloop_new();
  FContext = pa_context_new(pa_threaded_mainloop_get_api(FLoop), "vesperon-test-recorder");
  pa_context_set_state_callback(
      FContext,
      [](pa_context*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
      },
      FLoop);
  if (pa_context_connect(FContext, FAddress.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
    return false;
  pa_threaded_mainloop_lock(FLoop);
  pa_threaded_mainloop_start(FLoop);
  while (PA_CONTEXT_IS_GOOD(pa_context_get_state(FContext)) &&
         pa_context_get_state(FContext) != PA_CONTEXT_READY)
    pa_threaded_mainloop_wait(FLoop);
  bool ok = pa_context_get_state(FContext) == PA_CONTEXT_READY;
  if (ok) {
    pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kRate, 2};
    FStream = pa_stream_new(FContext, "recording", &format, nullptr);
    pa_stream_set_read_callback(FStream, OnRead, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(5000, &format));
    const std::string monitor = std::string(kTestSinkName) + ".monitor";
    ok = pa_stream_connect_record(FStream, monitor.c_str(), &attr, PA_STREAM_ADJUST_LATENCY) == 0;
  }
  pa_threaded_mainloop_unlock(FLoop);
  // The first data tells that the recording runs.
  for (int i = 0; ok && i < 300 && Frames() == 0; ++i) std::this_thread::sleep_for(10ms);
  return ok && Frames() > 0;
}

void TSinkRecorder::Stop() {
  if (FLoop == nullptr) return;
  pa_threaded_mainloop_stop(FLoop);
  if (FStream != nullptr) {
    pa_stream_disconnect(FStream);
    pa_stream_unref(FStream);
  }
  pa_context_disconnect(FContext);
  pa_context_unref(FContext);
  pa_threaded_mainloop_free(FLoop);
  FLoop = nullptr;
  FStream = nullptr;
}

uint64_t TSinkRecorder::Frames() {
  std::lock_guard lock(FLock);
  return FSamples.size() / 2;
}

int64_t TSinkRecorder::FrameTimeNs(uint64_t frame) {
  std::lock_guard lock(FLock);
  return FZeroNs + static_cast<int64_t>(frame) * 1'000'000'000 / kRate;
}

int64_t TSinkRecorder::FrameAt(int64_t ns) {
  std::lock_guard lock(FLock);
  return (ns - FZeroNs) * kRate / 1'000'000'000;
}

}  // namespace vesperon::testing
