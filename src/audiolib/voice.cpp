#include "audiolib/voice.h"

#include <algorithm>

namespace vesperon::audiolib {
namespace {
// Frames decoded per refill: small enough to keep memory low, large enough
// to keep the per-call overhead of the decoders negligible.
constexpr size_t kDecodeFrames = 2048;
// The most frames kept for handing out again, whatever Forget says: more
// than any output holds unheard.
constexpr uint64_t kMaxKeptFrames = uint64_t{44100} * 8;
}  // namespace

void MapToStereo(const float* in, int channels, size_t frames, float* out) {
  if (channels == 1) {
    for (size_t i = 0; i < frames; ++i) out[2 * i] = out[2 * i + 1] = in[i];
    return;
  }
  if (channels == 2) {
    std::copy(in, in + 2 * frames, out);
    return;
  }
  const float rest = 1.0f / static_cast<float>(channels - 2);
  for (size_t i = 0; i < frames; ++i) {
    const float* f = in + i * static_cast<size_t>(channels);
    float extra = 0.0f;
    for (int c = 2; c < channels; ++c) extra += f[c];
    extra *= 0.5f * rest;
    out[2 * i] = 0.5f * f[0] + extra;
    out[2 * i + 1] = 0.5f * f[1] + extra;
  }
}

TVoiceSource::TVoiceSource(TDecoder& decoder, int outputRate)
    : FDecoder(decoder),
      FChannels(decoder.Info().Channels),
      FLimit(decoder.Info().Exact ? decoder.Info().Frames : UINT64_MAX) {
  FRaw.resize(kDecodeFrames * static_cast<size_t>(FChannels));
  if (decoder.Info().Rate != outputRate) {
    int error = 0;
    FConverter = src_new(SRC_SINC_FASTEST, 2, &error);
    FRatio = static_cast<double>(outputRate) / decoder.Info().Rate;
    if (FConverter == nullptr) FEnded = FConverterDone = true;
  }
}

TVoiceSource::~TVoiceSource() {
  if (FConverter != nullptr) src_delete(FConverter);
}

bool TVoiceSource::Refill() {
  FInput.clear();
  FInputPos = 0;
  if (FInputEnd) return false;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kDecodeFrames, FLimit - FDecoded));
  const size_t got = want > 0 ? FDecoder.Read(FRaw.data(), want) : 0;
  FDecoded += got;
  if (got < want || got == 0 || FDecoded >= FLimit) FInputEnd = true;
  FInput.resize(2 * got);
  MapToStereo(FRaw.data(), FChannels, got, FInput.data());
  return got > 0;
}

size_t TVoiceSource::PullDirect(float* out, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (FInputPos * 2 >= FInput.size() && !Refill()) break;
    const size_t avail = FInput.size() / 2 - FInputPos;
    const size_t n = std::min(avail, count - done);
    std::copy_n(FInput.data() + 2 * FInputPos, 2 * n, out + 2 * done);
    FInputPos += n;
    done += n;
  }
  return done;
}

size_t TVoiceSource::PullConverted(float* out, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (FInputPos * 2 >= FInput.size() && !FInputEnd) Refill();
    SRC_DATA d{};
    d.data_in = FInput.data() + 2 * FInputPos;
    d.input_frames = static_cast<long>(FInput.size() / 2 - FInputPos);
    d.data_out = out + 2 * done;
    d.output_frames = static_cast<long>(count - done);
    d.end_of_input = FInputEnd ? 1 : 0;
    d.src_ratio = FRatio;
    if (src_process(FConverter, &d) != 0) break;
    FInputPos += static_cast<size_t>(d.input_frames_used);
    done += static_cast<size_t>(d.output_frames_gen);
    // At the end of the input the converter drains its filter; once it
    // produces nothing more, the sound is over.
    if (FInputEnd && d.output_frames_gen == 0 && d.input_frames_used == 0) break;
  }
  return done;
}

size_t TVoiceSource::Pull(float* out, size_t count) {
  if (FEnded) return 0;
  size_t done = 0;
  const uint64_t keptEnd = FKeptFrom + FKept.size() / 2;
  if (FPulled < keptEnd) {
    done = static_cast<size_t>(std::min<uint64_t>(count, keptEnd - FPulled));
    std::copy_n(FKept.data() + 2 * (FPulled - FKeptFrom), 2 * done, out);
  }
  if (done < count && !FConverterDone) {
    const size_t want = count - done;
    const size_t fresh = FConverter != nullptr ? PullConverted(out + 2 * done, want)
                                               : PullDirect(out + 2 * done, want);
    if (fresh < want) FConverterDone = true;
    FKept.insert(FKept.end(), out + 2 * done, out + 2 * (done + fresh));
    done += fresh;
    if (FKept.size() / 2 > 2 * kMaxKeptFrames) Forget(FPulled + done - kMaxKeptFrames);
  }
  FPulled += done;
  if (done < count) FEnded = true;
  return done;
}

void TVoiceSource::GoBack(uint64_t pulled, bool ended) {
  FPulled = std::max(pulled, FKeptFrom);
  FEnded = ended;
}

void TVoiceSource::Forget(uint64_t pulled) {
  const uint64_t upTo = std::min({pulled, FPulled, FKeptFrom + FKept.size() / 2});
  // Dropped in large pieces, so that forgetting costs little per frame.
  if (upTo <= FKeptFrom || upTo - FKeptFrom < kDecodeFrames * 8) return;
  FKept.erase(FKept.begin(), FKept.begin() + static_cast<ptrdiff_t>(2 * (upTo - FKeptFrom)));
  FKeptFrom = upTo;
}

}  // namespace vesperon::audiolib
