#pragma once
// Shared set-up of the playback tests: short generated songs, the real audio
// library on a chosen output, a fresh media database and a log recorder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio/playback.h"

namespace vesperon::testing {

// Writes a 16-bit stereo WAV file at 44.1 kHz holding a 1 kHz sine of the
// given peak amplitudes (0.0-1.0) in the left and right channel.
void WriteToneWav(const std::filesystem::path& path, int milliseconds, double left, double right);

// The folder of generated songs (created once per test program).
const std::filesystem::path& SongDir();
std::u16string Song(const std::string& name);

class PlaybackTest : public ::testing::Test {
 protected:
  // `output` is the VESPERON_AUDIO_OUTPUT value.
  explicit PlaybackTest(std::string output = "null") : Output(std::move(output)) {}
  void SetUp() override;
  void TearDown() override;

  // Runs the per-step work like the main loop (a step, then 2 ms sleep) for
  // at most `milliseconds`, or until `until` answers true. Returns the time
  // taken. With SleepLikeTheMainLoop the sleep after a step is the player's
  // MsUntilStepWork (at most kSlowTickMs, 2 ms when 0), as the main loop
  // sleeps while nothing else happens.
  std::chrono::milliseconds RunSteps(int milliseconds, const std::function<bool()>& until = {});
  bool SleepLikeTheMainLoop = false;
  int StepsRun = 0;  // steps RunSteps ran, counted over the test
  static constexpr uint32_t kSlowTickMs = 54;
  bool Logged(const std::string& line) const;
  // Adds database entries for the given file names (title and artist empty).
  void AddToDatabase(const std::vector<std::u16string>& names);
  // Whether the library still plays the channel.
  static bool LibraryPlays(const TChannel& channel);

  std::string Output;
  TPlayback Player;
  std::vector<std::string> LogLines;
};

}  // namespace vesperon::testing
