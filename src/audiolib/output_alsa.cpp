// The ALSA output, for systems without a sound server.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdarg>
#include <vector>

#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

constexpr unsigned kLatencyUs = 100000;

// alsa-lib prints its errors (no card, unknown device) to the terminal by
// default; the player reports through its log instead.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

class TAlsaOutput final : public TOutput {
 public:
  TAlsaOutput(snd_pcm_t* pcm, bool floatSamples) : FPcm(pcm), FFloat(floatSamples) {}
  ~TAlsaOutput() override {
    snd_pcm_drain(FPcm);
    snd_pcm_close(FPcm);
  }
  bool Write(const float* frames, size_t count) override {
    const void* data = frames;
    if (!FFloat) {
      // Clamped, not wrapped: a mix louder than full scale distorts gently
      // instead of flipping sign.
      FShort.resize(count * kOutputChannels);
      for (size_t i = 0; i < FShort.size(); ++i)
        FShort[i] = static_cast<int16_t>(std::clamp(frames[i], -1.0f, 1.0f) * 32767.0f);
      data = FShort.data();
    }
    const size_t frameBytes = kOutputChannels * (FFloat ? sizeof(float) : sizeof(int16_t));
    size_t done = 0;
    while (done < count) {
      const auto* p = static_cast<const unsigned char*>(data) + done * frameBytes;
      snd_pcm_sframes_t n = snd_pcm_writei(FPcm, p, count - done);
      if (n < 0) n = snd_pcm_recover(FPcm, static_cast<int>(n), 1);
      if (n < 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  uint64_t Delay() override {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(FPcm, &delay) != 0 || delay < 0) return 0;
    return static_cast<uint64_t>(delay);
  }
  const char* Name() const override { return "alsa"; }

 private:
  snd_pcm_t* FPcm;
  const bool FFloat;
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
