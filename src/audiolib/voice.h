#pragma once
// A voice: one sound being played, turned into stereo frames at the output
// rate (channel mapping, then rate conversion with libsamplerate).
//
// The source keeps the frames it handed out until it is told they have been
// heard, so that frames mixed into output not yet heard can be given back
// and handed out again (the output's queued part is being mixed anew).
#include <samplerate.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "audiolib/decoder.h"

namespace vesperon::audiolib {

class TVoiceSource {
 public:
  // `decoder` must stay alive as long as the source; it is read from the
  // current position on.
  TVoiceSource(TDecoder& decoder, int outputRate);
  ~TVoiceSource();
  TVoiceSource(const TVoiceSource&) = delete;
  TVoiceSource& operator=(const TVoiceSource&) = delete;

  // Writes up to `count` stereo frames to `out`. Fewer than `count` means
  // the sound has ended (or its data broke off); later calls return 0.
  size_t Pull(float* out, size_t count);
  bool Ended() const { return FEnded; }
  // Frames handed out so far (counting those handed out again).
  uint64_t Pulled() const { return FPulled; }
  // Goes back to frame `pulled` of what was handed out, with the ended state
  // it had there; no further back than the oldest frame kept.
  void GoBack(uint64_t pulled, bool ended);
  // The frames before `pulled` are heard: they are not asked for again.
  void Forget(uint64_t pulled);

 private:
  // Decodes the next piece into FInput as stereo. False at the end.
  bool Refill();
  size_t PullDirect(float* out, size_t count);
  size_t PullConverted(float* out, size_t count);

  TDecoder& FDecoder;
  const int FChannels;
  const uint64_t FLimit;            // frames the decoder may deliver in all
  uint64_t FDecoded = 0;            // frames taken from the decoder so far
  SRC_STATE* FConverter = nullptr;  // null when the rates are equal
  double FRatio = 1.0;
  std::vector<float> FRaw;      // decoder frames, FChannels samples each
  std::vector<float> FInput;    // stereo frames waiting for the converter
  size_t FInputPos = 0;         // frames of FInput already used
  bool FInputEnd = false;       // the decoder has nothing more
  bool FConverterDone = false;  // fresh frames are over for good
  bool FEnded = false;
  uint64_t FPulled = 0;
  // Frames handed out and kept: FKept holds frames FKeptFrom onwards.
  std::vector<float> FKept;
  uint64_t FKeptFrom = 0;
};

// Maps `frames` frames of `channels` samples to stereo: mono goes to both
// sides at full level; with more than two channels the first two are the
// front pair and the rest are spread evenly over both sides.
void MapToStereo(const float* in, int channels, size_t frames, float* out);

}  // namespace vesperon::audiolib
