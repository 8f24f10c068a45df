// Replays the fuzzing seeds and every input the fuzzers ever flagged
// (tests/data/fuzz/<target>/crashes/) through the loader and the tag reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "core/files.h"
#include "core/text.h"
#include "media/id3_tag.h"
#include "media/mediadb.h"
#include "media/taglib_tags.h"

namespace vesperon {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Inputs(const char* target) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(VESPERON_TEST_DATA) / "fuzz" / target;
  if (!fs::exists(dir)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) files.push_back(e.path());
  }
  return files;
}

TEST(FuzzReplay, DatabaseInputsLoadAndSaveBackUnchanged) {
  const std::vector<fs::path> files = Inputs("fuzz_media_dbload");
  ASSERT_FALSE(files.empty());
  for (const fs::path& f : files) {
    SCOPED_TRACE(f.string());
    const std::string bytes = *ReadWholeFile(f);
    TMediaDB db;
    db.LoadFromBytes(bytes, u"replay");
    const std::string saved = db.SaveToBytes();
    if (db.Count() > 0) {
      ASSERT_LE(saved.size(), bytes.size());
      EXPECT_EQ(saved.substr(4), bytes.substr(4, saved.size() - 4));
    }
    TMediaDB again;
    again.LoadFromBytes(saved, u"replay");
    EXPECT_EQ(again.SaveToBytes(), saved);
  }
}

TEST(FuzzReplay, TagInputsGiveWellDefinedFields) {
  const std::vector<fs::path> files = Inputs("fuzz_media_tag");
  ASSERT_FALSE(files.empty());
  // One reader for every input, as in a directory scan: what its kept
  // frame objects held for one input must not show in the next.
  TTagLibReader reader;
  for (const fs::path& f : files) {
    SCOPED_TRACE(f.string());
    const std::string bytes = *ReadWholeFile(f);
    TID3TagReader r;
    r.ReadBytes(bytes);
    EXPECT_GE(r.Year, 0);
    EXPECT_LE(r.Year, 9999);
    EXPECT_LE(r.Title.size(), 30u);
    EXPECT_LE(r.Comment.size(), 28u);
    DecodeTagField(bytes);
    // The frame walk of plain ID3v2 tags gives what the whole tag gives.
    TTagMemory memory(bytes);
    const TTagText walked = reader.Read(memory),
                   whole = ReadTagLibTags(memory, {}, TId3v2Reading::WholeTag);
    EXPECT_TRUE(walked == whole) << Utf16ToUtf8(walked.Title) << " / " << Utf16ToUtf8(whole.Title);
  }
}

}  // namespace
}  // namespace vesperon
