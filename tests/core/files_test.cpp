#include <gtest/gtest.h>

#include <filesystem>

#include "core/files.h"
#include "test_folder.h"

using namespace vesperon;
using vesperon::testing::TTestFolder;

TEST(Files, ReadWholeFileKeepsBinaryAndRefusesWhatIsNoFile) {
  TTestFolder folder;
  const std::string bytes("a\0b\r\n\xff", 6);
  vesperon::testing::WriteFile("data.bin", bytes);
  EXPECT_EQ(ReadWholeFile("data.bin"), bytes);
  EXPECT_FALSE(ReadWholeFile("missing.bin").has_value());
  std::filesystem::create_directory("folder");
  EXPECT_FALSE(ReadWholeFile("folder").has_value());  // not an empty file
}

TEST(Files, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
  TTestFolder folder;
  vesperon::testing::WriteFile("settings.xml", "old");
  ASSERT_TRUE(WriteFileAtomically("settings.xml", "new contents"));
  EXPECT_EQ(ReadWholeFile("settings.xml"), "new contents");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path))
    ++files;
  EXPECT_EQ(files, 1);
}

TEST(Files, FailedAtomicWriteKeepsTheOldFile) {
  TTestFolder folder;
  vesperon::testing::WriteFile("media.db", "previous");
  // The target's name is taken by a folder: the rename fails, the folder and
  // its contents stay, and no temporary file is left behind.
  std::filesystem::create_directory("busy");
  vesperon::testing::WriteFile("busy/keep", "x");
  EXPECT_FALSE(WriteFileAtomically("busy", "bytes"));
  EXPECT_TRUE(std::filesystem::is_directory("busy"));
  EXPECT_FALSE(WriteFileAtomically("no-such-folder/media.db", "bytes"));
  EXPECT_EQ(ReadWholeFile("media.db"), "previous");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path))
    ++files;
  EXPECT_EQ(files, 2);
}

TEST(Files, NonUtf8NamesSurviveTheTripThroughUtf16) {
  TTestFolder folder;
  const std::filesystem::path name("caf\xe9.mp3");
  vesperon::testing::WriteFile(name, "x");
  const std::u16string wide = U16FromPath(name);
  EXPECT_EQ(ReadWholeFile(PathFromU16(wide)), "x");
}
