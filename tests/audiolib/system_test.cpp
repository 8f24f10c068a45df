// The library through its C interface: real files played to the wav output
// and compared with their decoded source, positions against the wall clock
// on the null output, channel reuse, open states and stale handles.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "audiolib/audiolib.h"
#include "core/text.h"
#include "library_fixture.h"
#include "test_media.h"

namespace vesperon::audiolib {
namespace {

using namespace std::chrono_literals;
using namespace testing;

class SystemTest : public testing::LibraryTest {
 protected:
  void StartRecording() { Start("wav:" + (Dir / "recording.wav").string()); }
  // Closes the system (which finishes the file) and reads the recording.
  TPcm StopRecording() {
    EXPECT_EQ(FMOD_System_Close(System), FMOD_OK);
    return testing::ReadSound(Dir / "recording.wav");
  }
};

TEST_F(SystemTest, RecordingIsTheSourceScaledByChannelAndMasterVolume) {
  StartRecording();
  const TPcm tone = testing::Tone(440, 0.4);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", tone);
  ASSERT_EQ(FMOD_ChannelGroup_SetVolume(Master, 0.8f), FMOD_OK);
  std::this_thread::sleep_for(30ms);  // the master ramp runs on silence
  FMOD_CHANNEL* channel = Play(sound, 0.5f);
  WaitUntilDone(channel);
  const TPcm rec = StopRecording();
  const size_t at = FindStart(rec, tone, 0.4f);
  EXPECT_LT(Mismatch(rec, tone, at, 0.4f, tone.Frames()), 1e-5f);
  // Before and after: silence. No clicks at either end.
  EXPECT_EQ(FirstAudible(rec, 0, 0.0f), at + 1);
  EXPECT_EQ(FirstAudible(rec, at + tone.Frames(), 0.0f), rec.Frames());
  EXPECT_LE(MaxStep(rec), 0.4f * MaxStep(tone) + 1e-5f);
}

TEST_F(SystemTest, TwoChannelsOverlappingAreSummed) {
  StartRecording();
  PlayTwoOverlapping();
  ExpectTwoOverlappingSummed(StopRecording());
}

TEST_F(SystemTest, Mp3AndOggPlayAsTheirDecodedSource) {
  StartRecording();
  const TPcm tone = testing::Tone(440, 0.5);
  testing::WriteSound(Dir / "tone.wav", tone, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  testing::RunTool("lame --quiet -b 192 " + (Dir / "tone.wav").string() + " " +
                   (Dir / "tone.mp3").string());
  testing::RunTool("sox " + (Dir / "tone.wav").string() + " " + (Dir / "tone.ogg").string());
  for (const char* name : {"tone.mp3", "tone.ogg"}) {
    const TPcm decoded = testing::ReadSound(Dir / name);  // libsndfile's decoding
    ASSERT_EQ(decoded.Frames(), tone.Frames()) << name;
    FMOD_CHANNEL* channel = Play(OpenReady(Dir / name), 1.0f);
    WaitUntilDone(channel);
  }
  TPcm rec = StopRecording();
  size_t from = 0;
  for (const char* name : {"tone.mp3", "tone.ogg"}) {
    const TPcm decoded = testing::ReadSound(Dir / name);
    const size_t at = FindStart(rec, decoded, 1.0f, from);
    EXPECT_LT(Mismatch(rec, decoded, at, 1.0f, decoded.Frames()), 1e-4f) << name;
    from = at + decoded.Frames();
  }
}

TEST_F(SystemTest, StopAndPauseFadeWithoutClicksAndPauseKeepsThePlace) {
  StartRecording();
  const TPcm tone = testing::Tone(440, 0.5);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", tone);
  FMOD_CHANNEL* channel = Play(sound, 1.0f);
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(FMOD_Channel_SetPaused(channel, 1), FMOD_OK);
  std::this_thread::sleep_for(100ms);
  unsigned pausedAt = 0, later = 0;
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &pausedAt, FMOD_TIMEUNIT_MS), FMOD_OK);
  std::this_thread::sleep_for(50ms);
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &later, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_EQ(pausedAt, later);
  ASSERT_EQ(FMOD_Channel_SetPaused(channel, 0), FMOD_OK);
  WaitUntilDone(channel);
  // A second play of the same sound, stopped in the middle.
  FMOD_CHANNEL* second = Play(sound, 1.0f);
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(FMOD_Channel_Stop(second), FMOD_OK);
  FMOD_BOOL playing = 1;
  ASSERT_EQ(FMOD_Channel_IsPlaying(second, &playing), FMOD_OK);
  EXPECT_FALSE(playing);
  std::this_thread::sleep_for(50ms);
  const TPcm rec = StopRecording();
  // A ramp of a few samples may add to the tone's own steepest step; a cut
  // would jump by up to the amplitude.
  EXPECT_LE(MaxStep(rec), MaxStep(tone) + 0.5f / 16);
  // The first play lost nothing to its pause: the frames carrying sound add
  // up to the tone plus the second play's part.
  size_t audible = 0;
  for (size_t i = 0; i < rec.Frames(); ++i) audible += rec.Samples[2 * i] != 0.0f;
  EXPECT_GT(audible, tone.Frames());
  EXPECT_LT(audible, tone.Frames() + 44100 * 0.4);
}

// With no channel playing the mixer writes nothing and does not wake; the
// wav recording still keeps the idle time as silence, and the next start is
// whole.
TEST_F(SystemTest, IdleWavOutputSleepsKeepsTheTimelineAndLosesNoStart) {
  StartRecording();
  const TPcm tone = testing::Tone(440, 0.2);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", tone);
  WaitUntilDone(Play(sound, 1.0f));
  std::this_thread::sleep_for(100ms);
  const uint64_t before = ThreadWakeups("vesperon-mixer");
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(ThreadWakeups("vesperon-mixer"), before + 1) << "the idle mixer sleeps";
  WaitUntilDone(Play(sound, 1.0f));
  const TPcm rec = StopRecording();
  const size_t first = FindStart(rec, tone, 1.0f);
  const size_t second = FindStart(rec, tone, 1.0f, first + tone.Frames());
  EXPECT_LT(Mismatch(rec, tone, first, 1.0f, tone.Frames()), 1e-5f);
  EXPECT_LT(Mismatch(rec, tone, second, 1.0f, tone.Frames()), 1e-5f);
  EXPECT_GT(second - first - tone.Frames(), 44100u * 38 / 100)
      << "the idle time is in the recording";
}

TEST_F(SystemTest, IdleNullOutputSleepsAndPlaysOnFromTheStart) {
  Start("null");
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", testing::Tone(440, 0.1));
  WaitUntilDone(Play(sound, 1.0f));
  std::this_thread::sleep_for(100ms);
  const uint64_t before = ThreadWakeups("vesperon-mixer");
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(ThreadWakeups("vesperon-mixer"), before + 1) << "the idle mixer sleeps";
  FMOD_CHANNEL* channel = Play(sound, 1.0f);
  unsigned position = 0;
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &position, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_LT(position, 20u) << "the idle time does not count as heard";
  WaitUntilDone(channel);
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &position, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_EQ(position, 100u);
}

// The null output holds half a second like a sound server: the mixer wakes
// a few times a second, not for every block, and a pause still holds the
// position at once (what is queued is taken back).
TEST_F(SystemTest, PlayingOnTheNullOutputWakesTheMixerAFewTimesASecond) {
  Start("null");
  FMOD_CHANNEL* channel = Play(WriteAndOpen("tone.wav", testing::Tone(440, 3.0)), 1.0f);
  std::this_thread::sleep_for(700ms);
  const uint64_t before = ThreadWakeups("vesperon-mixer");
  std::this_thread::sleep_for(1s);
  EXPECT_LT(ThreadWakeups("vesperon-mixer"), before + 25)
      << "a block is 12 ms: 86 wake-ups a second before";
  ASSERT_EQ(FMOD_Channel_SetPaused(channel, 1), FMOD_OK);
  unsigned paused = 0, later = 0;
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &paused, FMOD_TIMEUNIT_MS), FMOD_OK);
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &later, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_LE(later, paused + 30) << "the pause holds the position within a block";
}

