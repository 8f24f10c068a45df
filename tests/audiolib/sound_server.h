#pragma once
// A private PulseAudio server for the tests and benchmarks of the real
// outputs. Its runtime folder, home and socket live in a fresh temporary
// folder of its own, so any number of test processes (and developers) can
// run one each at the same time; it dies with the process that started it.
// It plays to a null sink, whose monitor a TSinkRecorder records: that is
// exactly what reached the sink, with the time it got there.
#include <pulse/pulseaudio.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace vesperon::testing {

inline constexpr const char* kTestSinkName = "vesperon_test";

class TSoundServer {
 public:
  // `sinkFormat` is the null sink's sample format ("s16le", "float32le").
  // `rewinds`: the sink may rewind (as sound cards do) to start a new
  // stream at once; its monitor's recording then loses the start.
  explicit TSoundServer(std::string sinkFormat = "s16le", bool rewinds = false);
  ~TSoundServer();
  TSoundServer(const TSoundServer&) = delete;
  TSoundServer& operator=(const TSoundServer&) = delete;

  // Starts the server (again, after Kill) and waits until it answers;
  // false when it does not come up within a few seconds.
  bool Start();
  // Ends it at once, as a crash would (SIGKILL).
  void Kill();
  // Stops it without closing anything (SIGSTOP), as a stalled machine
  // would, or lets it go on (SIGCONT).
  void Freeze(bool frozen);
  bool Running() const { return FPid > 0; }
  pid_t Pid() const { return FPid; }
  // The address for PULSE_SERVER.
  std::string Address() const;
  // The server's CPU time so far, in seconds.
  double CpuSeconds() const;
  // Points this process and its children at the server: PULSE_SERVER, and
  // HOME with an .asoundrc whose default ALSA device is the server (through
  // the pulse plugin of libasound2-plugins). Call before ALSA is first used.
  void UseInThisProcess() const;
  // The folder of its files (the log is "server.log").
  const std::filesystem::path& Folder() const { return FDir; }

 private:
  void Stop();
  std::filesystem::path FDir;
  std::string FSinkFormat;
  bool FRewinds;
  pid_t FPid = -1;
};

// Records the test sink's monitor in this process, as float stereo at
// 44.1 kHz, and notes when each piece arrived, so that a frame of the
// recording can be placed on the steady clock.
class TSinkRecorder {
 public:
  explicit TSinkRecorder(const std::string& address);
  ~TSinkRecorder();
  TSinkRecorder(const TSinkRecorder&) = delete;
  TSinkRecorder& operator=(const TSinkRecorder&) = delete;

  // Connects and starts recording; false when the server cannot be reached.
  bool Start();
  // Stops; Samples() then holds the whole recording.
  void Stop();
  const std::vector<float>& Samples() const { return FSamples; }
  uint64_t Frames();
  // The steady-clock time (nanoseconds, as MonotonicNowNs) at which frame
  // `frame` of the recording reached the sink.
  int64_t FrameTimeNs(uint64_t frame);
  // The recording frame that reached the sink at steady-clock time `ns`.
  int64_t FrameAt(int64_t ns);

 private:
  static void OnRead(pa_stream* stream, size_t bytes, void* data);
  std::string FAddress;
  pa_threaded_mainloop* FLoop = nullptr;
  pa_context* FContext = nullptr;
  pa_stream* FStream = nullptr;
  std::mutex FLock;
  std::vector<float> FSamples;
  // The earliest estimate of when frame 0 reached the sink: each arrival
  // gives an upper bound, the least delayed one is the best.
  int64_t FZeroNs = INT64_MAX;
};

}  // namespace vesperon::testing
