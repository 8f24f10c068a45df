// The "wav:PATH" output: writes exactly the mixed frames, as 32-bit float
// stereo, to a WAV file, paced in real time like the null output. Used for
// tests and for recording what the player plays.
//
// While the output is idle nothing is written and nothing wakes; the next
// write first fills the idle time with silence, so that the recording keeps
// the timeline a listener heard (from the opening of the output on).
#include <sndfile.h>

#include <algorithm>
#include <vector>

#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

class TWavOutput final : public TOutput {
 public:
  TWavOutput(SNDFILE* file, int rate)
      : FFile(file),
        FRate(rate),
        FPacer(rate, static_cast<size_t>(rate) / 50),
        FIdleSinceNs(MonotonicNowNs()) {}
  ~TWavOutput() override { sf_close(FFile); }
  bool Write(const float* frames, size_t count) override {
    if (FIdleSinceNs >= 0 && !WriteSilence(MonotonicNowNs() - FIdleSinceNs)) return false;
    FIdleSinceNs = -1;
    const bool ok = sf_writef_float(FFile, frames, static_cast<sf_count_t>(count)) ==
                    static_cast<sf_count_t>(count);
    FPacer.Wrote(count);
    return ok;
  }
  uint64_t Delay() override { return FPacer.Delay(); }
  void Idle() override {
    FPacer.Restart();
    FIdleSinceNs = MonotonicNowNs();
  }
  const char* Name() const override { return "wav"; }

 private:
  bool WriteSilence(int64_t ns) {
    auto left = static_cast<sf_count_t>(static_cast<double>(ns) * FRate / 1e9);
    std::vector<float> zeros(std::size_t{2} * 4096, 0.0f);
    while (left > 0) {
      const sf_count_t n = std::min<sf_count_t>(left, 4096);
      if (sf_writef_float(FFile, zeros.data(), n) != n) return false;
      left -= n;
    }
    return true;
  }

  SNDFILE* FFile;
  const int FRate;
  TRealTimePacer FPacer;
  int64_t FIdleSinceNs;  // -1 while frames are being written
};

}  // namespace

std::unique_ptr<TOutput> OpenWavOutput(const std::string& path, int rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = kOutputChannels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return nullptr;
  // Keep the header current, so a recording cut off by a crash stays readable.
  sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  return std::make_unique<TWavOutput>(file, rate);
}

}  // namespace vesperon::audiolib