TEST_F(SystemTest, DifferentRatesAndChannelCountsPlayAtTheRightPitch) {
  StartRecording();
  FMOD_SOUND* mono22 = WriteAndOpen("mono22.wav", testing::Tone(1000, 0.3, 22050, 1));
  FMOD_SOUND* stereo48 = WriteAndOpen("stereo48.wav", testing::Tone(1000, 0.3, 48000, 2));
  WaitUntilDone(Play(mono22, 1.0f));
  WaitUntilDone(Play(stereo48, 1.0f));
  const TPcm rec = StopRecording();
  // Two bursts of 0.3 s of 1 kHz: 600 upward zero crossings at 44.1 kHz.
  size_t crossings = 0, audible = 0;
  for (size_t i = 1; i < rec.Frames(); ++i) {
    crossings += rec.Samples[2 * (i - 1)] < 0 && rec.Samples[2 * i] >= 0;
    audible += std::fabs(rec.Samples[2 * i]) > 1e-3f;
  }
  EXPECT_NEAR(static_cast<double>(crossings), 600.0, 4.0);
  EXPECT_NEAR(static_cast<double>(audible), 0.6 * 44100, 0.02 * 44100);
}

TEST_F(SystemTest, ThirtyTwoChannelsMixAtOnceAndAThirtyThirdIsRefused) {
  StartRecording();
  std::vector<FMOD_SOUND*> sounds;
  for (int i = 0; i < 33; ++i)
    sounds.push_back(WriteAndOpen("c" + std::to_string(i) + ".wav", testing::Constant(0.05f, 1.0)));
  std::vector<FMOD_CHANNEL*> channels(32, nullptr);
  for (int i = 0; i < 32; ++i)
    ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, sounds[i], 1, &channels[i]),
              FMOD_OK);
  FMOD_CHANNEL* extra = nullptr;
  EXPECT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, sounds[32], 0, &extra),
            FMOD_ERR_CHANNEL_ALLOC);
  for (FMOD_CHANNEL* c : channels) ASSERT_EQ(FMOD_Channel_SetPaused(c, 0), FMOD_OK);
  std::this_thread::sleep_for(200ms);
  for (FMOD_CHANNEL* c : channels) {
    FMOD_BOOL playing = 0;
    ASSERT_EQ(FMOD_Channel_IsPlaying(c, &playing), FMOD_OK);
    EXPECT_TRUE(playing);
  }
  for (FMOD_CHANNEL* c : channels) WaitUntilDone(c);
  const TPcm rec = StopRecording();
  float peak = 0;
  size_t atPeak = 0;
  for (float s : rec.Samples) {
    peak = std::max(peak, s);
    atPeak += std::fabs(s - 1.6f) < 1e-5f;
  }
  EXPECT_NEAR(peak, 1.6f, 1e-5f);  // above full scale, not wrapped or clipped
  EXPECT_GT(atPeak, 2u * 44100 / 2) << "all 32 together for most of the second";
}

