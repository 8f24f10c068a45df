#pragma once
// The mixer: sums the voices of all channels into one stereo block, each
// scaled by its channel volume, then applies the master volume. Everything
// is floating point; nothing is clipped here (the outputs clamp if their
// sample format needs it).
//
// Volume changes, pauses and stops are not applied as jumps: the gain moves
// towards its target by at most 1/kRampFrames per frame, so that a stop or
// pause fades out within kRampFrames frames instead of clicking.
#include <cstdint>
#include <memory>
#include <vector>

#include "audiolib/voice.h"

namespace vesperon::audiolib {

inline constexpr int kRampFrames = 32;

// What the controlling side asks of a voice; copied into the voice before
// each block.
struct TVoiceRequest {
  float Volume = 1.0f;
  bool Paused = false;
  bool Stopping = false;  // fade out, then finish
};

class TVoice {
 public:
  // Where a voice stands between two blocks.
  struct TState {
    uint64_t Pulled = 0;  // frames of the sound rendered
    float Gain = 0.0f;
    bool Started = false;
    bool Ended = false;
    bool Silenced = false;
  };

  TVoice(std::shared_ptr<TDecoder> decoder, int outputRate);
  TState State() const { return {FSource.Pulled(), FGain, FStarted, FSource.Ended(), FSilenced}; }
  // Goes back to an earlier state, to render its frames again (see
  // TVoiceSource::GoBack).
  void Restore(const TState& state);
  // The frames up to `pulled` are heard and will not be rendered again.
  void Forget(uint64_t pulled) { FSource.Forget(pulled); }

  // Adds up to `count` frames of this voice to `mix`. Returns the frames of
  // the sound consumed (0 while paused or silent).
  size_t Render(const TVoiceRequest& request, float* mix, size_t count);
  // The sound has delivered its last frame.
  bool Ended() const { return FSource.Ended(); }
  // Stopped and faded out: the voice can be dropped.
  bool Silenced() const { return FSilenced; }
  // Its gain is 0: nothing of it is heard now.
  bool Resting() const { return FGain == 0.0f; }

 private:
  std::shared_ptr<TDecoder> FDecoder;  // kept alive while the source reads it
  TVoiceSource FSource;
  float FGain = 0.0f;
  bool FStarted = false;  // some of the sound has been rendered
  bool FSilenced = false;
  std::vector<float> FScratch;
};

// Mixes `voices` (with their requests) into `out` (count stereo frames) and
// applies the master gain, which also moves in ramps. `consumed[i]` gets
// what voice i rendered.
class TMixer {
 public:
  explicit TMixer(float masterVolume = 1.0f) : FMasterGain(masterVolume) {}
  // Sets the master gain without a ramp (after silence, when nothing is
  // there to ramp).
  void SetMasterGain(float gain) { FMasterGain = gain; }
  float MasterGain() const { return FMasterGain; }
  void Mix(const std::vector<TVoice*>& voices, const std::vector<TVoiceRequest>& requests,
           float masterVolume, float* out, size_t count, std::vector<size_t>& consumed);

 private:
  float FMasterGain;
};

// Moves `gain` one ramp step towards `target`.
inline float StepGain(float gain, float target) {
  constexpr float kStep = 1.0f / kRampFrames;
  if (gain < target) return gain + kStep < target ? gain + kStep : target;
  if (gain > target) return gain - kStep > target ? gain - kStep : target;
  return gain;
}

}  // namespace vesperon::audiolib
