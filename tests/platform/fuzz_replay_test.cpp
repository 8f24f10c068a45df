// Replays the stencil fuzzer's seeds and every input it ever flagged
// (tests/data/fuzz/fuzz_platform_stencil/crashes/) through the same checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "stencil_check.h"

namespace vesperon {
namespace {

TEST(FuzzReplay, StencilInputsGiveExactRegionsAndSafeDrawing) {
  const std::filesystem::path dir =
      std::filesystem::path(VESPERON_TEST_DATA) / "fuzz" / "fuzz_platform_stencil";
  int count = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    EXPECT_TRUE(CheckStencilBytes(bytes.data(), bytes.size())) << e.path();
    ++count;
  }
  EXPECT_GE(count, 3);
}

}  // namespace
}  // namespace vesperon
