// The PulseAudio output (also serves PipeWire through its Pulse server).
//
// An asynchronous stream on a threaded main loop, with a long buffer (a
// second) so that the server and this process wake a few times a second.
// The server's requests for data wake the writer, and each request is
// answered with one write of the mixer's blocks gathered. A change that must
// be heard at once does not wait behind the buffer: the mixer takes back the
// unheard part (Unwrite) and the next write seeks back over it, so that the
// server plays the new frames from there (a sink that has already rendered
// that part rewinds). After a start or such a seek the frames are sent in
// pieces that double in size, from one block up to a request: the first
// ones arrive at once, and the server always holds about as much as the
// mixer is rendering for the next piece, so that a slow or busy machine
// does not make it run dry. The server's own timing
// says what has been heard, and the stream carries the sink's 16-bit
// samples when the sink plays those, so that the server passes our samples
// through instead of converting every one. While nothing plays the stream
// is corked: the server asks for nothing and plays nothing of ours.
//
// Every wait has a deadline: a server that stops answering (stalled, or
// killed without the socket closing) makes the output fail instead of
// hanging the mixer, and the library then goes on without it.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

// The stream's buffer (the server's target latency) and the size of the
// server's requests for more: the server wakes about once per request. The
// server starts playing once kStartMs are there, which are sent at once.
constexpr int kBufferMs = 1000;
constexpr int kRequestMs = 250;
constexpr int kStartMs = 50;
// How long opening may take, and how long the server may take no data
// before the output counts as failed.
constexpr int64_t kConnectTimeoutNs = 2'000'000'000;
constexpr int64_t kStallTimeoutNs = 2'000'000'000;
// Timing reports are asked for at doubling intervals between these.
constexpr int64_t kTimingIntervalMinNs = 10'000'000;
constexpr int64_t kTimingIntervalMaxNs = 1'000'000'000;

void SignalLoop(void* loop) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}
void OnContextState(pa_context*, void* loop) { SignalLoop(loop); }
void OnStreamEvent(pa_stream*, void* loop) { SignalLoop(loop); }
void OnStreamRequest(pa_stream*, size_t, void* loop) { SignalLoop(loop); }
void OnTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* loop) {
  SignalLoop(loop);
}

struct TSinkQuery {
  pa_threaded_mainloop* Loop = nullptr;
  pa_sample_format_t Format = PA_SAMPLE_INVALID;
  bool Done = false;
};

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* data) {
  auto* query = static_cast<TSinkQuery*>(data);
  if (info != nullptr) query->Format = info->sample_spec.format;
  if (eol != 0) query->Done = true;
  SignalLoop(query->Loop);
}

class TPulseOutput final : public TOutput {
 public:
  explicit TPulseOutput(int rate) : FRate(rate) {}
  ~TPulseOutput() override;
  bool Open();
  bool Write(const float* frames, size_t count) override;
  uint64_t Delay() override;
  void Push() override;
  void Idle() override;
  bool CanRewrite() const override { return true; }
  // The new frames must reach the server before the sink plays them.
  int64_t RewriteLeadNs() const override { return 50'000'000; }
  void Unwrite(uint64_t count) override;
  void Interrupt() override;
  const char* Name() const override { return "pulse"; }

 private:
  // Holds the main loop's lock, which guards every call on the context and
  // the stream.
  class TLocked {
   public:
    explicit TLocked(pa_threaded_mainloop* loop) : FLoop(loop) { pa_threaded_mainloop_lock(FLoop); }
    ~TLocked() { pa_threaded_mainloop_unlock(FLoop); }
    TLocked(const TLocked&) = delete;
    TLocked& operator=(const TLocked&) = delete;

   private:
    pa_threaded_mainloop* FLoop;
  };

  // Waits (under the lock) until `done` holds; false when the context or
  // the stream fails or the deadline passes first.
  bool WaitUntil(const std::function<bool()>& done, int64_t deadlineNs);
  bool Broken() const;
  bool Connect(int64_t deadlineNs);
  pa_sample_format_t SinkFormat(int64_t deadlineNs);
  bool CreateStream(pa_sample_format_t format, int64_t deadlineNs);
  void Uncork();
  // Writes the first `bytes` of FPending to the server (under the lock).
  bool Send(size_t bytes);

