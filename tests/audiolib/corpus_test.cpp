// Malformed input: every file of tests/data/audiolib/malformed ends in the
// failed open state, without a crash, a hang or a word on the terminal, and
// every input a fuzz run has kept is handled. Files damaged after a good
// start play what they can and stop. Built as its own test binary with the
// label "corpus", so that it can be run under AddressSanitizer on its own.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "audiolib/audiolib.h"
#include "audiolib/decoder.h"
#include "core/text.h"
#include "test_media.h"

// libvorbis (through libsndfile 1.2.0) leaks the header block of an Ogg
// stream whose headers are cut or damaged. That is outside our code; the
// sanitizer build of this test is told to let it pass.
extern "C" const char* __lsan_default_suppressions() { return "leak:vorbis_info_init\n"; }

namespace vesperon::audiolib {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<fs::path> FilesIn(const char* dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(VESPERON_TEST_DATA) / dir, ec))
    if (entry.is_regular_file()) files.push_back(entry.path());
  return files;
}

// Opens through the C interface as the player does and waits for the verdict.
FMOD_OPENSTATE OpenState(FMOD_SYSTEM* system, const fs::path& path) {
  const std::u16string name = Utf8ToUtf16(path.string());
  FMOD_SOUND* sound = nullptr;
  EXPECT_EQ(FMOD_System_CreateSound(system, reinterpret_cast<const char*>(name.c_str()),
                                    FMOD_UNICODE | FMOD_NONBLOCKING | FMOD_ACCURATETIME |
                                        FMOD_CREATESTREAM | FMOD_LOOP_OFF,
                                    nullptr, &sound),
            FMOD_OK);
  FMOD_OPENSTATE state = FMOD_OPENSTATE_LOADING;
  for (int i = 0; i < 1000 && state == FMOD_OPENSTATE_LOADING; ++i) {
    EXPECT_EQ(FMOD_Sound_GetOpenState(sound, &state, nullptr, nullptr), FMOD_OK);
    if (state == FMOD_OPENSTATE_LOADING) std::this_thread::sleep_for(10ms);
  }
  return state;
}

class CorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(FMOD_System_Create(&System), FMOD_OK);
    ASSERT_EQ(FMOD_System_Init(System, 32, 0, nullptr), FMOD_OK);
  }
  void TearDown() override { FMOD_System_Release(System); }
  testing::TOutputOverride Output{"null"};
  FMOD_SYSTEM* System = nullptr;
  testing::TTempDir Dir;
};

TEST_F(CorpusTest, EveryMalformedFileEndsInTheFailedStateSilently) {
  const std::vector<fs::path> files = FilesIn("audiolib/malformed");
  ASSERT_GE(files.size(), 10u);
  testing::TStderrCapture terminal;
  for (const fs::path& file : files)
    EXPECT_EQ(OpenState(System, file), FMOD_OPENSTATE_ERROR) << file;
  EXPECT_EQ(terminal.Text(), "");
}

// Inputs a fuzz run found crashing or hanging: each must now open or fail
// and, when it opens, decode to its end.
TEST_F(CorpusTest, FuzzFindingsOpenOrFailAndDecodeToTheirEnd) {
  for (const fs::path& file : FilesIn("fuzz/fuzz_audiolib_decoder/crashes")) {
    const FMOD_OPENSTATE state = OpenState(System, file);
    EXPECT_NE(state, FMOD_OPENSTATE_LOADING) << file;
    FMOD_RESULT error = FMOD_OK;
    if (auto decoder = OpenDecoder(file.string(), true, error)) {
      std::vector<float> buffer(4096 * static_cast<size_t>(decoder->Info().Channels));
      for (int i = 0; i < 10000 && decoder->Read(buffer.data(), 4096) > 0; ++i) {
      }
    }
  }
}

// Damage in the middle of a file: the part before it plays, then the
// channel stops; decoding never reads past the end nor loops.
TEST_F(CorpusTest, FilesDamagedInTheMiddlePlayAndStop) {
  const fs::path wav = Dir / "tone.wav";
  testing::WriteSound(wav, testing::Tone(440, 1.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  testing::RunTool("lame --quiet -b 128 " + wav.string() + " " + (Dir / "tone.mp3").string());
  testing::RunTool("sox " + wav.string() + " " + (Dir / "tone.ogg").string());
  testing::RunTool("sox " + wav.string() + " " + (Dir / "tone.flac").string());
  std::mt19937 random(7);
  testing::TStderrCapture terminal;
  for (const char* name : {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"}) {
    std::string bytes = *[&] {
      std::ifstream in(Dir / name, std::ios::binary);
      return std::make_unique<std::string>(std::istreambuf_iterator<char>(in),
                                           std::istreambuf_iterator<char>());
    }();
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 2000 && i < bytes.size(); ++i)
      bytes[i] = static_cast<char>(random());
    for (const bool cut : {false, true}) {
      const fs::path damaged = Dir / (std::string(cut ? "cut-" : "noise-") + name);
      std::ofstream(damaged, std::ios::binary)
          << (cut ? bytes.substr(0, bytes.size() * 3 / 4) : bytes);
      FMOD_RESULT error = FMOD_OK;
      auto decoder = OpenDecoder(damaged.string(), true, error);
      if (!decoder) continue;  // refusing is fine too; crashing or hanging is not
      std::vector<float> buffer(4096 * static_cast<size_t>(decoder->Info().Channels));
      uint64_t total = 0;
      size_t n;
      while ((n = decoder->Read(buffer.data(), 4096)) > 0) {
        total += n;
        ASSERT_LE(total, 2u * 44100) << damaged << " does not end";
      }
    }
  }
  EXPECT_EQ(terminal.Text(), "");
}

}  // namespace
}  // namespace vesperon::audiolib
