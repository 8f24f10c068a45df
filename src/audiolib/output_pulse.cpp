// The PulseAudio output (also serves PipeWire through its Pulse server).
#include <pulse/error.h>
#include <pulse/simple.h>

#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

// About 100 ms of buffer: enough to ride out a slow disk, short enough that
// pause and volume changes are heard promptly.
constexpr int kBufferMs = 100;

class TPulseOutput final : public TOutput {
 public:
  TPulseOutput(pa_simple* stream, int rate) : FStream(stream), FRate(rate) {}
  ~TPulseOutput() override {
    int error = 0;
    pa_simple_drain(FStream, &error);
    pa_simple_free(FStream);
  }
  bool Write(const float* frames, size_t count) override {
    int error = 0;
    return pa_simple_write(FStream, frames, count * kOutputChannels * sizeof(float), &error) == 0;
  }
  uint64_t Delay() override {
    int error = 0;
    const pa_usec_t usec = pa_simple_get_latency(FStream, &error);
    if (usec == static_cast<pa_usec_t>(-1)) return 0;
    return usec * static_cast<uint64_t>(FRate) / 1000000u;
  }
  const char* Name() const override { return "pulse"; }

 private:
  pa_simple* FStream;
  const int FRate;
};

}  // namespace

std::unique_ptr<TOutput> OpenPulseOutput(int rate) {
  pa_sample_spec format{};
  format.format = PA_SAMPLE_FLOAT32LE;
  format.rate = static_cast<uint32_t>(rate);
  format.channels = kOutputChannels;
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(pa_usec_t{kBufferMs} * 1000, &format));
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, "Vesperon", PA_STREAM_PLAYBACK, nullptr, "Music",
                                    &format, nullptr, &attr, &error);
  if (stream == nullptr) return nullptr;
  return std::make_unique<TPulseOutput>(stream, rate);
}

}  // namespace vesperon::audiolib