TEST_F(SystemTest, PositionOnTheNullOutputFollowsTheWallClock) {
  Start("null");
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", testing::Tone(440, 3.0));
  FMOD_CHANNEL* channel = nullptr;
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, sound, 0, &channel), FMOD_OK);
  unsigned p0 = 0, p1 = 0, p2 = 0;
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &p0, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_LT(p0, 50u) << "nothing decoded ahead counts as played";
  std::this_thread::sleep_for(200ms);
  const auto t1 = std::chrono::steady_clock::now();
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &p1, FMOD_TIMEUNIT_MS), FMOD_OK);
  std::this_thread::sleep_for(2s);
  const auto t2 = std::chrono::steady_clock::now();
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &p2, FMOD_TIMEUNIT_MS), FMOD_OK);
  const double wall = std::chrono::duration<double, std::milli>(t2 - t1).count();
  EXPECT_NEAR(static_cast<double>(p2 - p1), wall, 50.0);
  EXPECT_NEAR(static_cast<double>(p1), 200.0, 50.0);
}

TEST_F(SystemTest, AtTheEndPositionEqualsLengthAndTheChannelStops) {
  Start("null");
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", testing::Tone(440, 0.3337, 22050, 1));
  unsigned length = 0, position = 0, frames = 0, pcmPosition = 0;
  ASSERT_EQ(FMOD_Sound_GetLength(sound, &length, FMOD_TIMEUNIT_MS), FMOD_OK);
  ASSERT_EQ(FMOD_Sound_GetLength(sound, &frames, FMOD_TIMEUNIT_PCM), FMOD_OK);
  EXPECT_EQ(length, 333u);
  EXPECT_EQ(frames, 7358u);
  FMOD_CHANNEL* channel = Play(sound, 1.0f);
  WaitUntilDone(channel);
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &position, FMOD_TIMEUNIT_MS), FMOD_OK);
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &pcmPosition, FMOD_TIMEUNIT_PCM), FMOD_OK);
  EXPECT_EQ(position, length);
  EXPECT_EQ(pcmPosition, frames);
}

