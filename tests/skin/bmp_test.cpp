// BMP decoding: files written by ImageMagick in every depth, hand-built
// variants ImageMagick does not write, malformed headers, and the encoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "core/byte_io.h"
#include "core/files.h"
#include "skin/bmp.h"
#include "skin_test_util.h"

namespace vesperon {
namespace {

using test::MakeImage;
using test::SetRgb;
using test::TTempDir;

constexpr int kW = 21, kH = 13;  // odd sizes: every row needs padding

// A picture with `colours` distinct colours in an irregular pattern.
TImage Pattern(int colours) {
  TImage img = MakeImage(kW, kH, 0, 0, 0);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const int i = (x * 7 + y * 11 + (x * y) % 5) % colours;
      if (colours <= 8) {
        SetRgb(img, x, y, (i & 4) ? 255 : 0, (i & 2) ? 255 : 0, (i & 1) ? 255 : 0);
      } else {
        SetRgb(img, x, y, (i * 37) % 256, (i * 91) % 256, (i * 53) % 256);
      }
    }
  return img;
}

std::string Ppm(const TImage& img) {
  std::string s = "P6\n" + std::to_string(img.Width) + " " + std::to_string(img.Height) + "\n255\n";
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) {
      const uint8_t* p = img.Pixel(x, y);
      s += static_cast<char>(p[2]);
      s += static_cast<char>(p[1]);
      s += static_cast<char>(p[0]);
    }
  return s;
}

// Runs ImageMagick's convert on the picture; nothing when it is missing.
std::optional<std::string> Convert(const TTempDir& dir, const TImage& source,
                                   const std::string& options) {
  const auto in = dir.Path() / "in.ppm", out = dir.Path() / "out.bmp";
  test::WriteFile(in, Ppm(source));
  // The options end with the output format ("BMP3:"), which prefixes the file name.
  const std::string cmd =
      "convert '" + in.string() + "' " + options + "'" + out.string() + "' 2>/dev/null";
  std::filesystem::remove(out);
  if (std::system(cmd.c_str()) != 0) return std::nullopt;
  return ReadWholeFile(out);
}

void ExpectSamePixels(const TImage& expected, const TImage& actual) {
  ASSERT_EQ(actual.Width, expected.Width);
  ASSERT_EQ(actual.Height, expected.Height);
  for (int y = 0; y < expected.Height; ++y)
    for (int x = 0; x < expected.Width; ++x)
      for (int k = 0; k < 4; ++k)
        ASSERT_EQ(actual.Pixel(x, y)[k], expected.Pixel(x, y)[k])
            << "pixel " << x << "," << y << " byte " << k;
}

struct TConvertCase {
  const char* Options;
  int Colours;
  int BitCount;
};

class BmpFromImageMagick : public testing::TestWithParam<TConvertCase> {};

TEST_P(BmpFromImageMagick, DecodesToTheSourcePixels) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ImageMagick is not installed";
  TTempDir dir;
  const TConvertCase& c = GetParam();
  const TImage source = c.Colours == 2 ? [] {
    TImage img = MakeImage(kW, kH, 0, 0, 0);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if ((x + 2 * y) % 3 == 0) SetRgb(img, x, y, 255, 255, 255);
    return img;
  }()
                                       : Pattern(c.Colours);
  const auto file = Convert(dir, source, c.Options);
  ASSERT_TRUE(file) << "convert failed for " << c.Options;
  TImage decoded;
  std::string error;
  TBmpFormat format;
  ASSERT_TRUE(DecodeBmp(*file, decoded, error, &format)) << error;
  EXPECT_EQ(format.BitCount, c.BitCount);
  ExpectSamePixels(source, decoded);
}

