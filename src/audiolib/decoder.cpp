#include "audiolib/decoder.h"

#include <sys/stat.h>
#include <array>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace vesperon::audiolib {
namespace {

// Leading bytes of the container formats libsndfile reads. Anything else is
// handed to the MPEG decoder, which is the only one that has to search for
// its first frame.
constexpr std::array<std::string_view, 9> kSndfileMagics = {"RIFF", "RIFX", "RF64", "riff", "FORM",
                                                            "fLaC", "OggS", ".snd", "caff"};

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A header can promise a stream that is not there (a file cut after its
// header): the first frames must decode, then the stream starts over.
std::unique_ptr<TDecoder> CheckDecodes(std::unique_ptr<TDecoder> decoder, FMOD_RESULT& error) {
  if (!decoder) return nullptr;
  std::vector<float> probe(64 * static_cast<size_t>(decoder->Info().Channels));
  if (decoder->Read(probe.data(), 64) == 0 || !decoder->Rewind()) {
    error = FMOD_ERR_FILE_BAD;
    return nullptr;
  }
  return decoder;
}

}  // namespace

bool IsPlausible(const TStreamInfo& info) {
  return info.Channels >= 1 && info.Channels <= kMaxChannels && info.Rate >= kMinRate &&
         info.Rate <= kMaxRate && info.Frames > 0;
}

std::unique_ptr<TDecoder> OpenDecoder(const std::string& path, bool accurate, FMOD_RESULT& error) {
  if (!IsRegularFile(path)) {
    error = FMOD_ERR_FILE_NOTFOUND;
    return nullptr;
  }
  std::ifstream in(path, std::ios::binary);
  char head[4] = {};
  if (!in.read(head, sizeof head)) {
    error = FMOD_ERR_FORMAT;  // shorter than any audio file
    return nullptr;
  }
  const std::string_view magic(head, sizeof head);
  for (std::string_view m : kSndfileMagics) {
    if (magic == m) return CheckDecodes(OpenSndfileDecoder(path, error), error);
  }
  return CheckDecodes(OpenMpegDecoder(path, accurate, error), error);
}

}  // namespace vesperon::audiolib
