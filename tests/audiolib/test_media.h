#pragma once
// Test media for the audio library tests: tones written with libsndfile's
// encoders or Debian's lame and sox, decoded again for comparison, and a
// private temporary folder per test.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vesperon::testing {

// Interleaved float frames with their rate and channel count.
struct TPcm {
  int Rate = 44100;
  int Channels = 2;
  std::vector<float> Samples;
  size_t Frames() const { return Samples.size() / static_cast<size_t>(Channels); }
};

// A sine tone of `seconds` starting at phase 0 (so it starts silently).
TPcm Tone(double frequency, double seconds, int rate = 44100, int channels = 2,
          float amplitude = 0.5f);
// A constant signal.
TPcm Constant(float value, double seconds, int rate = 44100, int channels = 2);

// Writes `pcm` with libsndfile in the given SF_FORMAT_* major|subtype.
void WriteSound(const std::filesystem::path& path, const TPcm& pcm, int format);
// Reads a whole file with libsndfile (the recording, or a source to compare).
TPcm ReadSound(const std::filesystem::path& path);
// Runs a shell command (an encoder); fails the test when it fails.
void RunTool(const std::string& command);

// A fresh folder under the temporary folder, removed by the destructor.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  const std::filesystem::path& Path() const { return FPath; }
  std::filesystem::path operator/(const std::string& name) const { return FPath / name; }

 private:
  std::filesystem::path FPath;
};

// Sets VESPERON_AUDIO_OUTPUT for the life of the object.
class TOutputOverride {
 public:
  explicit TOutputOverride(const std::string& outputName);
  ~TOutputOverride();
};

// Captures what is written to the process's standard error (fd 2) while
// the object lives; Text() returns it.
class TStderrCapture {
 public:
  TStderrCapture();
  ~TStderrCapture();
  std::string Text();

 private:
  int FSaved = -1;
  std::filesystem::path FFile;
  bool FDone = false;
};

}  // namespace vesperon::testing
