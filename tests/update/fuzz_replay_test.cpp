// Replays the fuzz target's seeds and every crash it ever found
// (tests/data/fuzz/fuzz_update_answer/crashes/) through the same checks.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include <gtest/gtest.h>

#include "core/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace vesperon {
namespace {

TEST(UpdateFuzzReplay, SeedsAndCrashesPass) {
  const std::filesystem::path dir =
      std::filesystem::path(VESPERON_TEST_DATA) / "fuzz" / "fuzz_update_answer";
  int replayed = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const auto bytes = ReadWholeFile(entry.path());
    ASSERT_TRUE(bytes) << entry.path();
    SCOPED_TRACE(entry.path().string());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
    ++replayed;
  }
  EXPECT_GE(replayed, 5);
}

}  // namespace
}  // namespace vesperon
