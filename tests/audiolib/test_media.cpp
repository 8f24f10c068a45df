#include "test_media.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace vesperon::testing {

TPcm Tone(double frequency, double seconds, int rate, int channels, float amplitude) {
  TPcm pcm{rate, channels, {}};
  const auto frames = static_cast<size_t>(std::llround(seconds * rate));
  pcm.Samples.resize(frames * static_cast<size_t>(channels));
  for (size_t i = 0; i < frames; ++i) {
    const float v =
        amplitude *
        static_cast<float>(std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / rate));
    for (int c = 0; c < channels; ++c)
      pcm.Samples[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = v;
  }
  return pcm;
}

TPcm Constant(float value, double seconds, int rate, int channels) {
  TPcm pcm{rate, channels, {}};
  pcm.Samples.assign(
      static_cast<size_t>(std::llround(seconds * rate)) * static_cast<size_t>(channels), value);
  return pcm;
}

void WriteSound(const std::filesystem::path& path, const TPcm& pcm, int format) {
  SF_INFO info{};
  info.samplerate = pcm.Rate;
  info.channels = pcm.Channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
  EXPECT_EQ(sf_writef_float(f, pcm.Samples.data(), static_cast<sf_count_t>(pcm.Frames())),
            static_cast<sf_count_t>(pcm.Frames()));
  sf_close(f);
}

TPcm ReadSound(const std::filesystem::path& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  TPcm pcm;
  if (f == nullptr) {
    ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
    return pcm;
  }
  pcm.Rate = info.samplerate;
  pcm.Channels = info.channels;
  std::vector<float> buffer(4096 * static_cast<size_t>(info.channels));
  sf_count_t n;
  while ((n = sf_readf_float(f, buffer.data(), 4096)) > 0)
    pcm.Samples.insert(pcm.Samples.end(), buffer.begin(), buffer.begin() + n * info.channels);
  sf_close(f);
  return pcm;
}

void RunTool(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  ASSERT_EQ(status, 0) << "failed: " << command;
}

TTempDir::TTempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vesperon-audio-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  FPath = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

TOutputOverride::TOutputOverride(const std::string& outputName) {
  setenv("VESPERON_AUDIO_OUTPUT", outputName.c_str(), 1);
}
TOutputOverride::~TOutputOverride() { unsetenv("VESPERON_AUDIO_OUTPUT"); }

TStderrCapture::TStderrCapture() {
  char name[] = "/tmp/vesperon-stderr-XXXXXX";
  const int fd = mkstemp(name);
  FFile = name;
  std::fflush(stderr);
  FSaved = dup(2);
  dup2(fd, 2);
  close(fd);
}

std::string TStderrCapture::Text() {
  if (!FDone) {
    std::fflush(stderr);
    dup2(FSaved, 2);
    close(FSaved);
    FDone = true;
  }
  std::ifstream in(FFile);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TStderrCapture::~TStderrCapture() {
  Text();
  std::error_code ec;
  std::filesystem::remove(FFile, ec);
}

}  // namespace vesperon::testing
