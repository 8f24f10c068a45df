#include "library_fixture.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include "core/text.h"

namespace vesperon::testing {

using namespace std::chrono_literals;

std::u16string U16(const std::filesystem::path& p) { return Utf8ToUtf16(p.string()); }

void LibraryTest::Start(const std::string& output, int channels) {
  Output = std::make_unique<TOutputOverride>(output);
  ASSERT_EQ(FMOD_System_Create(&System), FMOD_OK);
  ASSERT_EQ(FMOD_System_Init(System, channels, 0, nullptr), FMOD_OK) << output;
  ASSERT_EQ(FMOD_System_GetMasterChannelGroup(System, &Master), FMOD_OK);
}

void LibraryTest::TearDown() {
  if (System != nullptr) FMOD_System_Release(System);
}

FMOD_SOUND* LibraryTest::OpenReady(const std::filesystem::path& path) {
  const std::u16string name = U16(path);
  FMOD_SOUND* sound = nullptr;
  EXPECT_EQ(FMOD_System_CreateSound(System, reinterpret_cast<const char*>(name.c_str()),
                                    kPlayerMode, nullptr, &sound),
            FMOD_OK);
  EXPECT_EQ(WaitForOpen(sound), FMOD_OPENSTATE_READY) << path;
  return sound;
}

FMOD_OPENSTATE LibraryTest::WaitForOpen(FMOD_SOUND* sound) {
  FMOD_OPENSTATE state = FMOD_OPENSTATE_LOADING;
  for (int i = 0; i < 500 && state == FMOD_OPENSTATE_LOADING; ++i) {
    EXPECT_EQ(FMOD_Sound_GetOpenState(sound, &state, nullptr, nullptr), FMOD_OK);
    if (state == FMOD_OPENSTATE_LOADING) std::this_thread::sleep_for(10ms);
  }
  return state;
}

FMOD_SOUND* LibraryTest::WriteAndOpen(const std::string& name, const TPcm& pcm) {
  WriteSound(Dir / name, pcm, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  return OpenReady(Dir / name);
}

FMOD_CHANNEL* LibraryTest::Play(FMOD_SOUND* sound, float volume) {
  FMOD_CHANNEL* channel = nullptr;
  EXPECT_EQ(FMOD_System_PlaySound(System, FMOD_CHANNEL_FREE, sound, 1, &channel), FMOD_OK);
  EXPECT_EQ(FMOD_Channel_SetVolume(channel, volume), FMOD_OK);
  EXPECT_EQ(FMOD_Channel_SetPaused(channel, 0), FMOD_OK);
  return channel;
}

void LibraryTest::WaitUntilDone(FMOD_CHANNEL* channel) {
  FMOD_BOOL playing = 1;
  for (int i = 0; i < 1000 && playing; ++i) {
    ASSERT_EQ(FMOD_Channel_IsPlaying(channel, &playing), FMOD_OK);
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_FALSE(playing);
}

namespace {
TPcm ToneA() { return Tone(440, 0.6); }
TPcm ToneB() { return Tone(660, 0.3, 44100, 2, 0.4f); }
}  // namespace

void LibraryTest::PlayTwoOverlapping() {
  FMOD_SOUND* soundA = WriteAndOpen("a.wav", ToneA());
  FMOD_SOUND* soundB = WriteAndOpen("b.wav", ToneB());
  FMOD_CHANNEL* channelA = Play(soundA, 0.7f);
  std::this_thread::sleep_for(150ms);
  FMOD_CHANNEL* channelB = Play(soundB, 0.9f);
  WaitUntilDone(channelA);
  WaitUntilDone(channelB);
}

void LibraryTest::ExpectTwoOverlappingSummed(TPcm rec) {
  const TPcm a = ToneA(), b = ToneB();
  const size_t atA = FindStart(rec, a, 0.7f);
  Subtract(rec, a, atA, 0.7f);
  const size_t atB = FindStart(rec, b, 0.9f, atA);
  EXPECT_GT(atB, atA + 2000) << "B starts later";
  EXPECT_LT(atB + b.Frames(), atA + a.Frames()) << "and ends during A";
  Subtract(rec, b, atB, 0.9f);
  float worst = 0;
  for (float s : rec.Samples) worst = std::max(worst, std::fabs(s));
  EXPECT_LT(worst, 1e-5f) << "nothing but A and B";
}

uint64_t ThreadWakeups(const std::string& name) {
  uint64_t total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string comm;
    std::getline(std::ifstream(task.path() / "comm"), comm);
    if (comm != name) continue;
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.find("ctxt_switches:") != std::string::npos)
        total += std::stoull(line.substr(line.find(':') + 1));
    }
  }
  return total;
}

// --- comparing recordings with their sources ---

size_t FirstAudible(const TPcm& pcm, size_t from, float threshold) {
  for (size_t i = from; i < pcm.Frames(); ++i)
    if (std::fabs(pcm.Samples[2 * i]) > threshold || std::fabs(pcm.Samples[2 * i + 1]) > threshold)
      return i;
  return pcm.Frames();
}

float Mismatch(const TPcm& rec, const TPcm& src, size_t at, float gain, size_t frames) {
  float worst = 0;
  for (size_t i = 0; i < frames && i < src.Frames(); ++i) {
    for (size_t c = 0; c < 2; ++c) {
      const float r = at + i < rec.Frames() ? rec.Samples[2 * (at + i) + c] : 0.0f;
      worst = std::max(worst, std::fabs(r - gain * src.Samples[2 * i + c]));
    }
  }
  return worst;
}

size_t FindStart(const TPcm& rec, const TPcm& src, float gain, size_t from) {
  const size_t first = FirstAudible(rec, from, 1e-4f);
  size_t best = first;
  float bestError = 1e9f;
  for (size_t at = first >= 4 ? first - 4 : 0; at <= first; ++at) {
    const float e = Mismatch(rec, src, at, gain, 2000);
    if (e < bestError) best = at, bestError = e;
  }
  return best;
}

void Subtract(TPcm& rec, const TPcm& src, size_t at, float gain) {
  for (size_t i = 0; i < src.Samples.size() && 2 * at + i < rec.Samples.size(); ++i)
    rec.Samples[2 * at + i] -= gain * src.Samples[i];
}

float MaxStep(const TPcm& pcm) {
  float worst = 0;
  for (size_t i = 2; i < pcm.Samples.size(); ++i)
    worst = std::max(worst, std::fabs(pcm.Samples[i] - pcm.Samples[i - 2]));
  return worst;
}

}  // namespace vesperon::testing
