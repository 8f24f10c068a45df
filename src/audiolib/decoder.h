#pragma once
// Decoders: turn an audio file into interleaved float frames.
//
// Two backends sit behind TDecoder: libsndfile for the container formats
// (WAV, FLAC, Ogg Vorbis, Ogg Opus, AIFF, ...) and libmpg123 for MPEG audio
// (MP1, MP2, MP3). The file's first bytes choose the backend, so a file that
// is neither is rejected without any library guessing at it (and printing
// about it).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audiolib/audiolib.h"

namespace vesperon::audiolib {

struct TStreamInfo {
  int Rate = 0;         // frames per second
  int Channels = 0;     // samples per frame
  uint64_t Frames = 0;  // length in frames
  bool Exact = false;   // Frames is the decoded count, not an estimate
};

class TDecoder {
 public:
  virtual ~TDecoder() = default;
  const TStreamInfo& Info() const { return FInfo; }
  // Reads up to `count` frames into `frames` (Info().Channels floats each).
  // Returns the number read; 0 at the end of the stream or after a decoding
  // error, which ends the stream for good.
  virtual size_t Read(float* frames, size_t count) = 0;
  // Goes back to the first frame. False when the stream cannot seek.
  virtual bool Rewind() = 0;

 protected:
  TStreamInfo FInfo;
};

// Limits that keep a malformed header from asking for absurd buffers.
inline constexpr int kMaxChannels = 8;
inline constexpr int kMinRate = 1000;
inline constexpr int kMaxRate = 384000;

// Opens `path` (UTF-8 bytes). With `accurate`, a length the format only
// estimates (MPEG without a length header) is counted by scanning the file.
// On failure returns null and sets `error` to FMOD_ERR_FILE_NOTFOUND,
// FMOD_ERR_FORMAT or FMOD_ERR_FILE_BAD.
std::unique_ptr<TDecoder> OpenDecoder(const std::string& path, bool accurate, FMOD_RESULT& error);

// The backends, for OpenDecoder.
std::unique_ptr<TDecoder> OpenSndfileDecoder(const std::string& path, FMOD_RESULT& error);
std::unique_ptr<TDecoder> OpenMpegDecoder(const std::string& path, bool accurate,
                                          FMOD_RESULT& error);

// True when the stream parameters are within the limits above.
bool IsPlausible(const TStreamInfo& info);

}  // namespace vesperon::audiolib
