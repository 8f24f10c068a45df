// CPU time to decode and mix a 5-minute 192 kbit/s MP3 without real-time
// pacing, through the library's own decoder, voice and mixer, against
// `mpg123 -q -O /dev/null` decoding the same file in the same run.
// Target: at most 1.5 times mpg123's CPU time.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audiolib/decoder.h"
#include "audiolib/mixer.h"
#include "audiolib/system.h"

namespace {

namespace fs = std::filesystem;
using namespace vesperon::audiolib;

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Decodes and mixes the whole file at full volume; returns the frames mixed.
uint64_t DecodeAndMix(const fs::path& mp3) {
  FMOD_RESULT error = FMOD_OK;
  std::shared_ptr<TDecoder> decoder = OpenDecoder(mp3.string(), true, error);
  if (!decoder) {
    std::fprintf(stderr, "cannot open %s (%d)\n", mp3.c_str(), error);
    std::exit(1);
  }
  TVoice voice(decoder, kOutputRate);
  TMixer mixer;
  const std::vector<TVoice*> voices{&voice};
  const std::vector<TVoiceRequest> requests{{0.8f, false, false}};
  std::vector<float> block(2 * kBlockFrames);
  std::vector<size_t> consumed;
  uint64_t frames = 0;
  while (!voice.Ended()) {
    mixer.Mix(voices, requests, 0.9f, block.data(), kBlockFrames, consumed);
    frames += consumed[0];
  }
  return frames;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("vesperon-bench-audio-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path wav = dir / "music.wav", mp3 = dir / "music.mp3";
  // Five minutes of a chord with a slow tremolo: enough spectral content
  // that the encoder spends the bit rate.
  if (!Run("sox -n -r 44100 -c 2 -b 16 " + wav.string() +
           " synth 300 sine 220 sine 277 sine 330 pinknoise tremolo 3 40 remix 1,3 2,3 vol 0.6") ||
      !Run("lame --quiet --cbr -b 192 " + wav.string() + " " + mp3.string())) {
    std::fprintf(stderr, "sox and lame are needed to make the test file\n");
    return 1;
  }
  fs::remove(wav);

  // The best of three runs of each, alternating, so that a busy machine
  // hurts both sides alike.
  double ours = 1e9, baseline = 1e9;
  uint64_t frames = 0;
  for (int run = 0; run < 3; ++run) {
    const double before = CpuSeconds(RUSAGE_SELF);
    frames = DecodeAndMix(mp3);
    ours = std::min(ours, CpuSeconds(RUSAGE_SELF) - before);
    const double childBefore = CpuSeconds(RUSAGE_CHILDREN);
    if (!Run("mpg123 -q -O /dev/null " + mp3.string())) {
      std::fprintf(stderr, "mpg123 failed\n");
      return 1;
    }
    baseline = std::min(baseline, CpuSeconds(RUSAGE_CHILDREN) - childBefore);
  }
  fs::remove_all(dir);

  std::printf("decode+mix of %.1f s of 192 kbit/s MP3: %.3f s CPU\n", frames / 44100.0, ours);
  std::printf("mpg123 -q -O /dev/null on the same file: %.3f s CPU\n", baseline);
  std::printf("ratio: %.2f (target <= 1.50)\n", ours / baseline);
  return 0;
}
