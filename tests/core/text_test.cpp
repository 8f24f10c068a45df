#include <gtest/gtest.h>

#include "core/text.h"

using namespace vesperon;

TEST(Text, Utf8RoundTripKeepsStrayBytes) {
  const std::string latin1_name = "caf\xe9-\xff.mp3";  // not UTF-8
  const std::u16string wide = Utf8ToUtf16(latin1_name);
  EXPECT_EQ(wide.size(), latin1_name.size());
  EXPECT_EQ(Utf16ToUtf8(wide), latin1_name);
}

TEST(Text, Utf8ToUtf16HandlesAllPlanes) {
  EXPECT_EQ(Utf8ToUtf16("a\xc3\xa4\xe2\x82\xac\xf0\x9f\x8e\xb5"), u"a\u00e4\u20ac\U0001F3B5");
  EXPECT_EQ(Utf16ToUtf8(u"a\u00e4\u20ac\U0001F3B5"), "a\xc3\xa4\xe2\x82\xac\xf0\x9f\x8e\xb5");
  // Overlong and surrogate encodings are not UTF-8: they are escaped byte by byte.
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xed\xa0\x80")), "\xed\xa0\x80");
}

TEST(Text, Windows1252BothWays) {
  EXPECT_EQ(Cp1252ToUtf16("\x80\x9f\xe4\x81"), u"\u20ac\u0178\u00e4\u0081");
  EXPECT_EQ(Utf16ToCp1252(u"\u20ac\u0178\u00e4\u0081"), "\x80\x9f\xe4\x81");
  EXPECT_EQ(Utf16ToCp1252(u"\u4e2d"), "?");
}

TEST(Text, AsciiCaseLeavesOtherLettersAlone) {
  EXPECT_EQ(AsciiLower("PLAY\xc3\x84"), "play\xc3\x84");
  EXPECT_EQ(AsciiUpper(u"onsong\u00e4"), u"ONSONG\u00e4");
}