  const int FRate;
  pa_threaded_mainloop* FLoop = nullptr;
  bool FLoopRunning = false;
  pa_context* FContext = nullptr;
  pa_time_event* FTimer = nullptr;
  pa_stream* FStream = nullptr;
  bool FS16 = false;
  size_t FFrameBytes = 0;
  size_t FRequestBytes = 0;  // the least the server asks for at a time
  bool FCorked = true;
  bool FFailed = false;
  bool FInterrupted = false;
  size_t FSeekBack = 0;       // bytes the next write goes back over (unwritten)
  size_t FPieceBytes = 0;     // after a start or seek: the next piece to send
  size_t FStartBytes = 0;     // kStartMs in bytes
  uint64_t FSinceUncork = 0;  // frames sent since the stream was uncorked
  timeval FUncorkedAt{};      // when (timing reports from before are stale)
  int64_t FUncorkedNs = 0;
  int64_t FNextTimingNs = 0;  // when to ask the server for timing again
  int64_t FTimingInterval = 0;
  std::vector<int16_t> FShort;
  std::vector<uint8_t> FPending;  // frames gathered for the next request
};

TPulseOutput::~TPulseOutput() {
  if (FLoop == nullptr) return;
  if (FLoopRunning) {
    TLocked lock(FLoop);
    // What is still queued (up to the whole buffer) is dropped with the
    // stream: closing stops the sound at once instead of playing it out.
    if (FStream != nullptr) {
      pa_stream_disconnect(FStream);
      pa_stream_unref(FStream);
    }
    if (FTimer != nullptr) pa_threaded_mainloop_get_api(FLoop)->time_free(FTimer);
    if (FContext != nullptr) pa_context_disconnect(FContext);
  }
  if (FLoopRunning) pa_threaded_mainloop_stop(FLoop);
  if (FContext != nullptr) pa_context_unref(FContext);
  pa_threaded_mainloop_free(FLoop);
}

bool TPulseOutput::Broken() const {
  return FFailed || !PA_CONTEXT_IS_GOOD(pa_context_get_state(FContext)) ||
         (FStream != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(FStream)));
}

bool TPulseOutput::WaitUntil(const std::function<bool()>& done, int64_t deadlineNs) {
  while (!done()) {
    const int64_t left = deadlineNs - MonotonicNowNs();
    if (Broken() || left <= 0) return false;
    // The timer wakes the wait at the deadline if the server does not.
    pa_context_rttime_restart(FContext, FTimer,
                              pa_rtclock_now() + static_cast<pa_usec_t>(left / 1000) + 1);
    pa_threaded_mainloop_wait(FLoop);
  }
  return true;
}

