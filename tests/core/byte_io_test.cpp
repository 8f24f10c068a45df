#include "core/byte_io.h"

#include <gtest/gtest.h>

#include <string>

using namespace vesperon;

TEST(ByteIo, WritersAndReaderAgreeFieldByField) {
  std::string appended;
  PutU8(appended, 0x12);
  PutU16(appended, 0x3456);
  PutU32(appended, 0x789ABCDEu);
  PutI32(appended, -2);
  PutI64(appended, -3);
  EXPECT_EQ(appended.substr(0, 7), std::string("\x12\x56\x34\xDE\xBC\x9A\x78", 7));

  std::string fixed(4 + 8 + 6, '\0');
  TByteWriter out(fixed.data(), fixed.data() + fixed.size());
  out.I32(-7);
  out.F64(2.5);
  out.U16Units(u"\u00e9\U0001F600");
  EXPECT_TRUE(out.Full());
  EXPECT_FALSE(out.Failed());
  EXPECT_EQ(fixed.substr(12),
            std::string("\xE9\x00\x3D\xD8\x00\xDE", 6));  // UTF-16LE, surrogates in order

  TByteReader in(appended);
  EXPECT_EQ(in.U8(), 0x12);
  EXPECT_EQ(in.U16(), 0x3456);
  EXPECT_EQ(in.U32(), 0x789ABCDEu);
  EXPECT_EQ(in.I32(), -2);
  EXPECT_EQ(in.I64(), -3);
  EXPECT_EQ(in.Remaining(), 0u);
  EXPECT_FALSE(in.Failed());

  TByteReader back(fixed);
  EXPECT_EQ(back.I32(), -7);
  EXPECT_EQ(back.F64(), 2.5);
  EXPECT_EQ(back.U16String(3), u"\u00e9\U0001F600");
  EXPECT_FALSE(back.Failed());
}

// A short read fails, moves to the end and stays failed: a caller may read a
// whole record and check once, and a loop "while bytes remain" ends.
TEST(ByteIo, ShortReadsFailAndStayFailed) {
  const std::string bytes("\x01\x02\x03", 3);
  TByteReader in(bytes);
  EXPECT_EQ(in.U16(), 0x0201);
  EXPECT_EQ(in.U32(), 0u);  // one byte left
  EXPECT_TRUE(in.Failed());
  EXPECT_EQ(in.Remaining(), 0u);
  EXPECT_EQ(in.U16String(0), u"");
  EXPECT_TRUE(in.Bytes(0).empty());
  EXPECT_TRUE(in.Failed());

  TByteReader huge(bytes);
  EXPECT_TRUE(huge.U16String(SIZE_MAX / 2 + 1).empty());  // no overflow of units * 2
  EXPECT_TRUE(huge.Failed());

  TByteReader seek(bytes);
  EXPECT_TRUE(seek.Seek(3));
  EXPECT_FALSE(seek.Failed());
  EXPECT_FALSE(seek.Seek(4));
  EXPECT_TRUE(seek.Failed());
  TByteReader skip(bytes);
  EXPECT_FALSE(skip.Skip(4));
  EXPECT_EQ(skip.U8(), 0);
}

TEST(ByteIo, WriterRefusesToOverrun) {
  std::string buffer(3, '\0');
  TByteWriter out(buffer.data(), buffer.data() + buffer.size());
  out.U16(0xFFFF);
  out.U16(0xFFFF);  // one byte of room: nothing is written
  EXPECT_TRUE(out.Failed());
  EXPECT_EQ(buffer, std::string("\xFF\xFF\x00", 3));
  out.U8(1);  // failed stays failed
  EXPECT_EQ(buffer[2], '\0');
}