TEST_F(SystemTest, ReuseKeepsTheChannelHandleAndSwitchesItsSound) {
  Start("null");
  FMOD_SOUND* first = WriteAndOpen("a.wav", testing::Tone(440, 2.0));
  FMOD_SOUND* second = WriteAndOpen("b.wav", testing::Tone(660, 2.0));
  FMOD_CHANNEL* channel = nullptr;  // an empty handle takes a free channel
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_REUSE, first, 0, &channel), FMOD_OK);
  ASSERT_NE(channel, nullptr);
  FMOD_CHANNEL* const handle = channel;
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_REUSE, second, 0, &channel), FMOD_OK);
  EXPECT_EQ(channel, handle);
  unsigned position = 0;
  ASSERT_EQ(FMOD_Channel_GetPosition(channel, &position, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_LT(position, 100u) << "the new sound starts from its beginning";
  // Replaying the first sound on another channel leaves this one alone.
  FMOD_CHANNEL* other = nullptr;
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, first, 0, &other), FMOD_OK);
  EXPECT_NE(other, channel);
  FMOD_BOOL playing = 0;
  ASSERT_EQ(FMOD_Channel_IsPlaying(channel, &playing), FMOD_OK);
  EXPECT_TRUE(playing);
}

TEST_F(SystemTest, OpenStatesOfGoodMissingAndBlockingOpens) {
  Start("null");
  testing::WriteSound(Dir / "tone.wav", testing::Tone(440, 0.2), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  const std::u16string missing = U16(Dir / "missing.mp3");
  FMOD_SOUND* sound = nullptr;
  ASSERT_EQ(FMOD_System_CreateSound(System, reinterpret_cast<const char*>(missing.c_str()),
                                    kPlayerMode, nullptr, &sound),
            FMOD_OK);
  EXPECT_EQ(WaitForOpen(sound), FMOD_OPENSTATE_ERROR);
  unsigned length = 0;
  EXPECT_EQ(FMOD_Sound_GetLength(sound, &length, FMOD_TIMEUNIT_MS), FMOD_ERR_FILE_NOTFOUND);
  FMOD_CHANNEL* channel = nullptr;
  EXPECT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, sound, 0, &channel),
            FMOD_ERR_FILE_NOTFOUND);
  // Blocking opens report at once; UTF-8 names work without FMOD_UNICODE.
  FMOD_SOUND* blocking = nullptr;
  EXPECT_EQ(FMOD_System_CreateSound(System, (Dir / "missing.wav").c_str(), FMOD_DEFAULT, nullptr,
                                    &blocking),
            FMOD_ERR_FILE_NOTFOUND);
  ASSERT_EQ(
      FMOD_System_CreateSound(System, (Dir / "tone.wav").c_str(), FMOD_DEFAULT, nullptr, &blocking),
      FMOD_OK);
  FMOD_OPENSTATE state = FMOD_OPENSTATE_LOADING;
  ASSERT_EQ(FMOD_Sound_GetOpenState(blocking, &state, nullptr, nullptr), FMOD_OK);
  EXPECT_EQ(state, FMOD_OPENSTATE_READY);
}