bool TPulseOutput::Connect(int64_t deadlineNs) {
  FContext = pa_context_new(pa_threaded_mainloop_get_api(FLoop), "Vesperon");
  if (FContext == nullptr) return false;
  pa_context_set_state_callback(FContext, OnContextState, FLoop);
  if (pa_context_connect(FContext, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) return false;
  if (pa_threaded_mainloop_start(FLoop) < 0) return false;
  FLoopRunning = true;
  TLocked lock(FLoop);
  FTimer = pa_context_rttime_new(FContext, PA_USEC_INVALID, OnTimer, FLoop);
  return FTimer != nullptr &&
         WaitUntil([this] { return pa_context_get_state(FContext) == PA_CONTEXT_READY; },
                   deadlineNs);
}

pa_sample_format_t TPulseOutput::SinkFormat(int64_t deadlineNs) {
  TSinkQuery query{FLoop};
  pa_operation* op =
      pa_context_get_sink_info_by_name(FContext, "@DEFAULT_SINK@", OnSinkInfo, &query);
  if (op == nullptr) return PA_SAMPLE_INVALID;
  if (!WaitUntil([&query] { return query.Done; }, deadlineNs)) pa_operation_cancel(op);
  pa_operation_unref(op);
  return query.Format;
}

bool TPulseOutput::CreateStream(pa_sample_format_t sinkFormat, int64_t deadlineNs) {
  FS16 = sinkFormat == PA_SAMPLE_S16LE || sinkFormat == PA_SAMPLE_S16BE;
  pa_sample_spec sampleFormat{};
  sampleFormat.format = FS16 ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE;
  sampleFormat.rate = static_cast<uint32_t>(FRate);
  sampleFormat.channels = kOutputChannels;
  FFrameBytes = pa_frame_size(&sampleFormat);
  FStream = pa_stream_new(FContext, "Music", &sampleFormat, nullptr);
  if (FStream == nullptr) return false;
  pa_stream_set_state_callback(FStream, OnStreamEvent, FLoop);
  pa_stream_set_write_callback(FStream, OnStreamRequest, FLoop);
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength =
      static_cast<uint32_t>(pa_usec_to_bytes(pa_usec_t{kBufferMs} * 1000, &sampleFormat));
  FStartBytes = pa_usec_to_bytes(pa_usec_t{kStartMs} * 1000, &sampleFormat);
  attr.prebuf = static_cast<uint32_t>(FStartBytes);
  attr.minreq =
      static_cast<uint32_t>(pa_usec_to_bytes(pa_usec_t{kRequestMs} * 1000, &sampleFormat));
  attr.fragsize = static_cast<uint32_t>(-1);
  // Timing updates are asked for by Send, not automatically: libpulse
  // would ask after every write.
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
  if (pa_stream_connect_playback(FStream, nullptr, &attr, flags, nullptr, nullptr) < 0 ||
      !WaitUntil([this] { return pa_stream_get_state(FStream) == PA_STREAM_READY; }, deadlineNs))
    return false;
  // The server may have changed the request size; a frame at the least.
  const pa_buffer_attr* granted = pa_stream_get_buffer_attr(FStream);
  FRequestBytes = std::max<size_t>(granted != nullptr ? granted->minreq : attr.minreq, FFrameBytes);
  return true;
}

bool TPulseOutput::Open() {
  const int64_t deadline = MonotonicNowNs() + kConnectTimeoutNs;
  FLoop = pa_threaded_mainloop_new();
  if (FLoop == nullptr || !Connect(deadline)) return false;
  TLocked lock(FLoop);
  return CreateStream(SinkFormat(deadline), deadline);
}

void TPulseOutput::Uncork() {
  if (pa_operation* op = pa_stream_cork(FStream, 0, nullptr, nullptr)) pa_operation_unref(op);
  FCorked = false;
  FSinceUncork = 0;
  pa_gettimeofday(&FUncorkedAt);
  FUncorkedNs = MonotonicNowNs();
  FPieceBytes = FStartBytes;
  FTimingInterval = kTimingIntervalMinNs;
  FNextTimingNs = 0;
}

bool TPulseOutput::Send(size_t bytes) {
  // A relative seek keeps the server's and libpulse's counts of the bytes
  // requested in step.
  const auto back = static_cast<int64_t>(FSeekBack);
  if (pa_stream_write(FStream, FPending.data(), bytes, nullptr, -back, PA_SEEK_RELATIVE) < 0) {
    FFailed = true;
    return false;
  }
  FPending.erase(FPending.begin(), FPending.begin() + static_cast<ptrdiff_t>(bytes));
  FSinceUncork = FSinceUncork + bytes / FFrameBytes -
                 std::min<uint64_t>(FSinceUncork, FSeekBack / FFrameBytes);
  FSeekBack = 0;
  if (FPieceBytes > 0) FPieceBytes = bytes * 2 < FRequestBytes ? bytes * 2 : 0;
  // A fresh timing report now and then keeps the interpolated clock true;
  // often at the start, when it has little to go on.
  const int64_t now = MonotonicNowNs();
  if (now >= FNextTimingNs) {
    if (pa_operation* op = pa_stream_update_timing_info(FStream, nullptr, nullptr))
      pa_operation_unref(op);
    FTimingInterval = std::min<int64_t>(FTimingInterval * 2, kTimingIntervalMaxNs);
    FNextTimingNs = now + FTimingInterval;
  }
  return true;
}

bool TPulseOutput::Write(const float* frames, size_t count) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(frames);
  if (FS16) {
    FShort.resize(count * kOutputChannels);
    FloatToS16(frames, FShort.size(), FShort.data());
    bytes = reinterpret_cast<const uint8_t*>(FShort.data());
  }
  FPending.insert(FPending.end(), bytes, bytes + count * FFrameBytes);
  TLocked lock(FLoop);
  if (Broken()) return false;
  if (FCorked) Uncork();
  if (FPieceBytes > 0) return FPending.size() < FPieceBytes || Send(FPending.size());
  for (;;) {
    // Wait for a request; gather blocks until it can be answered whole.
    size_t room = 0;
    const auto requested = [&] {
      room = pa_stream_writable_size(FStream);
      return FInterrupted || (room != static_cast<size_t>(-1) && room >= FRequestBytes);
    };
    if (!WaitUntil(requested, MonotonicNowNs() + kStallTimeoutNs)) {
      FFailed = true;
      return false;
    }
    if (FInterrupted) {
      // The frames stay gathered; the caller has something to do first.
      FInterrupted = false;
      return true;
    }
    if (FPending.size() < room) return true;
    if (!Send(room - room % FFrameBytes)) return false;
  }
}

