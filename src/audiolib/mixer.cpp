#include "audiolib/mixer.h"

#include <algorithm>
#include <cmath>

namespace vesperon::audiolib {

TVoice::TVoice(std::shared_ptr<TDecoder> decoder, int outputRate)
    : FDecoder(std::move(decoder)), FSource(*FDecoder, outputRate) {}

void TVoice::Restore(const TState& state) {
  FSource.GoBack(state.Pulled, state.Ended);
  FGain = state.Gain;
  FStarted = state.Started;
  FSilenced = state.Silenced;
}

size_t TVoice::Render(const TVoiceRequest& request, float* mix, size_t count) {
  const float target = (request.Paused || request.Stopping) ? 0.0f : request.Volume;
  // A sound starts at its volume at once: its own first samples are its
  // onset, and a ramp would only distort them.
  if (!FStarted) FGain = target;
  if (FGain == 0.0f && target == 0.0f) {
    // Silent and meant to stay so: a paused voice keeps its place, a
    // stopping one is done.
    if (request.Stopping) FSilenced = true;
    if (request.Paused || request.Stopping) return 0;
  }
  // Fading to a pause or stop takes only the frames of the ramp, so that no
  // unheard part of the sound is skipped over.
  size_t want = count;
  if (target == 0.0f && (request.Paused || request.Stopping))
    want = std::min(count, static_cast<size_t>(std::ceil(FGain * kRampFrames)));
  FScratch.resize(2 * want);
  const size_t got = FSource.Pull(FScratch.data(), want);
  if (got > 0) FStarted = true;
  for (size_t i = 0; i < got; ++i) {
    FGain = StepGain(FGain, target);
    mix[2 * i] += FScratch[2 * i] * FGain;
    mix[2 * i + 1] += FScratch[2 * i + 1] * FGain;
  }
  if (request.Stopping && FGain == 0.0f) FSilenced = true;
  return got;
}

void TMixer::Mix(const std::vector<TVoice*>& voices, const std::vector<TVoiceRequest>& requests,
                 float masterVolume, float* out, size_t count, std::vector<size_t>& consumed) {
  std::fill(out, out + 2 * count, 0.0f);
  consumed.assign(voices.size(), 0);
  for (size_t v = 0; v < voices.size(); ++v)
    consumed[v] = voices[v]->Render(requests[v], out, count);
  if (FMasterGain == masterVolume && masterVolume == 1.0f) return;
  for (size_t i = 0; i < count; ++i) {
    FMasterGain = StepGain(FMasterGain, masterVolume);
    out[2 * i] *= FMasterGain;
    out[2 * i + 1] *= FMasterGain;
  }
}

}  // namespace vesperon::audiolib