INSTANTIATE_TEST_SUITE_P(
    EveryDepth, BmpFromImageMagick,
    testing::Values(TConvertCase{"-type Bilevel -compress none BMP3:", 2, 1},
                    TConvertCase{"-type Palette -compress none BMP3:", 8, 4},
                    TConvertCase{"-type Palette -compress none BMP3:", 40, 8},
                    TConvertCase{"-type Palette -compress none BMP:", 40, 8},  // 124-byte header
                    TConvertCase{"-define bmp:subtype=RGB565 BMP:", 8, 16},  // masks in the header
                    TConvertCase{"-define bmp:subtype=RGB555 BMP3:", 8,
                                 16},  // masks after the header
                    TConvertCase{"-type TrueColor BMP3:", 40, 24},
                    TConvertCase{"-type TrueColor BMP:", 40, 24},
                    TConvertCase{"-alpha set -define bmp3:alpha=true BMP3:", 40, 32},
                    TConvertCase{"-alpha set BMP:", 40, 32}));  // bit fields

TEST(BmpDecode, RefusesRleWrittenByImageMagick) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ImageMagick is not installed";
  TTempDir dir;
  const auto file = Convert(dir, Pattern(40), "-type Palette -compress RLE BMP3:");
  ASSERT_TRUE(file);
  TImage decoded;
  std::string error;
  EXPECT_FALSE(DecodeBmp(*file, decoded, error));
  EXPECT_NE(error.find("RLE"), std::string::npos) << error;
  EXPECT_TRUE(decoded.Pixels.empty());
}

// --- Hand-built files -------------------------------------------------------

// A BMP with a 40-byte info header; fields can be overwritten afterwards.
struct TBmpBuilder {
  int32_t Width = 2, Height = 2;
  uint16_t BitCount = 24;
  uint32_t Compression = 0;
  uint32_t ColorsUsed = 0;
  std::string Palette;  // raw entries
  std::string Pixels;   // raw rows as stored

  std::string Build() const {
    std::string out = "BM";
    const uint32_t offset = 54 + static_cast<uint32_t>(Palette.size());
    PutU32(out, offset + static_cast<uint32_t>(Pixels.size()));
    PutU32(out, 0);
    PutU32(out, offset);
    PutU32(out, 40);
    PutI32(out, Width);
    PutI32(out, Height);
    PutU16(out, 1);
    PutU16(out, BitCount);
    PutU32(out, Compression);
    PutU32(out, static_cast<uint32_t>(Pixels.size()));
    PutU32(out, 2835);
    PutU32(out, 2835);
    PutU32(out, ColorsUsed);
    PutU32(out, 0);
    return out + Palette + Pixels;
  }
};

bool Decode(const std::string& file, TImage& img, std::string& error) {
  return DecodeBmp(file, img, error);
}

std::string Rgb(const TImage& img, int x, int y) {
  const uint8_t* p = img.Pixel(x, y);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02x%02x%02x/%02x", p[2], p[1], p[0], p[3]);
  return buf;
}

TEST(BmpDecode, TwentyOnePixelWideRowsAreSixtyFourBytes) {
  TBmpBuilder b;
  b.Width = 21;
  b.Height = 2;
  std::string bottom, top;
  for (int x = 0; x < 21; ++x) {
    bottom += std::string{static_cast<char>(x), 0, 0};  // blue ramp
    top += std::string{0, 0, static_cast<char>(x)};     // red ramp
  }
  b.Pixels = bottom + std::string(1, '\0') + top + std::string(1, '\0');
  ASSERT_EQ(b.Pixels.size(), 128u);
  TImage img;
  std::string error;
  ASSERT_TRUE(Decode(b.Build(), img, error)) << error;
  for (int x = 0; x < 21; ++x) {
    EXPECT_EQ(img.Pixel(x, 0)[2], x);  // the file's last row is the top
    EXPECT_EQ(img.Pixel(x, 1)[0], x);
    EXPECT_EQ(img.Pixel(x, 1)[3], 0);
  }
}

