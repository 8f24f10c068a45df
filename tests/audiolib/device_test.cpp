// The real outputs against a private PulseAudio server with a null sink:
// what the sink's monitor recorded is compared with the decoded source, and
// the recording's clock with PlaySound, pause, resume and the positions the
// library reports. The ALSA output reaches the same server through the
// pulse plugin, so its open, write, idle and recovery paths run for real.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "audiolib/audiolib.h"
#include "library_fixture.h"
#include "sound_server.h"
#include "test_media.h"

namespace vesperon::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// The output of a shell command (pactl).
std::string Capture(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

// The frames with sound in them, on either side.
size_t AudibleFrames(const TPcm& pcm) {
  size_t audible = 0;
  for (size_t i = 0; i < pcm.Frames(); ++i)
    audible += std::fabs(pcm.Samples[2 * i]) > 1e-4f || std::fabs(pcm.Samples[2 * i + 1]) > 1e-4f;
  return audible;
}

class DeviceTest : public LibraryTest {
 protected:
  // Starts a server whose sink plays `sinkFormat`, the recording of its
  // monitor, and a system on `output` ("pulse" or "alsa").
  void StartAll(const std::string& output, const std::string& sinkFormat = "float32le") {
    Server = std::make_unique<TSoundServer>(sinkFormat);
    ASSERT_TRUE(Server->Start()) << "pulseaudio did not start; see " << Server->Folder();
    Server->UseInThisProcess();
    // alsa-lib reads its configuration once; this server's .asoundrc counts.
    snd_config_update_free_global();
    StartRecorder();
    Start(output);
  }
  void StartRecorder() {
    Recorder = std::make_unique<TSinkRecorder>(Server->Address());
    ASSERT_TRUE(Recorder->Start());
  }
  TPcm Recording() {
    Recorder->Stop();
    TPcm pcm;
    pcm.Samples = Recorder->Samples();
    if (const char* keep = std::getenv("VESPERON_KEEP_RECORDING"))
      WriteSound(keep, pcm, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    return pcm;
  }
  unsigned Position(FMOD_CHANNEL* channel) {
    unsigned position = 0;
    EXPECT_EQ(FMOD_Channel_GetPosition(channel, &position, FMOD_TIMEUNIT_MS), FMOD_OK);
    return position;
  }
  bool IsPlaying(FMOD_CHANNEL* channel) {
    FMOD_BOOL playing = 0;
    EXPECT_EQ(FMOD_Channel_IsPlaying(channel, &playing), FMOD_OK);
    return playing != 0;
  }
  // Milliseconds from the steady-clock time `ns` to recording frame `frame`.
  double MsAfter(int64_t ns, size_t frame) {
    return static_cast<double>(Recorder->FrameTimeNs(frame) - ns) / 1e6;
  }
  // Once the server answers again, sound reaches its sink within a second
  // and a half.
  void ExpectSoundReachesTheServer() {
    StartRecorder();
    std::this_thread::sleep_for(1500ms);
    EXPECT_GT(AudibleFrames(Recording()), 44100u / 4) << "the output found the server again";
  }
  // Killing the server during playback: the calls go on answering, the
  // position goes on, and a new server gets the sound again.
  void ExpectRecoveryFromAKilledServer(const std::string& output) {
    StartAll(output);
    Recorder.reset();
    FMOD_CHANNEL* channel = Play(WriteAndOpen("tone.wav", Tone(440, 5.0)), 1.0f);
    std::this_thread::sleep_for(300ms);
    Server->Kill();
    const unsigned before = Position(channel);
    std::this_thread::sleep_for(500ms);
    EXPECT_GT(Position(channel), before + 300) << "the channel plays on without the server";
    EXPECT_TRUE(IsPlaying(channel));
    ASSERT_TRUE(Server->Start());
    ExpectSoundReachesTheServer();
    EXPECT_TRUE(IsPlaying(channel));
    EXPECT_EQ(FMOD_System_Close(System), FMOD_OK);
  }
  void TearDown() override {
    LibraryTest::TearDown();
    Recorder.reset();
    Server.reset();
  }

  std::unique_ptr<TSoundServer> Server;
  std::unique_ptr<TSinkRecorder> Recorder;
};

// The tests below compare the recording's clock with the wall clock.
class DeviceTimingTest : public DeviceTest {};

// The first frame with sound after the first silence of `frames` that
// follows sound.
size_t AfterSilence(const TPcm& pcm, size_t frames) {
  size_t quiet = 0;
  for (size_t i = FirstAudible(pcm, 0, 1e-4f); i < pcm.Frames(); ++i) {
    const bool audible =
        std::fabs(pcm.Samples[2 * i]) > 1e-4f || std::fabs(pcm.Samples[2 * i + 1]) > 1e-4f;
    if (audible && quiet >= frames) return i > 4 ? i - 4 : 0;
    quiet = audible ? 0 : quiet + 1;
  }
  return pcm.Frames();
}

TEST_F(DeviceTest, PulseSinkHearsExactlyTheDecodedSource) {
  StartAll("pulse");
  const TPcm tone = Tone(440, 0.4);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", tone);
  ASSERT_EQ(FMOD_ChannelGroup_SetVolume(Master, 0.8f), FMOD_OK);
  WaitUntilDone(Play(sound, 0.5f));
  std::this_thread::sleep_for(100ms);
  const TPcm rec = Recording();
  const size_t at = FindStart(rec, tone, 0.4f);
  ASSERT_LT(at, rec.Frames());
  EXPECT_LT(Mismatch(rec, tone, at, 0.4f, tone.Frames()), 1e-5f);
  EXPECT_EQ(FirstAudible(rec, at + tone.Frames(), 0.0f), rec.Frames()) << "silence after the end";
  EXPECT_LE(MaxStep(rec), 0.4f * MaxStep(tone) + 1e-5f) << "no click at either end";
}

TEST_F(DeviceTest, PulseStreamCarriesTheSixteenBitSamplesOfTheSink) {
  StartAll("pulse", "s16le");
  const TPcm tone = Tone(440, 0.6);
  FMOD_CHANNEL* channel = Play(WriteAndOpen("tone.wav", tone), 1.0f);
  std::this_thread::sleep_for(200ms);
  const std::string inputs = Capture("pactl list sink-inputs 2>&1");
  // pactl prints the stream's sample format as "s16le 2ch 44100Hz".
  EXPECT_NE(inputs.find(": s16le 2ch 44100Hz"), std::string::npos) << inputs;
  WaitUntilDone(channel);
  std::this_thread::sleep_for(100ms);
  const TPcm rec = Recording();
  const size_t at = FindStart(rec, tone, 1.0f);
  // Rounded to 16 bits once, by us: within half a step of the source.
  EXPECT_LT(Mismatch(rec, tone, at, 1.0f, tone.Frames()), 0.51f / 32767);
}

TEST_F(DeviceTest, TwoChannelsPlayingAtOnceAreSummed) {
  StartAll("pulse");
  PlayTwoOverlapping();
  std::this_thread::sleep_for(100ms);
  ExpectTwoOverlappingSummed(Recording());
}

TEST_F(DeviceTest, NothingIsWrittenWhileNoChannelPlaysAndTheNextStartIsWhole) {
  StartAll("pulse");
  const TPcm tone = Tone(440, 0.2);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", tone);
  WaitUntilDone(Play(sound, 1.0f));
  std::this_thread::sleep_for(200ms);
  const std::string inputs = Capture("pactl list sink-inputs 2>&1");
  EXPECT_NE(inputs.find("Corked: yes"), std::string::npos) << inputs;
  const uint64_t before = ThreadWakeups("vesperon-mixer");
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(ThreadWakeups("vesperon-mixer"), before + 1) << "the idle mixer sleeps";
  WaitUntilDone(Play(sound, 1.0f));
  std::this_thread::sleep_for(100ms);
  const TPcm rec = Recording();
  const size_t first = FindStart(rec, tone, 1.0f);
  const size_t second = FindStart(rec, tone, 1.0f, first + tone.Frames());
  EXPECT_LT(Mismatch(rec, tone, first, 1.0f, tone.Frames()), 1e-5f);
  EXPECT_LT(Mismatch(rec, tone, second, 1.0f, tone.Frames()), 1e-5f)
      << "the start after the idle time is whole";
}

TEST_F(DeviceTest, PulsePlaybackRecoversWhenTheServerIsKilledAndRestarted) {
  ExpectRecoveryFromAKilledServer("pulse");
}

// A server that stops answering without closing its socket: the output
// gives up on it after its deadline, the calls never wait on it, and the
// playback comes back through it once it answers again.
TEST_F(DeviceTest, PulsePlaybackSurvivesAStalledServer) {
  StartAll("pulse");
  Recorder.reset();
  FMOD_CHANNEL* channel = Play(WriteAndOpen("tone.wav", Tone(440, 8.0)), 1.0f);
  std::this_thread::sleep_for(200ms);
  Server->Freeze(true);
  const unsigned before = Position(channel);
  for (int i = 0; i < 30; ++i) {
    const auto t = Clock::now();
    EXPECT_TRUE(IsPlaying(channel));
    EXPECT_LT(Clock::now() - t, 1s) << "a call waited on the server";
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_GT(Position(channel), before + 500) << "the channel plays on without the server";
  Server->Freeze(false);
  ExpectSoundReachesTheServer();
  EXPECT_EQ(FMOD_System_Close(System), FMOD_OK);
}

TEST_F(DeviceTest, AlsaPlaysPausesIdlesAndResumesThroughTheServer) {
  StartAll("alsa");
  const TPcm tone = Tone(440, 0.5);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", tone);
  FMOD_CHANNEL* channel = Play(sound, 1.0f);
  std::this_thread::sleep_for(200ms);
  ASSERT_EQ(FMOD_Channel_SetPaused(channel, 1), FMOD_OK);
  std::this_thread::sleep_for(150ms);  // long enough for the device to be stopped
  ASSERT_EQ(FMOD_Channel_SetPaused(channel, 0), FMOD_OK);
  WaitUntilDone(channel);
  std::this_thread::sleep_for(500ms);
  WaitUntilDone(Play(sound, 1.0f));  // after an idle time
  std::this_thread::sleep_for(150ms);
  const TPcm rec = Recording();
  // Both plays whole: nothing lost to the pause or to the stopped device.
  EXPECT_NEAR(static_cast<double>(AudibleFrames(rec)), 2.0 * tone.Frames(), 0.02 * 44100);
  const size_t second = FindStart(rec, tone, 1.0f, AfterSilence(rec, 44100 * 4 / 10));
  EXPECT_LT(Mismatch(rec, tone, second, 1.0f, tone.Frames()), 1e-5f);
  EXPECT_LE(MaxStep(rec), MaxStep(tone) + 0.5f / 16) << "no click at the pause";
}

TEST_F(DeviceTest, AlsaPlaybackRecoversWhenTheServerIsKilledAndRestarted) {
  ExpectRecoveryFromAKilledServer("alsa");
}

TEST_F(DeviceTimingTest, PulseStartsPausesAndResumesWithin100ms) {
  StartAll("pulse");
  const TPcm tone = Tone(440, 1.0);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", tone);
  const int64_t started = NowNs();
  FMOD_CHANNEL* channel = Play(sound, 1.0f);
  std::this_thread::sleep_for(400ms);
  const int64_t paused = NowNs();
  ASSERT_EQ(FMOD_Channel_SetPaused(channel, 1), FMOD_OK);
  std::this_thread::sleep_for(400ms);
  const int64_t resumed = NowNs();
  ASSERT_EQ(FMOD_Channel_SetPaused(channel, 0), FMOD_OK);
  WaitUntilDone(channel);
  std::this_thread::sleep_for(100ms);
  const TPcm rec = Recording();
  const size_t heard = FirstAudible(rec, 0, 1e-4f);
  EXPECT_LT(MsAfter(started, heard), 100.0) << "the start is heard at once";
  EXPECT_GT(MsAfter(started, heard), -10.0) << "the recording's clock is off";
  // The recording's clock is good to a few milliseconds.
  const size_t silent =
      FirstAudible(rec, static_cast<size_t>(Recorder->FrameAt(paused + 100'000'000)), 0.0f);
  EXPECT_GE(silent, static_cast<size_t>(Recorder->FrameAt(resumed - 10'000'000)))
      << "silent from 100 ms after the pause on";
  EXPECT_LT(MsAfter(resumed, silent), 100.0) << "sound again within 100 ms of resuming";
  EXPECT_LE(MaxStep(rec), MaxStep(tone) + 0.5f / 16) << "no click at the pause or the resume";
  EXPECT_NEAR(static_cast<double>(AudibleFrames(rec)), static_cast<double>(tone.Frames()),
              0.01 * 44100)
      << "nothing lost or repeated";
  size_t lastHeard = static_cast<size_t>(std::max<int64_t>(0, Recorder->FrameAt(resumed)));
  while (lastHeard > 0 &&
         std::fabs(rec.Samples[2 * lastHeard]) + std::fabs(rec.Samples[2 * lastHeard + 1]) == 0.0f)
    --lastHeard;
  std::printf("start heard after %.1f ms, pause silent after %.1f ms, resume heard after %.1f ms\n",
              MsAfter(started, heard), MsAfter(paused, lastHeard), MsAfter(resumed, silent));
}

TEST_F(DeviceTimingTest, PulsePositionsFollowTheRecordingWithin50msOver10s) {
  StartAll("pulse");
  const TPcm tone = Tone(440, 10.5, 44100, 1);
  FMOD_SOUND* sound = WriteAndOpen("tone.wav", tone);
  FMOD_CHANNEL* channel = nullptr;
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, sound, 0, &channel), FMOD_OK);
  std::vector<std::pair<int64_t, unsigned>> samples;  // (when, position)
  // Closely at the start (from the first block on), then every 250 ms.
  for (int i = 0; i < 42; ++i) {
    std::this_thread::sleep_for(i < 4 ? 40ms : 250ms);
    const int64_t before = NowNs();
    const unsigned position = Position(channel);
    samples.emplace_back((before + NowNs()) / 2, position);
  }
  ASSERT_EQ(FMOD_Channel_Stop(channel), FMOD_OK);
  std::this_thread::sleep_for(100ms);
  const TPcm rec = Recording();
  const size_t start = FirstAudible(rec, 0, 1e-4f) - 1;  // the tone's first sample is 0
  double worst = 0.0;
  for (const auto& [when, position] : samples) {
    const double heardMs =
        static_cast<double>(Recorder->FrameAt(when) - static_cast<int64_t>(start)) / 44.1;
    EXPECT_NEAR(position, heardMs, 50.0) << "at " << heardMs << " ms of the recording";
    worst = std::max(worst, std::fabs(position - heardMs));
  }
  std::printf("positions off by at most %.1f ms\n", worst);
}

// The largest difference between the recording's frames [from, to) and
// `gain` x `src` placed at recording frame `at`.
float Residual(const TPcm& rec, const TPcm& src, size_t at, float gain, size_t from, size_t to) {
  float worst = 0.0f;
  for (size_t i = 2 * from; i < 2 * std::min(to, rec.Frames()); ++i) {
    const size_t j = i - 2 * at;
    const float expected = i >= 2 * at && j < src.Samples.size() ? gain * src.Samples[j] : 0.0f;
    worst = std::max(worst, std::fabs(rec.Samples[i] - expected));
  }
  return worst;
}

// While a channel plays, the output holds far more than 100 ms that is not
// heard yet: a second channel starting, a volume change and a stop must
// still be heard within 100 ms, and what is mixed anew must join what was
// already playing without a frame lost or doubled.
TEST_F(DeviceTimingTest, PulseChangesWhilePlayingAreHeardWithin100ms) {
  StartAll("pulse");
  const TPcm a = Tone(440, 4.0), b = Tone(660, 0.5);
  FMOD_SOUND* soundA = WriteAndOpen("a.wav", a);
  FMOD_SOUND* soundB = WriteAndOpen("b.wav", b);
  FMOD_CHANNEL* channelA = Play(soundA, 0.5f);
  std::this_thread::sleep_for(700ms);
  const int64_t started = NowNs();
  FMOD_CHANNEL* channelB = nullptr;
  ASSERT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, soundB, 0, &channelB), FMOD_OK);
  std::this_thread::sleep_for(200ms);
  const int64_t sampled = NowNs();
  const unsigned positionA = Position(channelA);
  std::this_thread::sleep_for(600ms);
  const int64_t turned = NowNs();
  ASSERT_EQ(FMOD_Channel_SetVolume(channelA, 0.125f), FMOD_OK);
  std::this_thread::sleep_for(400ms);
  const int64_t stopped = NowNs();
  ASSERT_EQ(FMOD_Channel_Stop(channelA), FMOD_OK);
  std::this_thread::sleep_for(1200ms);
  const TPcm rec = Recording();

  const size_t atA = FindStart(rec, a, 0.5f);
  ASSERT_LT(atA, rec.Frames());
  const auto frameAt = [&](int64_t ns) {
    return static_cast<size_t>(std::max<int64_t>(0, Recorder->FrameAt(ns)));
  };
  TPcm withoutA = rec;
  Subtract(withoutA, a, atA, 0.5f);
  const size_t atB = FindStart(withoutA, b, 1.0f, atA);
  ASSERT_LT(atB, rec.Frames());
  const double startMs = MsAfter(started, atB);
  EXPECT_LT(startMs, 100.0) << "the second channel is heard at once";
  EXPECT_GT(startMs, -10.0) << "the recording's clock is off";
  EXPECT_LT(Residual(withoutA, b, atB, 1.0f, atA, frameAt(turned)), 1e-5f)
      << "A whole, and B summed with it exactly, from its first frame to its last";
  const double heardA =
      static_cast<double>(Recorder->FrameAt(sampled) - static_cast<int64_t>(atA)) / 44.1;
  EXPECT_NEAR(positionA, heardA, 50.0) << "A's position after the queued part was mixed anew";

  // The volume: A at 0.125 from 100 ms after the change until the stop.
  const size_t quieter = frameAt(turned + 100'000'000);
  EXPECT_LT(Residual(rec, a, atA, 0.125f, quieter, frameAt(stopped)), 1e-5f)
      << "the new volume within 100 ms";
  size_t changed = frameAt(turned - 10'000'000);
  while (changed < quieter && Residual(rec, a, atA, 0.5f, changed, changed + 1) < 1e-5f) ++changed;
  // The stop: silent from 100 ms after it on.
  const size_t silent = FirstAudible(rec, frameAt(stopped + 100'000'000), 0.0f);
  EXPECT_EQ(silent, rec.Frames())
      << "silent within 100 ms of the stop, and nothing queued plays after";
  size_t lastHeard = frameAt(stopped + 100'000'000);
  while (lastHeard > 0 &&
         std::fabs(rec.Samples[2 * lastHeard]) + std::fabs(rec.Samples[2 * lastHeard + 1]) == 0.0f)
    --lastHeard;
  EXPECT_LE(MaxStep(rec), MaxStep(a) + 0.5f / 16) << "no click at the changes";
  std::printf(
      "start heard after %.1f ms, volume after %.1f ms, stop silent after %.1f ms, position off by "
      "%.1f ms\n",
      startMs, MsAfter(turned, changed), MsAfter(stopped, lastHeard), positionA - heardA);
}

