// The packed skin file: writer-to-reader round trips, and damaged files
// (cut, flipped, lying lengths) that must fail with a clear error.
#include <gtest/gtest.h>

#include <zlib.h>

#include "core/byte_io.h"
#include "core/files.h"
#include "skin/bmp.h"
#include "skin/packed_skin.h"
#include "skin_test_util.h"

namespace vesperon {
namespace {

using test::MakeImage;
using test::TLogCapture;

const std::string kDescription = "<skin><window><name>main</name></window></skin>";

std::vector<TImageRecord> SomeRecords() {
  return {{"a.bmp", false, EncodeBmp24(MakeImage(3, 2, 10, 20, 30))},
          {"mask.bmp", true, EncodeBmp24(MakeImage(5, 1, 255, 255, 255))}};
}

TEST(PackedSkinLayout, HasTheFieldsAtTheirOffsets) {
  const std::vector<TImageRecord> records = SomeRecords();
  const std::string layout = LayoutPackedSkin(kDescription, records);
  TByteReader in(layout);
  EXPECT_EQ(in.I64(), static_cast<int64_t>(kDescription.size()));
  EXPECT_EQ(in.Bytes(kDescription.size()), kDescription);
  EXPECT_EQ(in.I64(), static_cast<int64_t>(records[0].Bitmap.size()));
  EXPECT_EQ(in.U8(), 5);
  EXPECT_EQ(in.Bytes(5), "a.bmp");
  in.Skip(250);
  EXPECT_EQ(in.U8(), 0);
  EXPECT_EQ(in.Bytes(records[0].Bitmap.size()), records[0].Bitmap);
  in.Skip(8 + 256);
  EXPECT_EQ(in.U8(), 1);
  EXPECT_EQ(in.Remaining(), records[1].Bitmap.size());
}

TEST(PackedSkin, CompressesAtLevelNineAndReadsBack) {
  const std::string layout = LayoutPackedSkin(kDescription, SomeRecords());
  const std::string packed = CompressPackedSkin(layout);
  ASSERT_GE(packed.size(), 2u);
  EXPECT_EQ(static_cast<uint8_t>(packed[0]), 0x78);
  EXPECT_EQ(static_cast<uint8_t>(packed[1]), 0xDA);  // zlib header of level 9
  TPackedSkin skin;
  ASSERT_TRUE(ReadPackedSkin(packed, "test", skin));
  EXPECT_EQ(skin.Description, kDescription);
  EXPECT_STREQ(skin.Document.child("skin").child("window").child_value("name"), "main");
  ASSERT_EQ(skin.Images.size(), 2u);
  EXPECT_EQ(skin.Images[0].Name, "a.bmp");
  EXPECT_FALSE(skin.Images[0].IsMask);
  EXPECT_EQ(skin.Images[0].Image.Width, 3);
  EXPECT_EQ(skin.Images[0].Image.Pixel(2, 1)[2], 10);
  EXPECT_EQ(skin.Images[0].BitCount, 24);
  EXPECT_EQ(skin.Images[1].Name, "mask.bmp");
  EXPECT_TRUE(skin.Images[1].IsMask);
  EXPECT_EQ(FindImage(skin.Images, "mask.bmp"), 1);
  EXPECT_EQ(FindImage(skin.Images, "MASK.bmp"), -1);
}

TEST(PackedSkin, EmptyDescriptionAndNoRecordsStillParse) {
  TPackedSkin skin;
  std::string error;
  EXPECT_FALSE(ReadPackedLayout(LayoutPackedSkin("", {}), skin, error));  // no document at all
  EXPECT_NE(error.find("XML"), std::string::npos);
  EXPECT_TRUE(ReadPackedLayout(LayoutPackedSkin("<other/>", {}), skin, error)) << error;
  EXPECT_TRUE(skin.Images.empty());
}

TEST(PackedSkin, FindImageTakesTheFirstOfEqualNames) {
  std::vector<TSkinImage> images(3);
  images[0].Name = "x";
  images[1].Name = "y";
  images[2].Name = "y";
  EXPECT_EQ(FindImage(images, "y"), 1);
  EXPECT_EQ(FindImage({}, "y"), -1);
  images[2].Name = std::string(255, 'n');
  EXPECT_EQ(FindImage(images, std::string(300, 'n')), 2);  // looked up as a short string
}

struct TDamage {
  const char* Name;
  std::string Layout;
  const char* Error;
};

TEST(PackedSkin, LyingLayoutsFailWithTheProblem) {
  const std::string good = LayoutPackedSkin(kDescription, SomeRecords());
  std::string longDescription = good;
  longDescription[1] = static_cast<char>(0xF0);
  std::string negativeDescription = good;
  negativeDescription[7] = static_cast<char>(0x80);
  std::string hugeRecord = good;
  const std::size_t record = 8 + kDescription.size();
  hugeRecord[record + 6] = 0x7F;
  const std::vector<TDamage> damages = {
      {"empty", "", "length is cut off"},
      {"length cut", good.substr(0, 5), "length is cut off"},
      {"description past the end", longDescription, "runs past the end"},
      {"negative description length", negativeDescription, "runs past the end"},
      {"record header cut", good.substr(0, record + 100), "image record 1 is cut off"},
      {"record bitmap cut", good.substr(0, record + 270), "image record 1 (\"a.bmp\") is cut off"},
      {"record size past the end", hugeRecord, "is cut off"},
      {"one stray byte at the end", good + "!", "image record 3 is cut off"},
  };
  for (const TDamage& d : damages) {
    SCOPED_TRACE(d.Name);
    TPackedSkin skin;
    std::string error;
    EXPECT_FALSE(ReadPackedLayout(d.Layout, skin, error));
    EXPECT_NE(error.find(d.Error), std::string::npos) << error;
    EXPECT_TRUE(skin.Images.empty());
    EXPECT_TRUE(skin.Description.empty());
  }
}

// One bitmap that does not decode costs only itself: the skin loads without
// it, with a warning naming it and why, and finds no image of that name.
TEST(PackedSkin, AnUndecodableBitmapIsLeftOutWithAWarning) {
  std::string layout = LayoutPackedSkin(kDescription, SomeRecords());
  layout[8 + kDescription.size() + 265] = 'X';  // "BM" of the first record becomes "XM"
  TLogCapture log;
  TPackedSkin skin;
  std::string error;
  ASSERT_TRUE(ReadPackedLayout(layout, skin, error, "\"odd.vsf\"")) << error;
  EXPECT_EQ(skin.Description, kDescription);
  ASSERT_EQ(skin.Images.size(), SomeRecords().size() - 1);
  EXPECT_EQ(FindImage(skin.Images, "a.bmp"), -1);
  EXPECT_EQ(FindImage(skin.Images, SomeRecords()[1].Name), 0);
  ASSERT_EQ(log.Lines.size(), 1u);
  EXPECT_EQ(log.Lines[0],
            "WARNING: could not load the image \"a.bmp\" of the skin \"odd.vsf\": not a BMP file "
            "(no \"BM\" "
            "signature); the skin is loaded without it");
}

TEST(PackedSkin, CutFilesFailCleanlyAtEveryOffset) {
  const std::string packed = CompressPackedSkin(LayoutPackedSkin(kDescription, SomeRecords()));
  for (std::size_t n = 0; n < packed.size(); ++n) {
    TLogCapture log;
    TPackedSkin skin;
    EXPECT_FALSE(ReadPackedSkin(packed.substr(0, n), "cut.vsf", skin)) << n;
    ASSERT_EQ(log.Lines.size(), 1u) << n;
    EXPECT_EQ(log.Lines[0].rfind("ERROR: could not load the skin cut.vsf: ", 0), 0u)
        << log.Lines[0];
    EXPECT_TRUE(skin.Images.empty());
  }
}

TEST(PackedSkin, FlippedBytesNeverPassUnnoticed) {
  const std::string packed = CompressPackedSkin(LayoutPackedSkin(kDescription, SomeRecords()));
  for (std::size_t i = 0; i < packed.size(); ++i)
    for (uint8_t bit : {0x01, 0x10, 0x80}) {
      std::string damaged = packed;
      damaged[i] = static_cast<char>(damaged[i] ^ bit);
      TLogCapture log;
      TPackedSkin skin;
      // The Adler-32 check catches every change of the content; only the
      // unused bits after the last deflate block may change harmlessly.
      if (ReadPackedSkin(damaged, "flipped.vsf", skin)) {
        EXPECT_EQ(skin.Description, kDescription) << i;
        EXPECT_TRUE(log.Lines.empty());
      } else {
        EXPECT_EQ(log.Lines.size(), 1u);
      }
    }
}

TEST(PackedSkin, StreamErrorsAreNamed) {
  const std::string packed = CompressPackedSkin(LayoutPackedSkin(kDescription, {}));
  std::string layout, error;
  EXPECT_FALSE(InflatePackedSkin(packed + "tail", layout, error));
  EXPECT_NE(error.find("after the end"), std::string::npos) << error;
  EXPECT_FALSE(InflatePackedSkin(packed.substr(0, packed.size() - 4), layout, error));
  EXPECT_NE(error.find("ends early"), std::string::npos) << error;
  EXPECT_FALSE(InflatePackedSkin("not zlib at all", layout, error));
  EXPECT_NE(error.find("corrupt"), std::string::npos) << error;
  EXPECT_TRUE(layout.empty());
}

TEST(PackedSkin, ReplaysFuzzerFindings) {
  const std::filesystem::path dir =
      std::filesystem::path(VESPERON_TEST_DATA) / "fuzz" / "fuzz_skin_packed" / "crashes";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const auto bytes = ReadWholeFile(entry.path());
    ASSERT_TRUE(bytes);
    TLogCapture log;
    TPackedSkin skin;
    ReadPackedSkin(*bytes, entry.path().filename().string(), skin);  // must neither crash nor hang
  }
}

}  // namespace
}  // namespace vesperon
