// A crossfade recorded through the library's wav output: song A sounds only
// in the left channel, song B only in the right, so each channel of the
// recording is one song's volume envelope.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "audio/audio_binding.h"
#include "core/paths.h"
#include "core/settings.h"
#include "playback_fixture.h"

namespace vesperon::testing {
namespace {

constexpr int kWindowMs = 5;

std::filesystem::path RecordingPath() {
  return TempDir() / ("vesperon-crossfade-" + std::to_string(::getpid()) + ".wav");
}

// Where a fade starts and ends, in milliseconds of the recording.
struct TRamp {
  double Start = -1, End = -1;
  double Length() const { return End - Start; }
};

// Peak level of each channel in windows of kWindowMs, scaled so that the
// loudest window is 1.0.
struct TEnvelope {
  std::vector<double> Left, Right;

  double At(const std::vector<double>& channel, int ms) const {
    const size_t i = static_cast<size_t>(std::max(ms, 0) / kWindowMs);
    return i < channel.size() ? channel[i] : 0.0;
  }
  // The first time from `fromMs` on at which the level is above (rising) or
  // below (falling) the threshold; -1 when never.
  int FirstTime(const std::vector<double>& channel, int fromMs, bool above,
                double threshold) const {
    for (size_t i = static_cast<size_t>(fromMs / kWindowMs); i < channel.size(); ++i) {
      if ((channel[i] > threshold) == above) return static_cast<int>(i) * kWindowMs;
    }
    return -1;
  }
  // The linear fade from silence to full level (or back) that passes
  // through `fromMs`: a least-squares line through the windows between 15%
  // and 85% of full level, extended to where it starts and ends.
  TRamp Ramp(const std::vector<double>& channel, int fromMs, bool rising) const {
    const int begin = FirstTime(channel, fromMs, rising, rising ? 0.15 : 0.85);
    const int end = FirstTime(channel, begin, rising, rising ? 0.85 : 0.15);
    if (begin < 0 || end <= begin) return TRamp{};
    double n = 0, st = 0, sv = 0, stt = 0, stv = 0;
    for (int t = begin; t < end; t += kWindowMs) {
      const double v = At(channel, t);
      n += 1;
      st += t;
      sv += v;
      stt += static_cast<double>(t) * t;
      stv += t * v;
    }
    const double slope = (n * stv - st * sv) / (n * stt - st * st);
    const double offset = (sv - slope * st) / n;
    const double atSilence = -offset / slope, atFull = (1.0 - offset) / slope;
    return rising ? TRamp{atSilence, atFull} : TRamp{atFull, atSilence};
  }
};

TEnvelope ReadEnvelope(const std::filesystem::path& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  TEnvelope envelope;
  if (file == nullptr || info.channels != 2) return envelope;
  const sf_count_t window = info.samplerate * kWindowMs / 1000;
  std::vector<float> frames(static_cast<size_t>(window) * 2);
  while (sf_readf_float(file, frames.data(), window) == window) {
    double left = 0, right = 0;
    for (sf_count_t i = 0; i < window; ++i) {
      left = std::max(left, std::fabs(static_cast<double>(frames[2 * i])));
      right = std::max(right, std::fabs(static_cast<double>(frames[2 * i + 1])));
    }
    envelope.Left.push_back(left);
    envelope.Right.push_back(right);
  }
  sf_close(file);
  for (std::vector<double>* channel : {&envelope.Left, &envelope.Right}) {
    const double peak = *std::max_element(channel->begin(), channel->end());
    for (double& v : *channel) v /= peak;
  }
  return envelope;
}

class CrossfadeRecordingTest : public PlaybackTest, public ::testing::WithParamInterface<bool> {
 protected:
  CrossfadeRecordingTest() : PlaybackTest("wav:" + RecordingPath().string()) {}
  void TearDown() override {
    PlaybackTest::TearDown();
    std::filesystem::remove(RecordingPath());
  }
};

// Stepping every 2 ms, or sleeping between steps as long as the player
// allows (the main loop while nothing else happens): the same fades.
INSTANTIATE_TEST_SUITE_P(Loops, CrossfadeRecordingTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? "SleepingLoop" : "TwoMsLoop";
});

TEST_P(CrossfadeRecordingTest, OldSongFallsAndNewSongRisesLinearlyOverTheFadeTimes) {
  SleepLikeTheMainLoop = GetParam();
  gSettings.Crossfade = true;
  gSettings.CrossfadeInTime = 300;
  gSettings.CrossfadeOutTime = 400;
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));  // 1000 ms, left
  Player.Enqueue(Song("b.wav"));                     // 800 ms, right
  Player.Play();
  RunSteps(2500, [&] { return Player.History.size() == 2 && !LibraryPlays(Player.Current()); });
  CloseAudio();

  const TEnvelope e = ReadEnvelope(RecordingPath());
  ASSERT_FALSE(e.Left.empty());
  // The ramps are measured on their middle part and extended, since the
  // volume changes in the mixer's block steps.
  const int aStart = e.FirstTime(e.Left, 0, true, 0.02);
  const int aFull = e.FirstTime(e.Left, aStart, true, 0.97);
  const int bStart = e.FirstTime(e.Right, 0, true, 0.02);
  ASSERT_GE(aFull, 0);
  ASSERT_GE(bStart, 0);
  const TRamp aIn = e.Ramp(e.Left, aStart, true);
  const TRamp aOut = e.Ramp(e.Left, aFull, false);
  const TRamp bIn = e.Ramp(e.Right, bStart, true);

  if (std::getenv("VESPERON_PRINT_ENVELOPE"))
    std::fprintf(
        stderr, "ramps: A in %.1f, A out %.1f after %.1f, B in %.1f starting %.1f after A's fall\n",
        aIn.Length(), aOut.Length(), aOut.Start - aIn.Start, bIn.Length(), bIn.Start - aOut.Start);
  // A rises over 300 ms, plays at full volume until 400 ms before its end
  // and falls linearly over those 400 ms.
  EXPECT_NEAR(aIn.Length(), 300, 20);
  EXPECT_NEAR(e.At(e.Left, static_cast<int>(aIn.Start) + 150), 0.5, 0.1);
  EXPECT_NEAR(aOut.Start - aIn.Start, 600, 20);
  EXPECT_NEAR(aOut.Length(), 400, 20);
  // B starts as A begins to fall (after an open of a few 10 ms polls), from
  // silence with no full-volume burst, and rises linearly over 300 ms.
  EXPECT_GE(bIn.Start, aOut.Start - 10);
  EXPECT_LE(bIn.Start, aOut.Start + 60);
  EXPECT_LT(e.At(e.Right, bStart), 0.1);
  EXPECT_NEAR(bIn.Length(), 300, 20);
  EXPECT_NEAR(e.At(e.Right, static_cast<int>(bIn.Start) + 150), 0.5, 0.1);
  EXPECT_GT(e.At(e.Right, static_cast<int>(bIn.End) + 50), 0.95);
}

