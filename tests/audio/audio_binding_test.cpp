// The binding: error texts, loading from the executable's folder or the
// current folder, writing out the carried copy, and the refusals of
// "initializing audio" with their log lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "audio/audio_binding.h"
#include "core/files.h"
#include "core/log.h"
#include "core/params.h"
#include "core/paths.h"
#include "core/settings.h"

namespace vesperon {
namespace {

namespace fs = std::filesystem;

TEST(AudioErrorTextTest, EveryCodeUpTo77HasItsOwnTextAndOthersAreUnknown) {
  EXPECT_EQ(ErrorText(0), "No errors.");
  EXPECT_EQ(
      ErrorText(77),
      "The requested event, event group, event category or event property could not be found.");
  std::set<std::string> texts;
  for (int code = 0; code <= 77; ++code) {
    EXPECT_FALSE(ErrorText(code).empty()) << code;
    texts.insert(ErrorText(code));
  }
  EXPECT_EQ(texts.size(), 78u);
  EXPECT_EQ(ErrorText(78), "Unknown error.");
  EXPECT_EQ(ErrorText(-1), "Unknown error.");
  EXPECT_EQ(ErrorText(FMOD_ERR_LIBRARY_LOAD), "The audio library file could not be loaded.");
}

// The folders of all cases, removed when the test program ends: the
// dynamic loader knows a library by its path and its inode, so a case must
// neither reuse an earlier case's path nor free an inode for reuse while
// the program runs.
fs::path WorkRoot() {
  static const fs::path root =
      fs::temp_directory_path() / ("vesperon-binding-" + std::to_string(getpid()));
  return root;
}

class RemoveWorkRoot : public ::testing::Environment {
 public:
  void TearDown() override { fs::remove_all(WorkRoot()); }
};
const auto* const gRemoveWorkRoot = ::testing::AddGlobalTestEnvironment(new RemoveWorkRoot);

// Runs each case in an empty current folder, with the executable's folder
// pointing at an empty folder of its own (unless a case fills it), debug
// logging on and every log line kept.
class AudioBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    Work = WorkRoot() / std::to_string(++serial);
    fs::create_directories(Work / "cwd");
    fs::create_directories(Work / "exe");
    OldCwd = fs::current_path();
    fs::current_path(Work / "cwd");
    SetExecutableDirForTesting(Work / "exe");
    setenv("VESPERON_AUDIO_OUTPUT", "null", 1);
    gParams = TParams{};
    gParams.Debug = true;
    gSettings = TSettings{};
    SetLogObserver([this](std::string_view line) { Lines.emplace_back(line); });
  }
  void TearDown() override {
    CloseAudio();
    SetLogObserver({});
    gParams = TParams{};
    unsetenv("VESPERON_AUDIO_OUTPUT");
    SetExecutableDirForTesting(ExecutablePath().parent_path());
    fs::current_path(OldCwd);
  }
  bool Logged(const std::string& line) const {
    return std::find(Lines.begin(), Lines.end(), line) != Lines.end();
  }
  static void CopyLibrary(const fs::path& from, const fs::path& toDir) {
    fs::copy_file(from, toDir / kAudioLibraryName, fs::copy_options::overwrite_existing);
  }
  float MasterVolume() const {
    float volume = -1;
    EXPECT_EQ(gAudioLib.ChannelGroup_GetVolume(gMasterGroup, &volume), FMOD_OK);
    return volume;
  }

  fs::path Work, OldCwd;
  std::vector<std::string> Lines;
  const fs::path RealLibrary = fs::path(VESPERON_PROGRAM_DIR) / kAudioLibraryName;
  const fs::path OldLibrary = fs::path(FAKE_LIBRARY_DIR) / "fake-old" / kAudioLibraryName;
  const fs::path IncompleteLibrary =
      fs::path(FAKE_LIBRARY_DIR) / "fake-incomplete" / kAudioLibraryName;
};

