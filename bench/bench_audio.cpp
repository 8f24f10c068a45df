// The audio library's CPU cost against mpg123 measured in the same run:
//
// 1. decoding and mixing a 5-minute 192 kbit/s MP3 without real-time
//    pacing, through the library's own decoder, voice and mixer, against
//    `mpg123 -q -O /dev/null` on the same file (target: at most 1.5 times);
// 2. playing a 30-second 192 kbit/s MP3 through PulseAudio (a private
//    server with a 16-bit null sink), against `mpg123 -q -o pulse` on the
//    same file and server: the CPU of the player and of the server while it
//    serves each stream (targets: at most 1.2 times each);
// 3. ten seconds with the system open and nothing playing: the CPU of the
//    player's output path and of the server (target: none measurable).
//
//   bench_audio [SECONDS [pulse]]   the length of the played file (default
//                                   30); the run takes about 4 x SECONDS +
//                                   30 s; "pulse" leaves out part 1
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audiolib/audiolib.h"
#include "audiolib/decoder.h"
#include "audiolib/mixer.h"
#include "audiolib/system.h"
#include "sound_server.h"

namespace {

namespace fs = std::filesystem;
using namespace vesperon::audiolib;
using namespace std::chrono_literals;

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool Run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A chord with a slow tremolo: enough spectral content that the encoder
// spends the bit rate.
bool MakeMp3(const fs::path& mp3, int seconds) {
  const fs::path wav = fs::path(mp3).replace_extension(".wav");
  const bool ok =
      Run("sox -n -r 44100 -c 2 -b 16 " + wav.string() + " synth " + std::to_string(seconds) +
          " sine 220 sine 277 sine 330 pinknoise tremolo 3 40 remix 1,3 2,3 vol 0.6") &&
      Run("lame --quiet --cbr -b 192 " + wav.string() + " " + mp3.string());
  fs::remove(wav);
  return ok;
}

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

void BenchDecodeAndMix(const fs::path& dir) {
  const fs::path mp3 = dir / "long.mp3";
  if (!MakeMp3(mp3, 300)) {
    std::fprintf(stderr, "sox and lame are needed to make the test file\n");
    std::exit(1);
  }
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
      std::exit(1);
    }
    baseline = std::min(baseline, CpuSeconds(RUSAGE_CHILDREN) - childBefore);
  }
  std::printf("decode+mix of %.1f s of 192 kbit/s MP3: %.3f s CPU\n", frames / 44100.0, ours);
  std::printf("mpg123 -q -O /dev/null on the same file: %.3f s CPU\n", baseline);
  std::printf("ratio: %.2f (target <= 1.50)\n\n", ours / baseline);
}

// CPU of this process and of the server over one call of `work`.
struct TCost {
  double Player = 0, Server = 0;
};

template <typename F>
TCost Measure(const vesperon::testing::TSoundServer& server, int who, F work) {
  const double player = CpuSeconds(who), served = server.CpuSeconds();
  work();
  return {CpuSeconds(who) - player, server.CpuSeconds() - served};
}

FMOD_SYSTEM* OpenSystem() {
  setenv("VESPERON_AUDIO_OUTPUT", "pulse", 1);
  FMOD_SYSTEM* system = nullptr;
  if (FMOD_System_Create(&system) != FMOD_OK ||
      FMOD_System_Init(system, 32, 0, nullptr) != FMOD_OK) {
    std::fprintf(stderr, "the pulse output did not open\n");
    std::exit(1);
  }
  return system;
}

// Plays the file to its end as the player does.
void PlayThrough(FMOD_SYSTEM* system, const fs::path& mp3) {
  FMOD_SOUND* sound = nullptr;
  FMOD_CHANNEL* channel = nullptr;
  FMOD_OPENSTATE state = FMOD_OPENSTATE_LOADING;
  FMOD_System_CreateSound(system, mp3.c_str(),
                          FMOD_NONBLOCKING | FMOD_ACCURATETIME | FMOD_CREATESTREAM, nullptr,
                          &sound);
  while (FMOD_Sound_GetOpenState(sound, &state, nullptr, nullptr) == FMOD_OK &&
         state == FMOD_OPENSTATE_LOADING)
    std::this_thread::sleep_for(10ms);
  FMOD_System_PlaySound(system, FMOD_CHANNEL_FREE, sound, 0, &channel);
  // The player polls about every 2 ms; the benchmark's polls cost little.
  FMOD_BOOL playing = 1;
  while (FMOD_Channel_IsPlaying(channel, &playing) == FMOD_OK && playing)
    std::this_thread::sleep_for(50ms);
  FMOD_Sound_Release(sound);
}

void BenchPulse(const fs::path& dir, int seconds) {
  vesperon::testing::TSoundServer server("s16le", true);
  if (!server.Start()) {
    std::fprintf(stderr, "pulseaudio did not start (see %s)\n", server.Folder().c_str());
    std::exit(1);
  }
  server.UseInThisProcess();
  const fs::path mp3 = dir / "play.mp3";
  if (!MakeMp3(mp3, seconds)) std::exit(1);

  // The best of two rounds of each, alternating; the player's round
  // includes connecting and closing, as mpg123's does.
  TCost ours{1e9, 1e9}, mpg123{1e9, 1e9};
  for (int round = 0; round < 2; ++round) {
    const TCost a = Measure(server, RUSAGE_SELF, [&] {
      FMOD_SYSTEM* system = OpenSystem();
      PlayThrough(system, mp3);
      FMOD_System_Release(system);
    });
    const TCost b =
        Measure(server, RUSAGE_CHILDREN, [&] { Run("mpg123 -q -o pulse " + mp3.string()); });
    ours = {std::min(ours.Player, a.Player), std::min(ours.Server, a.Server)};
    mpg123 = {std::min(mpg123.Player, b.Player), std::min(mpg123.Server, b.Server)};
  }
  std::printf("playing %d s of 192 kbit/s MP3 through PulseAudio (16-bit null sink):\n", seconds);
  std::printf("  player: %.3f s CPU, server: %.3f s CPU\n", ours.Player, ours.Server);
  std::printf("  mpg123 -q -o pulse: %.3f s CPU, server: %.3f s CPU\n", mpg123.Player,
              mpg123.Server);
  std::printf("  ratio player: %.2f (target <= 1.20), ratio server: %.2f (target <= 1.20)\n\n",
              ours.Player / mpg123.Player, ours.Server / mpg123.Server);

  // Open, one short play, then ten seconds of nothing.
  FMOD_SYSTEM* system = OpenSystem();
  const fs::path blip = dir / "blip.mp3";
  if (!MakeMp3(blip, 1)) std::exit(1);
  PlayThrough(system, blip);
  std::this_thread::sleep_for(500ms);
  const TCost idle = Measure(server, RUSAGE_SELF, [] { std::this_thread::sleep_for(10s); });
  std::printf(
      "10 s open with nothing playing: player %.4f s CPU, server %.4f s CPU (target: none "
      "measurable)\n",
      idle.Player, idle.Server);
  FMOD_System_Release(system);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const fs::path dir =
      fs::temp_directory_path() / ("vesperon-bench-audio-" + std::to_string(getpid()));
  fs::create_directories(dir);
  if (argc < 3 || std::string(argv[2]) != "pulse") BenchDecodeAndMix(dir);
  BenchPulse(dir, seconds);
  fs::remove_all(dir);
  return 0;
}