TEST(BmpDecode, VariantsImageMagickDoesNotWrite) {
  TImage img;
  std::string error;
  {
    SCOPED_TRACE("top-down rows (negative height)");
    TBmpBuilder b;
    b.Height = -2;
    b.Pixels = std::string("\x01\x02\x03\x04\x05\x06\0\0\x07\x08\x09\x0a\x0b\x0c\0\0", 16);
    ASSERT_TRUE(Decode(b.Build(), img, error)) << error;
    EXPECT_EQ(img.Height, 2);
    EXPECT_EQ(Rgb(img, 0, 0), "030201/00");
    EXPECT_EQ(Rgb(img, 1, 1), "0c0b0a/00");
  }
  {
    SCOPED_TRACE("16 bits without masks are 5-5-5");
    TBmpBuilder b;
    b.Width = 2;
    b.Height = 1;
    b.BitCount = 16;
    b.Pixels = std::string("\x00\x7c\x1f\x00", 4);  // pure red, pure blue
    ASSERT_TRUE(Decode(b.Build(), img, error)) << error;
    EXPECT_EQ(Rgb(img, 0, 0), "ff0000/00");
    EXPECT_EQ(Rgb(img, 1, 0), "0000ff/00");
  }
  {
    SCOPED_TRACE("an index past a short palette is black");
    TBmpBuilder b;
    b.Width = 2;
    b.Height = 1;
    b.BitCount = 8;
    b.ColorsUsed = 1;
    b.Palette = std::string("\x10\x20\x30\x00", 4);
    b.Pixels = std::string("\x00\xc8\0\0", 4);
    ASSERT_TRUE(Decode(b.Build(), img, error)) << error;
    EXPECT_EQ(Rgb(img, 0, 0), "302010/00");
    EXPECT_EQ(Rgb(img, 1, 0), "000000/00");
  }
  {
    SCOPED_TRACE("the last row's padding may be missing");
    TBmpBuilder b;
    b.Width = 1;
    b.Height = 2;
    b.Pixels = std::string("\x01\x02\x03\0\x04\x05\x06", 7);
    ASSERT_TRUE(Decode(b.Build(), img, error)) << error;
    EXPECT_EQ(Rgb(img, 0, 0), "060504/00");
  }
  {
    SCOPED_TRACE("the 12-byte core header with a 3-byte palette");
    std::string f = "BM";
    PutU32(f, 0);
    PutU32(f, 0);
    PutU32(f, 14 + 12 + 6);
    PutU32(f, 12);
    PutU16(f, 2);
    PutU16(f, 1);
    PutU16(f, 1);
    PutU16(f, 1);
    f += std::string("\x00\x00\x00\xff\xff\xff", 6);
    f += std::string("\x40\0\0\0", 4);  // pixel 0 black, pixel 1 white
    ASSERT_TRUE(Decode(f, img, error)) << error;
    EXPECT_EQ(Rgb(img, 0, 0), "000000/00");
    EXPECT_EQ(Rgb(img, 1, 0), "ffffff/00");
  }
}

struct TMalformed {
  const char* Name;
  std::string File;
  const char* Error;  // part of the expected message
};