// A fade of 2 s is stepped every 4 ms by a loop that sleeps as long as the
// player allows, yet the heard fade is as straight as one stepped every
// 2 ms: the mixer takes a new volume only once per block (11.6 ms).
TEST_F(CrossfadeRecordingTest, LongFadeInSteppedLessOftenRisesLinearly) {
  SleepLikeTheMainLoop = true;
  gSettings.Crossfade = true;
  gSettings.CrossfadeInTime = 2000;
  gSettings.CrossfadeOutTime = 400;
  ASSERT_TRUE(Player.OpenStream(Song("long.wav"), 0));  // 4000 ms
  Player.Play();
  RunSteps(2200);
  // Every 2 ms that would be some 1100 steps.
  EXPECT_LT(StepsRun, 700);
  CloseAudio();

  const TEnvelope e = ReadEnvelope(RecordingPath());
  ASSERT_FALSE(e.Left.empty());
  const int start = e.FirstTime(e.Left, 0, true, 0.02);
  ASSERT_GE(start, 0);
  const TRamp in = e.Ramp(e.Left, start, true);
  EXPECT_NEAR(in.Length(), 2000, 30);
  // No step shows: each window lies on the straight line within less than
  // two of the fade's 1/500 steps and the level never falls back.
  double previous = 0, worst = 0;
  for (int t = static_cast<int>(in.Start) + 100; t < static_cast<int>(in.End) - 100;
       t += kWindowMs) {
    const double expected = (t - in.Start) / in.Length();
    EXPECT_NEAR(e.At(e.Left, t), expected, 0.012) << "at " << t << " ms";
    EXPECT_GE(e.At(e.Left, t), previous - 0.002) << "at " << t << " ms";
    previous = e.At(e.Left, t);
    worst = std::max(worst, std::fabs(previous - expected));
  }
  if (std::getenv("VESPERON_PRINT_ENVELOPE"))
    std::fprintf(stderr, "ramp %.1f ms, farthest from the line %.4f, %d steps\n", in.Length(),
                 worst, StepsRun);
}

}  // namespace
}  // namespace vesperon::testing
