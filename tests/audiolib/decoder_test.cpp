// Decoders: every format opens with the exact length of what it decodes,
// and the samples match the source where the format is lossless.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>

#include "audiolib/decoder.h"
#include "audiolib/voice.h"
#include "test_media.h"

namespace vesperon::audiolib {
namespace {

using testing::TPcm;
using testing::TTempDir;

// Decodes the whole stream and returns its frames.
std::vector<float> DecodeAll(TDecoder& d) {
  std::vector<float> all, buffer(1000 * static_cast<size_t>(d.Info().Channels));
  size_t n;
  while ((n = d.Read(buffer.data(), 1000)) > 0)
    all.insert(all.end(), buffer.begin(),
               buffer.begin() + static_cast<long>(n) * d.Info().Channels);
  return all;
}

std::unique_ptr<TDecoder> Open(const std::filesystem::path& path, bool accurate = true) {
  FMOD_RESULT error = FMOD_OK;
  auto d = OpenDecoder(path.string(), accurate, error);
  EXPECT_TRUE(d) << path << " error " << error;
  return d;
}

class DecoderTest : public ::testing::Test {
 protected:
  TTempDir Dir;
};

TEST_F(DecoderTest, LosslessFormatsDecodeTheSourceExactly) {
  const TPcm tone = testing::Tone(440, 0.5, 44100, 2);
  for (int format : {SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_FLAC | SF_FORMAT_PCM_24}) {
    const auto path = Dir / ("tone" + std::to_string(format));
    testing::WriteSound(path, tone, format);
    auto d = Open(path);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Info().Frames, tone.Frames());
    EXPECT_TRUE(d->Info().Exact);
    const std::vector<float> got = DecodeAll(*d);
    ASSERT_EQ(got.size(), tone.Samples.size());
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_NEAR(got[i], tone.Samples[i], 1e-6) << "sample " << i;
  }
}

TEST_F(DecoderTest, LossyFormatsReportTheDecodedFrameCount) {
  const TPcm tone = testing::Tone(440, 1.25, 48000, 2);
  const auto opus = Dir / "tone.opus", ogg = Dir / "tone.ogg", mp3 = Dir / "tone.mp3";
  testing::WriteSound(opus, tone, SF_FORMAT_OGG | SF_FORMAT_OPUS);
  testing::WriteSound(ogg, tone, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
  testing::WriteSound(mp3, tone, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
  for (const auto& path : {opus, ogg, mp3}) {
    auto d = Open(path);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Info().Rate, 48000) << path;
    EXPECT_EQ(d->Info().Channels, 2) << path;
    EXPECT_EQ(d->Info().Frames, tone.Frames()) << path;
    EXPECT_EQ(DecodeAll(*d).size() / 2, d->Info().Frames) << path;
  }
}

// lame writes the encoder delay and padding into its header; the length is
// that of the source, not of the padded frames nor an estimate.
TEST_F(DecoderTest, LameMp3OfSevenPointThreeSecondsIs7300Ms) {
  const auto wav = Dir / "tone.wav", mp3 = Dir / "tone.mp3";
  testing::WriteSound(wav, testing::Tone(440, 7.3, 44100, 2), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  testing::RunTool("lame --quiet -b 192 " + wav.string() + " " + mp3.string());
  auto d = Open(mp3);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Info().Frames * 1000 / static_cast<uint64_t>(d->Info().Rate), 7300u);
  EXPECT_EQ(DecodeAll(*d).size() / 2, d->Info().Frames);
}

// Without lame's header a variable-rate file gives no length but its size;
// the accurate open scans it, so the length is what decoding yields.
TEST_F(DecoderTest, VariableRateMp3WithoutHeaderIsScannedForItsLength) {
  const auto wav = Dir / "tone.wav", mp3 = Dir / "vbr.mp3";
  testing::WriteSound(wav, testing::Tone(440, 3.0, 44100, 2), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  testing::RunTool("lame --quiet -t -V 4 " + wav.string() + " " + mp3.string());
  auto d = Open(mp3, true);
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->Info().Exact);
  const size_t decoded = DecodeAll(*d).size() / 2;
  EXPECT_EQ(d->Info().Frames, decoded);
  EXPECT_GE(decoded, 3 * 44100u);  // all of it, not the start only
}

TEST_F(DecoderTest, Mp2FromSoxOpens) {
  const auto wav = Dir / "tone.wav", mp2 = Dir / "tone.mp2";
  testing::WriteSound(wav, testing::Tone(440, 1.0, 44100, 2), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  testing::RunTool("sox " + wav.string() + " -C 192 " + mp2.string());
  auto d = Open(mp2);
  ASSERT_TRUE(d);
  EXPECT_EQ(DecodeAll(*d).size() / 2, d->Info().Frames);
  EXPECT_NEAR(static_cast<double>(d->Info().Frames), 44100.0, 1152.0);
}

// No MP1 encoder ships with Debian; a Layer I frame whose bit allocation is
// all zero is valid silence, so the test writes such frames itself.
TEST_F(DecoderTest, Mp1SilentFramesOpen) {
  const auto mp1 = Dir / "silence.mp1";
  // MPEG-1 Layer I, no CRC, 32 kbit/s, 32 kHz, mono: 12 * 32000 / 32000 = 12
  // slots of 4 bytes = 48 bytes per frame.
  const unsigned char header[4] = {0xFF, 0xFF, 0x18, 0xC0};
  std::ofstream out(mp1, std::ios::binary);
  for (int frame = 0; frame < 100; ++frame) {
    out.write(reinterpret_cast<const char*>(header), 4);
    for (int i = 0; i < 44; ++i) out.put('\0');
  }
  out.close();
  auto d = Open(mp1);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Info().Rate, 32000);
  EXPECT_EQ(d->Info().Channels, 1);
  const std::vector<float> pcm = DecodeAll(*d);
  EXPECT_EQ(pcm.size(), d->Info().Frames);
  EXPECT_NEAR(static_cast<double>(pcm.size()), 100.0 * 384, 384.0);
  for (float s : pcm) ASSERT_EQ(s, 0.0f);
}

TEST_F(DecoderTest, RewindStartsOver) {
  const auto wav = Dir / "tone.wav";
  testing::WriteSound(wav, testing::Tone(440, 0.2), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  auto d = Open(wav);
  ASSERT_TRUE(d);
  const auto first = DecodeAll(*d);
  ASSERT_TRUE(d->Rewind());
  EXPECT_EQ(DecodeAll(*d), first);
}

TEST_F(DecoderTest, MissingFileAndFolderAreNotFound) {
  FMOD_RESULT error = FMOD_OK;
  EXPECT_FALSE(OpenDecoder((Dir / "nothing.mp3").string(), true, error));
  EXPECT_EQ(error, FMOD_ERR_FILE_NOTFOUND);
  EXPECT_FALSE(OpenDecoder(Dir.Path().string(), true, error));
  EXPECT_EQ(error, FMOD_ERR_FILE_NOTFOUND);
}

// --- conversion to the output's stereo at its rate ---

// Counts upward zero crossings of the left channel, per second.
double Frequency(const std::vector<float>& stereo, int rate) {
  size_t crossings = 0, first = 0, last = 0;
  for (size_t i = 1; i < stereo.size() / 2; ++i) {
    if (stereo[2 * (i - 1)] < 0 && stereo[2 * i] >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  return crossings < 2
             ? 0.0
             : (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

TEST_F(DecoderTest, VoiceConvertsRateAndChannelsKeepingPitchAndDuration) {
  struct TCase {
    int Rate, Channels;
  };
  for (TCase c : {TCase{22050, 1}, TCase{48000, 2}, TCase{44100, 1}}) {
    const auto path = Dir / ("tone" + std::to_string(c.Rate) + ".wav");
    testing::WriteSound(path, testing::Tone(1000, 1.0, c.Rate, c.Channels),
                        SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    auto d = Open(path);
    ASSERT_TRUE(d);
    TVoiceSource source(*d, 44100);
    std::vector<float> out(2 * 50000);
    const size_t got = source.Pull(out.data(), 50000);
    EXPECT_TRUE(source.Ended());
    EXPECT_NEAR(static_cast<double>(got), 44100.0, 64.0) << c.Rate;
    out.resize(2 * got);
    EXPECT_NEAR(Frequency(out, 44100), 1000.0, 2.0) << c.Rate;
    for (size_t i = 0; i < got; ++i)
      ASSERT_EQ(out[2 * i], out[2 * i + 1]) << "both sides carry the tone";
  }
}

TEST(MapToStereoTest, MonoGoesToBothSidesAtFullLevelAndStereoStaysAsIs) {
  const float mono[] = {0.25f, -0.5f};
  float out[4];
  MapToStereo(mono, 1, 2, out);
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{0.25f, 0.25f, -0.5f, -0.5f}));
  const float stereo[] = {0.1f, 0.2f, 0.3f, 0.4f};
  MapToStereo(stereo, 2, 2, out);
  EXPECT_EQ(std::vector<float>(out, out + 4), std::vector<float>(stereo, stereo + 4));
}

}  // namespace
}  // namespace vesperon::audiolib