std::vector<TMalformed> MalformedFiles() {
  std::vector<TMalformed> cases;
  TBmpBuilder good;
  good.Pixels = std::string(16, '\x7f');
  const std::string ok = good.Build();
  auto with = [&](auto change) {
    TBmpBuilder b = good;
    change(b);
    return b.Build();
  };
  auto patched = [&](std::size_t at, uint32_t value, int size = 4) {
    std::string f = ok;
    for (int i = 0; i < size; ++i) f[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return f;
  };
  cases.push_back({"empty", "", "too short"});
  cases.push_back({"file header only", ok.substr(0, 14), "too short"});
  cases.push_back({"info header cut", ok.substr(0, 40), "cut off"});
  cases.push_back({"no signature", "XY" + ok.substr(2), "signature"});
  cases.push_back({"header size 20", patched(14, 20), "header size"});
  cases.push_back({"header size huge", patched(14, 0xFFFFFF00u), "header size"});
  cases.push_back({"width 0", with([](TBmpBuilder& b) { b.Width = 0; }), "width"});
  cases.push_back({"negative width", with([](TBmpBuilder& b) { b.Width = -2; }), "width"});
  cases.push_back({"height 0", with([](TBmpBuilder& b) { b.Height = 0; }), "height"});
  cases.push_back(
      {"smallest height", with([](TBmpBuilder& b) { b.Height = INT32_MIN; }), "height"});
  cases.push_back(
      {"huge dimensions", with([](TBmpBuilder& b) { b.Width = b.Height = 30000; }), "too large"});
  cases.push_back({"bit count 7", with([](TBmpBuilder& b) { b.BitCount = 7; }), "bit count"});
  cases.push_back({"bit count 0", with([](TBmpBuilder& b) { b.BitCount = 0; }), "bit count"});
  cases.push_back({"RLE4", with([](TBmpBuilder& b) {
                     b.Compression = 2;
                     b.BitCount = 4;
                   }),
                   "RLE"});
  cases.push_back({"JPEG", with([](TBmpBuilder& b) { b.Compression = 4; }), "JPEG"});
  cases.push_back(
      {"compression 99", with([](TBmpBuilder& b) { b.Compression = 99; }), "compression"});
  cases.push_back(
      {"bit fields on 24 bits", with([](TBmpBuilder& b) { b.Compression = 3; }), "bit-field"});
  cases.push_back({"masks cut off", with([](TBmpBuilder& b) {
                                      b.Compression = 3;
                                      b.BitCount = 32;
                                      b.Palette = std::string(
                                          12, '\xff');  // room for the masks before the pixels
                                    }).substr(0, 60),
                   "masks"});
  cases.push_back({"masks with holes", with([](TBmpBuilder& b) {
                     b.Compression = 3;
                     b.BitCount = 32;
                     b.Palette = std::string("\x0f\x0f\0\0\0\xff\0\0\0\0\xff\0", 12);
                   }),
                   "contiguous"});
  cases.push_back({"palette cut off", with([](TBmpBuilder& b) {
                     b.BitCount = 8;
                     b.Palette = std::string(20, '\0');
                     b.Pixels.clear();
                   }),
                   "palette"});
  cases.push_back({"pixels one byte short", ok.substr(0, ok.size() - 3), "pixel data"});
  cases.push_back({"pixel offset past the end but pixels missing",
                   patched(10, 0xFFFFFFF0u).substr(0, 60), "pixel data"});
  return cases;
}

TEST(BmpDecode, RefusesMalformedFilesWithAReason) {
  for (const TMalformed& c : MalformedFiles()) {
    SCOPED_TRACE(c.Name);
    TImage img = MakeImage(1, 1, 1, 2, 3);
    std::string error;
    EXPECT_FALSE(DecodeBmp(c.File, img, error));
    EXPECT_NE(error.find(c.Error), std::string::npos) << "message: " << error;
    EXPECT_TRUE(img.Pixels.empty());
    EXPECT_EQ(img.Width, 0);
  }
}

TEST(BmpDecode, SurvivesEveryTruncationOfAValidFile) {
  const std::string file = EncodeBmp24(Pattern(40));
  for (std::size_t n = 0; n < file.size(); ++n) {
    TImage img;
    std::string error;
    if (DecodeBmp(file.substr(0, n), img, error)) {
      // Only the final row's padding may be missing.
      EXPECT_GE(n, file.size() - 1) << n;
    }
  }
}

TEST(BmpEncode, RoundTripsThroughTheDecoder) {
  const TImage source = Pattern(40);
  const std::string file = EncodeBmp24(source);
  EXPECT_EQ(file.size(), 54u + 64u * kH);  // 21 pixels: 63 bytes padded to 64
  TImage decoded;
  std::string error;
  TBmpFormat format;
  ASSERT_TRUE(DecodeBmp(file, decoded, error, &format)) << error;
  EXPECT_EQ(format.BitCount, 24);
  EXPECT_EQ(format.Planes, 1);
  ExpectSamePixels(source, decoded);
}

TEST(BmpDecode, ReplaysFuzzerFindings) {
  const std::filesystem::path dir =
      std::filesystem::path(VESPERON_TEST_DATA) / "fuzz" / "fuzz_skin_bmp" / "crashes";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const auto bytes = ReadWholeFile(entry.path());
    ASSERT_TRUE(bytes);
    TImage img;
    std::string error;
    DecodeBmp(*bytes, img, error);  // must neither crash nor hang
    if (!img.Pixels.empty()) {
      EXPECT_EQ(img.Pixels.size(), std::size_t(img.Width) * img.Height * 4);
    }
  }
}

}  // namespace
}  // namespace vesperon
