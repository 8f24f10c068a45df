// The ALSA output, for systems without a sound server.
#include <alsa/asoundlib.h>

#include <vector>

#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

// The device buffer: short enough that a pause or stop is heard within
// 100 ms, long enough to ride out a busy moment of the machine.
constexpr unsigned kLatencyUs = 60000;

// alsa-lib prints its errors (no card, unknown device) to the terminal by
// default; the player reports through its log instead.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

class TAlsaOutput final : public TOutput {
 public:
  TAlsaOutput(snd_pcm_t* pcm, bool floatSamples) : FPcm(pcm), FFloat(floatSamples) {}
  ~TAlsaOutput() override {
    if (!FStopped) snd_pcm_drain(FPcm);
    snd_pcm_close(FPcm);
  }
  bool Write(const float* frames, size_t count) override {
    if (FStopped && snd_pcm_prepare(FPcm) < 0) return false;
    FStopped = false;
    const void* data = frames;
    if (!FFloat) {
      FShort.resize(count * kOutputChannels);
      FloatToS16(frames, FShort.size(), FShort.data());
      data = FShort.data();
    }
    const size_t frameBytes = kOutputChannels * (FFloat ? sizeof(float) : sizeof(int16_t));
    size_t done = 0;
    while (done < count) {
      const auto* p = static_cast<const unsigned char*>(data) + done * frameBytes;
      snd_pcm_sframes_t n = snd_pcm_writei(FPcm, p, count - done);
      // An underrun (-EPIPE) or a suspend (-ESTRPIPE) is recovered and the
      // write tried again; anything else means the device is gone.
      if (n < 0) n = snd_pcm_recover(FPcm, static_cast<int>(n), 1);
      if (n < 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  uint64_t Delay() override {
    snd_pcm_sframes_t delay = 0;
    if (FStopped || snd_pcm_delay(FPcm, &delay) != 0 || delay < 0) return 0;
    return static_cast<uint64_t>(delay);
  }
  void Idle() override {
    // Stopped, the device asks for nothing and cannot underrun.
    snd_pcm_drop(FPcm);
    FStopped = true;
  }
  const char* Name() const override { return "alsa"; }

 private:
  snd_pcm_t* FPcm;
  const bool FFloat;
  bool FStopped = false;
  std::vector<int16_t> FShort;
};

}  // namespace

std::unique_ptr<TOutput> OpenAlsaOutput(int rate) {
  snd_lib_error_set_handler(SilentAlsaErrors);
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) != 0) return nullptr;
  const auto setup = [&](snd_pcm_format_t format) {
    return snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, kOutputChannels,
                              static_cast<unsigned>(rate), 1, kLatencyUs) == 0;
  };
  if (setup(SND_PCM_FORMAT_FLOAT_LE)) return std::make_unique<TAlsaOutput>(pcm, true);
  if (setup(SND_PCM_FORMAT_S16_LE)) return std::make_unique<TAlsaOutput>(pcm, false);
  snd_pcm_close(pcm);
  return nullptr;
}

}  // namespace vesperon::audiolib
