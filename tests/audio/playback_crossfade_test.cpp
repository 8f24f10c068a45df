// A crossfade recorded through the library's wav output: song A sounds only
// in the left channel, song B only in the right, so each channel of the
// recording is one song's volume envelope.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <unistd.h>

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
  int FirstTime(const std::vector<double>& channel, int fromMs, bool above, double threshold) const {
    for (size_t i = static_cast<size_t>(fromMs / kWindowMs); i < channel.size(); ++i) {
      if ((channel[i] > threshold) == above) return static_cast<int>(i) * kWindowMs;
    }
    return -1;
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

class CrossfadeRecordingTest : public PlaybackTest {
 protected:
  CrossfadeRecordingTest() : PlaybackTest("wav:" + RecordingPath().string()) {}
  void TearDown() override {
    PlaybackTest::TearDown();
    std::filesystem::remove(RecordingPath());
  }
};

TEST_F(CrossfadeRecordingTest, OldSongFallsAndNewSongRisesLinearlyOverTheFadeTimes) {
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
  // The length of a fade is measured on its middle part (from 25% to 75%
  // of full level), since the volume changes in the mixer's block steps.
  const int aStart = e.FirstTime(e.Left, 0, true, 0.02);
  const int aRise25 = e.FirstTime(e.Left, aStart, true, 0.25);
  const int aRise75 = e.FirstTime(e.Left, aRise25, true, 0.75);
  const int aFull = e.FirstTime(e.Left, aRise75, true, 0.97);
  const int aFalls = e.FirstTime(e.Left, aFull, false, 0.97);
  const int aFall75 = e.FirstTime(e.Left, aFalls, false, 0.75);
  const int aFall25 = e.FirstTime(e.Left, aFall75, false, 0.25);
  const int bStart = e.FirstTime(e.Right, 0, true, 0.02);
  const int bRise25 = e.FirstTime(e.Right, bStart, true, 0.25);
  const int bRise75 = e.FirstTime(e.Right, bRise25, true, 0.75);
  ASSERT_GE(aStart, 0);
  ASSERT_GE(aFall25, 0);
  ASSERT_GE(bRise75, 0);

  // A rises over 300 ms, plays at full volume until 400 ms before its end
  // and falls linearly over those 400 ms.
  EXPECT_NEAR(2 * (aRise75 - aRise25), 300, 20);
  EXPECT_NEAR(e.At(e.Left, aStart + 150), 0.5, 0.1);
  EXPECT_NEAR(aFalls - aStart, 600, 20);
  EXPECT_NEAR(2 * (aFall25 - aFall75), 400, 20);
  EXPECT_NEAR(e.At(e.Left, aFalls + 200), 0.5, 0.1);
  // B starts as A begins to fall (after an open of a few 10 ms polls), from
  // silence with no full-volume burst, and rises linearly over 300 ms.
  EXPECT_GE(bStart, aFalls - 10);
  EXPECT_LE(bStart, aFalls + 40);
  EXPECT_LT(e.At(e.Right, bStart), 0.1);
  EXPECT_NEAR(2 * (bRise75 - bRise25), 300, 20);
  EXPECT_NEAR(e.At(e.Right, bStart + 150), 0.5, 0.1);
  EXPECT_GT(e.At(e.Right, bStart + 350), 0.95);
}

}  // namespace
}  // namespace vesperon::testing