// Closing the system while the output still holds a second of sound stops
// the sound at once and does not wait for it to play out.
TEST_F(DeviceTimingTest, PulseCloseWhilePlayingIsQuickAndSilencesTheSink) {
  StartAll("pulse");
  Play(WriteAndOpen("tone.wav", Tone(440, 3.0)), 1.0f);
  std::this_thread::sleep_for(600ms);
  const int64_t closing = NowNs();
  ASSERT_EQ(FMOD_System_Close(System), FMOD_OK);
  const int64_t closed = NowNs();
  const double closeMs = static_cast<double>(closed - closing) / 1e6;
  EXPECT_LT(closeMs, 500.0) << "closing does not wait for the queued second to play";
  std::this_thread::sleep_for(400ms);
  const TPcm rec = Recording();
  const auto quiet = static_cast<size_t>(Recorder->FrameAt(closed + 100'000'000));
  ASSERT_GT(FirstAudible(rec, 0, 1e-4f), 0u);
  ASSERT_LT(FirstAudible(rec, 0, 1e-4f), quiet);
  EXPECT_EQ(FirstAudible(rec, quiet, 0.0f), rec.Frames())
      << "silent within 100 ms of the system closed";
  std::printf("closing took %.1f ms\n", closeMs);
}

}  // namespace
}  // namespace vesperon::testing
