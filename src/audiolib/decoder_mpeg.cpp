// The MPEG audio backend (MP1, MP2, MP3) on libmpg123.
//
// libmpg123 is used directly rather than through libsndfile for two reasons:
// the handle can be told to stay quiet (libsndfile's copy prints resync
// notes to the terminal for damaged files), and a file without a length
// header can be scanned for its exact length, where libsndfile stops reading
// at its estimate and so cuts variable-rate files short.
#include <mpg123.h>

#include <mutex>

#include "audiolib/decoder.h"

namespace vesperon::audiolib {
namespace {

void InitMpg123Once() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

class TMpegDecoder final : public TDecoder {
 public:
  explicit TMpegDecoder(mpg123_handle* handle) : FHandle(handle) {}
  ~TMpegDecoder() override {
    mpg123_close(FHandle);
    mpg123_delete(FHandle);
  }

  // Reads the format of the first frame and the length. False when no
  // usable MPEG stream is found.
  bool Start(bool accurate) {
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(FHandle, &rate, &channels, &encoding) != MPG123_OK) return false;
    // Fix the output format, so that a stream whose later frames change
    // their rate or channel count ends instead of changing under the mixer.
    mpg123_format_none(FHandle);
    if (mpg123_format(FHandle, rate, channels, MPG123_ENC_FLOAT_32) != MPG123_OK) return false;
    // A scan that stops at damage in the middle still leaves the part
    // before it playable; the length is then only the estimate.
    bool exact = false;
    if (accurate) {
      exact = mpg123_scan(FHandle) == MPG123_OK;
      if (!exact && mpg123_seek(FHandle, 0, SEEK_SET) < 0) return false;
    }
    const off_t length = mpg123_length(FHandle);
    if (length <= 0) return false;
    FInfo.Rate = static_cast<int>(rate);
    FInfo.Channels = channels;
    FInfo.Frames = static_cast<uint64_t>(length);
    FInfo.Exact = exact;
    return IsPlausible(FInfo);
  }

  size_t Read(float* frames, size_t count) override {
    if (FEnded) return 0;
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(FInfo.Channels);
    auto* out = reinterpret_cast<unsigned char*>(frames);
    size_t got = 0;  // bytes
    while (got < count * frameBytes) {
      size_t done = 0;
      const int r = mpg123_read(FHandle, out + got, count * frameBytes - got, &done);
      got += done;
      // The format fixed in Start is announced once; a second announcement
      // means the stream changed shape and is ended below.
      if (r == MPG123_NEW_FORMAT && done == 0 && !FFormatSeen) {
        FFormatSeen = true;
        continue;
      }
      if (r != MPG123_OK) {
        FEnded = true;  // end of stream, or data too damaged to go on
        break;
      }
      if (done == 0) {
        FEnded = true;
        break;
      }
    }
    return got / frameBytes;
  }

  bool Rewind() override {
    FEnded = mpg123_seek(FHandle, 0, SEEK_SET) < 0;
    return !FEnded;
  }

 private:
  mpg123_handle* FHandle;
  bool FEnded = false;
  bool FFormatSeen = false;
};

}  // namespace

std::unique_ptr<TDecoder> OpenMpegDecoder(const std::string& path, bool accurate,
                                          FMOD_RESULT& error) {
  InitMpg123Once();
  error = FMOD_ERR_FORMAT;
  mpg123_handle* handle = mpg123_new(nullptr, nullptr);
  if (handle == nullptr) {
    error = FMOD_ERR_MEMORY;
    return nullptr;
  }
  // Quiet: no messages on the terminal. Gapless: the encoder's delay and
  // padding are cut, so lengths match the source that was encoded.
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_FORCE_FLOAT, 0.0);
  mpg123_param(handle, MPG123_RESYNC_LIMIT, 4096, 0.0);
  if (mpg123_open(handle, path.c_str()) != MPG123_OK) {
    mpg123_delete(handle);
    return nullptr;
  }
  auto decoder = std::make_unique<TMpegDecoder>(handle);
  if (!decoder->Start(accurate)) return nullptr;
  return decoder;
}

}  // namespace vesperon::audiolib
