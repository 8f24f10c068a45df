#pragma once
// What the tests of the library through its C interface share: a fixture
// that starts a system on a named output and plays files as the player
// does, and the comparison of a recording with its decoded source.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "audiolib/audiolib.h"
#include "test_media.h"

namespace vesperon::testing {

// The mode the player opens its songs with.
inline constexpr FMOD_MODE kPlayerMode =
    FMOD_UNICODE | FMOD_NONBLOCKING | FMOD_ACCURATETIME | FMOD_CREATESTREAM | FMOD_LOOP_OFF;

std::u16string U16(const std::filesystem::path& p);

class LibraryTest : public ::testing::Test {
 protected:
  // Creates and initialises a system on `output` (VESPERON_AUDIO_OUTPUT).
  void Start(const std::string& output, int channels = 32);
  void TearDown() override;

  FMOD_SOUND* OpenReady(const std::filesystem::path& path);
  FMOD_OPENSTATE WaitForOpen(FMOD_SOUND* sound);
  FMOD_SOUND* WriteAndOpen(const std::string& name, const TPcm& pcm);
  // Starts paused, sets the volume, then resumes, so the whole sound plays
  // at that volume.
  FMOD_CHANNEL* Play(FMOD_SOUND* sound, float volume);
  void WaitUntilDone(FMOD_CHANNEL* channel);
  // Plays tone A at volume 0.7 and, 150 ms later, a shorter tone B at 0.9
  // that ends during A; returns when both have been heard.
  void PlayTwoOverlapping();
  // `rec` holds exactly what PlayTwoOverlapping played: A and B summed.
  static void ExpectTwoOverlappingSummed(TPcm rec);

  TTempDir Dir;
  std::unique_ptr<TOutputOverride> Output;
  FMOD_SYSTEM* System = nullptr;
  FMOD_CHANNELGROUP* Master = nullptr;
};

// How often the threads of this process named `name` have been switched
// to (voluntary and forced context switches, from /proc): a thread that
// sleeps without waking keeps the count.
uint64_t ThreadWakeups(const std::string& name);

// --- comparing recordings with their sources ---

// The first frame from `from` on with a sample above `threshold`.
size_t FirstAudible(const TPcm& pcm, size_t from, float threshold);
// Largest difference between `rec` from frame `at` on and `gain` x `src`.
float Mismatch(const TPcm& rec, const TPcm& src, size_t at, float gain, size_t frames);
// Where `src` starts in `rec`: the tones start at phase 0, so their first
// sample is silent; the best match near the first audible frame wins.
size_t FindStart(const TPcm& rec, const TPcm& src, float gain, size_t from = 0);
// Takes `gain` x `src` away from `rec` from frame `at` on.
void Subtract(TPcm& rec, const TPcm& src, size_t at, float gain);
// The largest step between neighbouring samples of one side (a click).
float MaxStep(const TPcm& pcm);

}  // namespace vesperon::testing
