// The update list's record layout, and the checks on untrusted entries.
#include "update/update_record.h"

#include <gtest/gtest.h>

namespace vesperon {
namespace {

TUpdateInfo SampleInfo() {
  TUpdateInfo info;
  info.ID = 0x01020304;
  info.Name = "Player 4.1";
  info.FileName = "vesperon";
  info.UpdateType = utSkin;
  info.Path = "/files/vesperon-4.1";
  info.ValueA = 0x1122;
  info.ValueB = 0x3344;
  info.ValueC = 0xFFFF;
  info.TextA = "first";
  info.TextB = std::string(255, 'b');
  return info;
}

void ExpectSame(const TUpdateInfo& a, const TUpdateInfo& b) {
  EXPECT_EQ(a.ID, b.ID);
  EXPECT_EQ(a.Name, b.Name);
  EXPECT_EQ(a.FileName, b.FileName);
  EXPECT_EQ(a.UpdateType, b.UpdateType);
  EXPECT_EQ(a.Path, b.Path);
  EXPECT_EQ(a.ValueA, b.ValueA);
  EXPECT_EQ(a.ValueB, b.ValueB);
  EXPECT_EQ(a.ValueC, b.ValueC);
  EXPECT_EQ(a.TextA, b.TextA);
  EXPECT_EQ(a.TextB, b.TextB);
}

TEST(UpdateRecord, FieldsSitAtTheirOffsetsLittleEndian) {
  const std::string bytes = WriteUpdateRecord(SampleInfo());
  ASSERT_EQ(bytes.size(), kUpdateRecordSize);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(bytes[4], 10);
  EXPECT_EQ(bytes.substr(5, 10), "Player 4.1");
  EXPECT_EQ(bytes[55], 8);
  EXPECT_EQ(bytes.substr(56, 8), "vesperon");
  EXPECT_EQ(bytes.substr(106, 4), std::string("\x01\0\0\0", 4));
  EXPECT_EQ(bytes[110], 19);
  EXPECT_EQ(bytes.substr(111, 19), "/files/vesperon-4.1");
  EXPECT_EQ(bytes.substr(366, 6), "\x22\x11\x44\x33\xFF\xFF");
  EXPECT_EQ(bytes.substr(372, 6), std::string("\x05"
                                              "first",
                                              6));
  EXPECT_EQ(static_cast<unsigned char>(bytes[628]), 255);
  EXPECT_EQ(bytes.substr(629), std::string(255, 'b'));
}

TEST(UpdateRecord, RoundTripsAndCutsOverlongStrings) {
  ExpectSame(ReadUpdateRecord(WriteUpdateRecord(SampleInfo())), SampleInfo());
  TUpdateInfo longer = SampleInfo();
  longer.Name = std::string(80, 'n');
  longer.Path = std::string(300, 'p');
  const TUpdateInfo back = ReadUpdateRecord(WriteUpdateRecord(longer));
  EXPECT_EQ(back.Name, std::string(50, 'n'));
  EXPECT_EQ(back.Path, std::string(255, 'p'));
}

TEST(UpdateRecord, LengthByteBeyondItsFieldTakesOnlyTheField) {
  std::string bytes = WriteUpdateRecord(SampleInfo());
  bytes[4] = static_cast<char>(200);  // Name claims 200 of its 50 bytes
  const TUpdateInfo info = ReadUpdateRecord(bytes);
  EXPECT_EQ(info.Name.size(), 50u);
  EXPECT_EQ(info.FileName, "vesperon");
}

TEST(UpdateRecord, CountIsSizeDivRecordSize) {
  const std::string one = WriteUpdateRecord(SampleInfo());
  EXPECT_TRUE(ReadUpdateRecords(one.substr(0, 883)).empty());
  EXPECT_EQ(ReadUpdateRecords(one + one).size(), 2u);
  EXPECT_EQ(ReadUpdateRecords(one + one + "x").size(), 2u);
  EXPECT_TRUE(ReadUpdateRecords("").empty());
}

TEST(UpdateRecord, UnsafeFileNamesAndPathsAreRecognised) {
  for (const char* name : {"vesperon", "vesperon-4.1", "...", ". x", "a b"})
    EXPECT_TRUE(IsSafeUpdateFileName(name)) << name;
  for (const char* name :
       {"", ".", "..", "../vesperon", "/etc/passwd", "sub/file", "a\\b", "a\nb", "a\tb", "x\x7F"})
    EXPECT_FALSE(IsSafeUpdateFileName(name)) << name;
  EXPECT_FALSE(IsSafeUpdateFileName(std::string("a\0b", 3)));
  EXPECT_TRUE(IsSafeUpdatePath("/updates/vesperon/4.1 beta?x=1"));
  EXPECT_FALSE(IsSafeUpdatePath("/a HTTP/1.0\r\nHost: elsewhere\r\n\r\n"));
  EXPECT_FALSE(IsSafeUpdatePath("/a\nb"));
  EXPECT_EQ(PrintableText("one\r\ntwo"), "one??two");
  // Names are Windows-1252, as every other 8-bit text: the log stays UTF-8.
  EXPECT_EQ(PrintableText("Vesperon f\xfcr \x80 \x93x\x94"),
            "Vesperon f\xc3\xbcr \xe2\x82\xac \xe2\x80\x9cx\xe2\x80\x9d");
}

}  // namespace
}  // namespace vesperon
