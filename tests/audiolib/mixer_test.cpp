// The mixer: volumes, sums, master gain and the ramps that keep pauses and
// stops free of clicks.
#include <gtest/gtest.h>

#include <cmath>

#include "audiolib/mixer.h"

namespace vesperon::audiolib {
namespace {

// A decoder over samples in memory, stereo at 44.1 kHz.
class TMemoryDecoder final : public TDecoder {
 public:
  explicit TMemoryDecoder(std::vector<float> samples, int rate = 44100)
      : FSamples(std::move(samples)) {
    FInfo = {rate, 2, FSamples.size() / 2, true};
  }
  size_t Read(float* frames, size_t count) override {
    const size_t n = std::min(count, FSamples.size() / 2 - FPos);
    std::copy_n(FSamples.data() + 2 * FPos, 2 * n, frames);
    FPos += n;
    return n;
  }
  bool Rewind() override {
    FPos = 0;
    return true;
  }

 private:
  std::vector<float> FSamples;
  size_t FPos = 0;
};

std::shared_ptr<TDecoder> ConstantSound(float value, size_t frames) {
  return std::make_shared<TMemoryDecoder>(std::vector<float>(2 * frames, value));
}

// Mixes `voices` for `blocks` blocks of 256 frames with fixed requests.
std::vector<float> MixBlocks(TMixer& mixer, std::vector<TVoice*> voices,
                             std::vector<TVoiceRequest> requests, float master, int blocks,
                             std::vector<size_t>* consumedTotal = nullptr) {
  std::vector<float> all, block(512);
  std::vector<size_t> consumed;
  for (int b = 0; b < blocks; ++b) {
    mixer.Mix(voices, requests, master, block.data(), 256, consumed);
    all.insert(all.end(), block.begin(), block.end());
    if (consumedTotal) {
      consumedTotal->resize(consumed.size());
      for (size_t i = 0; i < consumed.size(); ++i) (*consumedTotal)[i] += consumed[i];
    }
  }
  return all;
}

TEST(MixerTest, ThirtyTwoVoicesSumWithTheirVolumesAndNothingWrapsAboveFullScale) {
  std::vector<std::unique_ptr<TVoice>> owned;
  std::vector<TVoice*> voices;
  std::vector<TVoiceRequest> requests;
  for (int i = 0; i < 32; ++i) {
    owned.push_back(std::make_unique<TVoice>(ConstantSound(0.1f, 10000), 44100));
    voices.push_back(owned.back().get());
    requests.push_back({i % 2 == 0 ? 1.0f : 0.5f, false, false});
  }
  TMixer mixer;
  const std::vector<float> out = MixBlocks(mixer, voices, requests, 1.0f, 4);
  // 16 x 0.1 + 16 x 0.05 = 2.4: well above full scale, and still positive.
  for (float s : out) ASSERT_NEAR(s, 2.4f, 1e-5);
}

TEST(MixerTest, MasterVolumeScalesTheSumAndMovesInARamp) {
  TVoice voice(ConstantSound(0.5f, 100000), 44100);
  TMixer mixer(1.0f);
  const std::vector<float> out = MixBlocks(mixer, {&voice}, {{1.0f, false, false}}, 0.25f, 2);
  EXPECT_NEAR(out.front(), 0.5f * (1.0f - 1.0f / kRampFrames), 1e-6);  // first ramp step
  for (size_t i = 2 * kRampFrames; i < out.size(); ++i) ASSERT_NEAR(out[i], 0.125f, 1e-6);
}

TEST(MixerTest, StopFadesOutWithinTheRampAndThenSilencesTheVoice) {
  TVoice voice(ConstantSound(0.8f, 100000), 44100);
  TMixer mixer;
  MixBlocks(mixer, {&voice}, {{1.0f, false, false}}, 1.0f, 1);
  std::vector<size_t> consumed;
  const std::vector<float> out =
      MixBlocks(mixer, {&voice}, {{1.0f, false, true}}, 1.0f, 2, &consumed);
  EXPECT_EQ(consumed[0], static_cast<size_t>(kRampFrames));
  float previous = 0.8f;
  for (size_t i = 0; i < out.size(); i += 2) {
    ASSERT_LE(std::fabs(out[i] - previous), 0.8f / kRampFrames + 1e-6) << "frame " << i / 2;
    previous = out[i];
  }
  EXPECT_EQ(out[2 * kRampFrames], 0.0f);
  EXPECT_TRUE(voice.Silenced());
}

TEST(MixerTest, PauseAndResumeLoseNoFramesOfTheSound) {
  const size_t length = 3000;
  TVoice voice(ConstantSound(0.5f, length), 44100);
  TMixer mixer;
  std::vector<size_t> consumed;
  MixBlocks(mixer, {&voice}, {{1.0f, false, false}}, 1.0f, 2, &consumed);
  const std::vector<float> paused =
      MixBlocks(mixer, {&voice}, {{1.0f, true, false}}, 1.0f, 3, &consumed);
  EXPECT_EQ(paused.back(), 0.0f);
  EXPECT_FALSE(voice.Silenced());
  MixBlocks(mixer, {&voice}, {{1.0f, false, false}}, 1.0f, 20, &consumed);
  EXPECT_EQ(consumed[0], length);
  EXPECT_TRUE(voice.Ended());
}

TEST(MixerTest, AVoiceStartedPausedBeginsAtItsVolumeWhenResumed) {
  TVoice voice(ConstantSound(0.5f, 10000), 44100);
  TMixer mixer;
  const std::vector<float> silent = MixBlocks(mixer, {&voice}, {{0.5f, true, false}}, 1.0f, 1);
  for (float s : silent) ASSERT_EQ(s, 0.0f);
  const std::vector<float> out = MixBlocks(mixer, {&voice}, {{0.5f, false, false}}, 1.0f, 1);
  EXPECT_FLOAT_EQ(out[0], 0.25f);  // no ramp over the sound's own onset
}

// A sound whose every sample differs, so that a frame out of place shows.
std::shared_ptr<TDecoder> RisingSound(size_t frames, int rate) {
  std::vector<float> samples(2 * frames);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = std::sin(0.001f * static_cast<float>(i)) * 0.5f;
  return std::make_shared<TMemoryDecoder>(std::move(samples), rate);
}

// Going back to a state taken between two blocks renders the same frames
// again, through the end of the sound and the resampler alike, with no
// frame lost or doubled, and a fade in between comes out the same.
TEST(MixerTest, AVoiceGoneBackToAnEarlierStateRendersTheSameFramesAgain) {
  for (int rate : {44100, 32000}) {
    SCOPED_TRACE(rate);
    TVoice voice(RisingSound(rate == 44100 ? 1200 : 900, rate), 44100);
    TMixer mixer;
    std::vector<size_t> consumed;
    MixBlocks(mixer, {&voice}, {{1.0f, false, false}}, 1.0f, 2, &consumed);
    const TVoice::TState mid = voice.State();
    const float master = mixer.MasterGain();
    std::vector<size_t> first(1), again(1);
    const std::vector<float> played =
        MixBlocks(mixer, {&voice}, {{0.5f, false, false}}, 1.0f, 6, &first);
    EXPECT_TRUE(voice.Ended());
    voice.Restore(mid);
    mixer.SetMasterGain(master);
    EXPECT_FALSE(voice.Ended());
    const std::vector<float> replayed =
        MixBlocks(mixer, {&voice}, {{0.5f, false, false}}, 1.0f, 6, &again);
    EXPECT_EQ(again, first);
    ASSERT_EQ(replayed.size(), played.size());
    for (size_t i = 0; i < played.size(); ++i) ASSERT_EQ(replayed[i], played[i]) << "sample " << i;
    EXPECT_TRUE(voice.Ended());
  }
}

TEST(MixerTest, AVoiceGoesBackNoFurtherThanWhatIsNotYetHeard) {
  TVoice voice(RisingSound(40000, 44100), 44100);
  TMixer mixer;
  MixBlocks(mixer, {&voice}, {{1.0f, false, false}}, 1.0f, 101);
  voice.Forget(25600);
  voice.Restore({});  // asks for the very start, which is forgotten
  EXPECT_EQ(voice.State().Pulled, 25600u);
  const std::vector<float> out = MixBlocks(mixer, {&voice}, {{1.0f, false, false}}, 1.0f, 1);
  EXPECT_FLOAT_EQ(out[0], std::sin(0.001f * 2 * 25600) * 0.5f)
      << "renders on from the oldest frame kept";
}

}  // namespace
}  // namespace vesperon::audiolib
