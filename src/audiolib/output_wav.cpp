// The "wav:PATH" output: writes exactly the mixed frames, as 32-bit float
// stereo, to a WAV file, paced in real time like the null output. Used for
// tests and for recording what the player plays.
#include <sndfile.h>

#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

class TWavOutput final : public TOutput {
 public:
  TWavOutput(SNDFILE* file, int rate) : FFile(file), FPacer(rate, static_cast<size_t>(rate) / 50) {}
  ~TWavOutput() override { sf_close(FFile); }
  bool Write(const float* frames, size_t count) override {
    const bool ok = sf_writef_float(FFile, frames, static_cast<sf_count_t>(count)) ==
                    static_cast<sf_count_t>(count);
    FPacer.Wrote(count);
    return ok;
  }
  uint64_t Delay() override { return FPacer.Delay(); }
  const char* Name() const override { return "wav"; }

 private:
  SNDFILE* FFile;
  TRealTimePacer FPacer;
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