void TPulseOutput::Push() {
  TLocked lock(FLoop);
  if (FPending.empty() || Broken()) return;
  if (FCorked) Uncork();
  Send(FPending.size());
}

uint64_t TPulseOutput::Delay() {
  TLocked lock(FLoop);
  if (FCorked || Broken()) return 0;
  const uint64_t held = FPending.size() / FFrameBytes;
  // No more can have been heard than the time since the stream was
  // uncorked: the first timing reports after an uncork can still say that
  // nothing is queued.
  const auto elapsed =
      static_cast<uint64_t>(static_cast<double>(MonotonicNowNs() - FUncorkedNs) * FRate / 1e9);
  const uint64_t sent = FSinceUncork - std::min<uint64_t>(FSinceUncork, FSeekBack / FFrameBytes);
  const uint64_t least = sent - std::min(sent, elapsed) + held;
  pa_usec_t usec = 0;
  int negative = 0;
  // Before the server's first timing report since the stream was uncorked
  // nothing sent can have been heard yet (an older report would count the
  // frames dropped when it was corked).
  const pa_timing_info* timing = pa_stream_get_timing_info(FStream);
  if (timing == nullptr || pa_timeval_cmp(&timing->timestamp, &FUncorkedAt) < 0 ||
      pa_stream_get_latency(FStream, &usec, &negative) < 0)
    return sent + held;
  if (negative != 0) return least;
  // The part the next write goes back over is no longer ours.
  const uint64_t queued = usec * static_cast<uint64_t>(FRate) / 1000000u;
  return std::max(queued - std::min<uint64_t>(queued, FSeekBack / FFrameBytes) + held, least);
}

void TPulseOutput::Unwrite(uint64_t count) {
  TLocked lock(FLoop);
  size_t bytes = static_cast<size_t>(count) * FFrameBytes;
  const size_t held = std::min(bytes, FPending.size());
  FPending.resize(FPending.size() - held);
  bytes -= held;
  if (bytes == 0 || FCorked) return;
  FSeekBack += bytes;
  FPieceBytes = FFrameBytes;
}

void TPulseOutput::Interrupt() {
  TLocked lock(FLoop);
  FInterrupted = true;
  pa_threaded_mainloop_signal(FLoop, 0);
}

void TPulseOutput::Idle() {
  TLocked lock(FLoop);
  FPending.clear();
  FSeekBack = 0;
  FPieceBytes = 0;
  if (FCorked || Broken()) return;
  if (pa_operation* op = pa_stream_cork(FStream, 1, nullptr, nullptr)) pa_operation_unref(op);
  if (pa_operation* op = pa_stream_flush(FStream, nullptr, nullptr)) pa_operation_unref(op);
  FCorked = true;
}

}  // namespace

std::unique_ptr<TOutput> OpenPulseOutput(int rate) {
  auto output = std::make_unique<TPulseOutput>(rate);
  if (!output->Open()) return nullptr;
  return output;
}

}  // namespace vesperon::audiolib