TEST_F(AudioBindingTest, InitialisesFromTheExecutablesFolderAndAppliesLastVolume) {
  CopyLibrary(RealLibrary, Work / "exe");
  gSettings.LastVolume = 300;
  ASSERT_TRUE(InitAudio());
  EXPECT_TRUE(Logged("loading audio-functions..."));
  EXPECT_TRUE(Logged("using fmod version 4.1"));
  EXPECT_NE(gAudioSystem, nullptr);
  EXPECT_EQ(gSettings.LastVolume, 255);
  EXPECT_FLOAT_EQ(MasterVolume(), 1.0f);
  EXPECT_TRUE(ApplyMasterVolume(51));
  EXPECT_FLOAT_EQ(MasterVolume(), 0.2f);
  EXPECT_FALSE(fs::exists(kAudioLibraryName)) << "nothing is written when loading works";
  CloseAudio();
  EXPECT_FALSE(IsAudioBound());
  EXPECT_EQ(gAudioLib.System_Create, nullptr);
}

TEST_F(AudioBindingTest, BindTriesTheCurrentFolderSecondAndReports69WhenBothFail) {
  EXPECT_EQ(Bind(), FMOD_ERR_LIBRARY_LOAD);
  CopyLibrary(RealLibrary, Work / "cwd");
  EXPECT_EQ(Bind(), FMOD_OK);
  EXPECT_TRUE(HasAllEntryPoints());
  // The executable's folder comes first.
  CopyLibrary(OldLibrary, Work / "exe");
  ASSERT_EQ(Bind(), FMOD_OK);
  unsigned version = 0;
  FMOD_SYSTEM* system = nullptr;
  ASSERT_EQ(gAudioLib.System_Create(&system), FMOD_OK);
  ASSERT_EQ(gAudioLib.System_GetVersion(system, &version), FMOD_OK);
  EXPECT_EQ(version, 0x00040000u);
  Unbind();
}

TEST_F(AudioBindingTest, WritesTheCarriedCopyWhenNoLibraryLoads) {
  ASSERT_FALSE(CarriedAudioLibrary().empty());
  ASSERT_TRUE(InitAudio());
  const auto written = ReadWholeFile(kAudioLibraryName);
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == CarriedAudioLibrary());
  EXPECT_EQ(*written, *ReadWholeFile(RealLibrary)) << "the carried copy is the built library";
  EXPECT_TRUE(Logged("using fmod version 4.1"));
}

TEST_F(AudioBindingTest, ReplacesAFileThatFailsToLoad) {
  std::ofstream(kAudioLibraryName) << "not a shared object";
  ASSERT_TRUE(InitAudio());
  EXPECT_TRUE(*ReadWholeFile(kAudioLibraryName) == CarriedAudioLibrary());
}

TEST_F(AudioBindingTest, FailsWhenTheCopyCannotBeWritten) {
  fs::create_directory(kAudioLibraryName);  // a folder where the file should go
  EXPECT_FALSE(InitAudio());
  EXPECT_TRUE(Logged("ERROR: could not load fmod!"));
  EXPECT_FALSE(IsAudioBound());
}

TEST_F(AudioBindingTest, RefusesAVersionBelow4Point1) {
  CopyLibrary(OldLibrary, Work / "exe");
  EXPECT_FALSE(InitAudio());
  EXPECT_TRUE(Logged("using fmod version 4.0"));
  EXPECT_TRUE(Logged("ERROR: Need a fmod version of at least 4.1!"));
  EXPECT_EQ(gAudioSystem, nullptr);
}

TEST_F(AudioBindingTest, RefusesALibraryLackingAFunctionThePlayerCalls) {
  CopyLibrary(IncompleteLibrary, Work / "exe");
  EXPECT_FALSE(InitAudio());
  EXPECT_TRUE(Logged("ERROR: Asssertion failed: could not load functions from dynamic library"));
  EXPECT_FALSE(IsAudioBound());
}

TEST_F(AudioBindingTest, OutputThatCannotOpenFailsInitWithTheLibrarysText) {
  CopyLibrary(RealLibrary, Work / "exe");
  setenv("VESPERON_AUDIO_OUTPUT", "wav:/nonexistent-folder/x.wav", 1);
  EXPECT_FALSE(InitAudio());
  EXPECT_TRUE(Logged("ERROR: could not init fmod: " + ErrorText(FMOD_ERR_OUTPUT_INIT)));
}

}  // namespace
}  // namespace vesperon