TEST_F(SystemTest, StaleForeignAndEmptyHandlesAreErrors) {
  Start("null", 2);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", testing::Tone(440, 1.0));
  FMOD_SOUND* other = WriteAndOpen("other.wav", testing::Tone(440, 1.0));
  FMOD_CHANNEL* channel = nullptr;
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, sound, 0, &channel), FMOD_OK);
  FMOD_BOOL flag = 0;
  unsigned value = 0;
  EXPECT_EQ(FMOD_Channel_Stop(nullptr), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_Channel_IsPlaying(reinterpret_cast<FMOD_CHANNEL*>(0x1234), &flag),
            FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_Channel_IsPlaying(reinterpret_cast<FMOD_CHANNEL*>(sound), &flag),
            FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_Sound_GetLength(reinterpret_cast<FMOD_SOUND*>(&value), &value, FMOD_TIMEUNIT_MS),
            FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_Channel_GetPosition(channel, nullptr, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_PARAM);
  // Released: the sound's handle is stale and its channel has stopped.
  ASSERT_EQ(FMOD_Sound_Release(sound), FMOD_OK);
  EXPECT_EQ(FMOD_Sound_GetLength(sound, &value, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_Sound_Release(sound), FMOD_ERR_INVALID_HANDLE);
  ASSERT_EQ(FMOD_Channel_IsPlaying(channel, &flag), FMOD_OK);
  EXPECT_FALSE(flag);
  // Both channels handed out again: the first handle no longer names one.
  FMOD_CHANNEL* c1 = nullptr;
  FMOD_CHANNEL* c2 = nullptr;
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, other, 0, &c1), FMOD_OK);
  ASSERT_EQ(FMOD_Channel_Stop(c1), FMOD_OK);
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, other, 0, &c2), FMOD_OK);
  EXPECT_NE(c2, channel);
  EXPECT_EQ(FMOD_Channel_IsPlaying(channel, &flag), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_Channel_IsPlaying(c1, &flag), FMOD_OK);
  // Closed: every channel and sound handle is stale.
  ASSERT_EQ(FMOD_System_Close(System), FMOD_OK);
  EXPECT_EQ(FMOD_Channel_IsPlaying(c2, &flag), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_Sound_GetLength(other, &value, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
  ASSERT_EQ(FMOD_System_Release(System), FMOD_OK);
  EXPECT_EQ(FMOD_System_GetVersion(System, &value), FMOD_ERR_INVALID_HANDLE);
  System = nullptr;
}

TEST_F(SystemTest, VersionInitAndOutputChoice) {
  Start("null");
  unsigned version = 0;
  ASSERT_EQ(FMOD_System_GetVersion(System, &version), FMOD_OK);
  EXPECT_GE(version, 0x00040001u);
  EXPECT_EQ(FMOD_System_Init(System, 32, 0, nullptr), FMOD_ERR_INITIALIZED);
  FMOD_SYSTEM* second = nullptr;
  testing::TOutputOverride bad("nonsense");
  ASSERT_EQ(FMOD_System_Create(&second), FMOD_OK);
  EXPECT_EQ(FMOD_System_Init(second, 32, 0, nullptr), FMOD_ERR_OUTPUT_INIT);
  testing::TOutputOverride unwritable("wav:" + (Dir / "no" / "such" / "folder.wav").string());
  EXPECT_EQ(FMOD_System_Init(second, 32, 0, nullptr), FMOD_ERR_OUTPUT_INIT);
  EXPECT_EQ(FMOD_System_Release(second), FMOD_OK);
}

}  // namespace
}  // namespace vesperon::audiolib
