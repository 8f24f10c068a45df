// The libsndfile backend: WAV, FLAC, Ogg Vorbis, Ogg Opus and the other
// container formats libsndfile reads.
#include <sndfile.h>

#include "audiolib/decoder.h"

namespace vesperon::audiolib {
namespace {

class TSndfileDecoder final : public TDecoder {
 public:
  TSndfileDecoder(SNDFILE* file, const SF_INFO& info) : FFile(file) {
    FInfo.Rate = info.samplerate;
    FInfo.Channels = info.channels;
    FInfo.Frames = info.frames > 0 ? static_cast<uint64_t>(info.frames) : 0;
    // libsndfile counts the frames of these containers from their headers or
    // their last page, and never reads past that count.
    FInfo.Exact = true;
  }
  ~TSndfileDecoder() override { sf_close(FFile); }

  size_t Read(float* frames, size_t count) override {
    if (FEnded) return 0;
    const sf_count_t n = sf_readf_float(FFile, frames, static_cast<sf_count_t>(count));
    if (n <= 0 || sf_error(FFile) != SF_ERR_NO_ERROR) {
      FEnded = true;
      return n > 0 ? static_cast<size_t>(n) : 0;
    }
    return static_cast<size_t>(n);
  }

  bool Rewind() override {
    FEnded = sf_seek(FFile, 0, SEEK_SET) != 0;
    return !FEnded;
  }

 private:
  SNDFILE* FFile;
  bool FEnded = false;
};

}  // namespace

std::unique_ptr<TDecoder> OpenSndfileDecoder(const std::string& path, FMOD_RESULT& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    error = FMOD_ERR_FORMAT;
    return nullptr;
  }
  auto decoder = std::make_unique<TSndfileDecoder>(file, info);
  if (!IsPlausible(decoder->Info())) {
    error = FMOD_ERR_FORMAT;
    return nullptr;
  }
  return decoder;
}

}  // namespace vesperon::audiolib
