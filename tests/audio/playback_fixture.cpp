#include "playback_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "audio/audio_binding.h"
#include "core/files.h"
#include "core/log.h"
#include "core/params.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/skin_link.h"
#include "core/text.h"
#include "media/mediadb.h"

namespace vesperon::testing {
namespace {

void PutLE(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::filesystem::path MakeSongDir() {
  const std::filesystem::path dir =
      TempDir() / ("vesperon-playback-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  static const std::filesystem::path removeAtExit = dir;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(removeAtExit, ec);
  });
  WriteToneWav(dir / "a.wav", 1000, 0.5, 0.0);
  WriteToneWav(dir / "b.wav", 800, 0.0, 0.5);
  WriteToneWav(dir / "short.wav", 200, 0.5, 0.5);
  WriteToneWav(dir / "long.wav", 4000, 0.5, 0.5);
  std::ofstream(dir / "bad.wav") << "this is a text file, not a song\n";
  return dir;
}

}  // namespace

void WriteToneWav(const std::filesystem::path& path, int milliseconds, double left, double right) {
  constexpr uint32_t kRate = 44100;
  const uint32_t frames = kRate * static_cast<uint32_t>(milliseconds) / 1000;
  const uint32_t dataBytes = frames * 4;
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  PutLE(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  PutLE(out, 16, 4);
  PutLE(out, 1, 2);  // PCM
  PutLE(out, 2, 2);  // stereo
  PutLE(out, kRate, 4);
  PutLE(out, kRate * 4, 4);
  PutLE(out, 4, 2);
  PutLE(out, 16, 2);
  out.write("data", 4);
  PutLE(out, dataBytes, 4);
  for (uint32_t i = 0; i < frames; ++i) {
    const double s = std::sin(2.0 * M_PI * 1000.0 * i / kRate);
    PutLE(out, static_cast<uint16_t>(static_cast<int16_t>(std::lround(s * left * 32767))), 2);
    PutLE(out, static_cast<uint16_t>(static_cast<int16_t>(std::lround(s * right * 32767))), 2);
  }
}

const std::filesystem::path& SongDir() {
  static const std::filesystem::path dir = MakeSongDir();
  return dir;
}

std::u16string Song(const std::string& name) { return U16FromPath(SongDir() / name); }

void PlaybackTest::SetUp() {
  gParams = TParams{};
  gParams.Debug = true;
  gSettings = TSettings{};
  gSettings.CrossfadeInTime = 300;
  gSettings.CrossfadeOutTime = 400;
  SetLogObserver([this](std::string_view line) { LogLines.emplace_back(line); });
  ::setenv("VESPERON_AUDIO_OUTPUT", Output.c_str(), 1);
  SetExecutableDirForTesting(VESPERON_PROGRAM_DIR);
  SongDir();
  ASSERT_TRUE(InitAudio()) << "the audio library must be built into " << VESPERON_PROGRAM_DIR;
  CreateMediaDB();
}

void PlaybackTest::TearDown() {
  Player.Stop();
  CloseAudio();
  FreeMediaDB();
  gSkinLink = nullptr;
  SetLogObserver({});
  gParams = TParams{};
}

std::chrono::milliseconds PlaybackTest::RunSteps(int milliseconds,
                                                 const std::function<bool()>& until) {
  const auto start = std::chrono::steady_clock::now();
  const auto limit = start + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < limit) {
    Player.Step();
    ++StepsRun;
    if (until && until()) break;
    const uint32_t sleepMs =
        SleepLikeTheMainLoop ? std::min(Player.MsUntilStepWork(), kSlowTickMs) : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs == 0 ? 2 : sleepMs));
  }
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

bool PlaybackTest::Logged(const std::string& line) const {
  for (const std::string& l : LogLines) {
    if (l == line) return true;
  }
  return false;
}

void PlaybackTest::AddToDatabase(const std::vector<std::u16string>& names) {
  for (const std::u16string& name : names) {
    TMediaEntry entry;
    entry.Filename = name;
    MediaDB()->Add(entry);
  }
}

bool PlaybackTest::LibraryPlays(const TChannel& channel) {
  FMOD_BOOL playing = 0;
  return gAudioLib.Channel_IsPlaying(channel.Channel, &playing) == FMOD_OK && playing != 0;
}

}  // namespace vesperon::testing
