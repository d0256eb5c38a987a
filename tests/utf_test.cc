#include "platform/utf.h"

#include <gtest/gtest.h>

#include <random>

namespace jotlog {
namespace {

TEST(Utf8, DecodesValidTextAndEscapesEveryInvalidByte) {
  EXPECT_EQ(DecodeUtf8("abc"), u"abc");
  EXPECT_EQ(DecodeUtf8("\xE7\xA2\xBA\xE8\xAA\x8D"), u"確認");
  EXPECT_EQ(DecodeUtf8("\xF0\x9F\x93\x9D"), u"\U0001F4DD");
  EXPECT_EQ(DecodeUtf8("caf\xE9"), u"caf\xDCE9");
  EXPECT_EQ(DecodeUtf8("\xC0\xAF"), u"\xDCC0\xDCAF");                      // overlong
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), u"\xDCED\xDCA0\xDC80");            // encoded surrogate
  EXPECT_EQ(DecodeUtf8("\xF4\x90\x80\x80"), u"\xDCF4\xDC90\xDC80\xDC80");  // past U+10FFFF
  EXPECT_EQ(DecodeUtf8("\xE7\xA2"), u"\xDCE7\xDCA2");                      // cut short at the end
}

TEST(Utf8, AnyByteStringSurvivesTheRoundTrip) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 12, '\0');
    for (char& b : bytes)
      b = static_cast<char>(random() % 4 == 0 ? 0xE0 + random() % 32 : random());
    EXPECT_EQ(EncodeUtf8(DecodeUtf8(bytes)), bytes);
    auto name = EncodeUtf8Name(DecodeUtf8(bytes));
    if (bytes.find('\0') == std::string::npos) {
      ASSERT_TRUE(name.has_value());
      EXPECT_EQ(*name, bytes);
    } else {
      EXPECT_FALSE(name.has_value());
    }
  }
}

TEST(Utf8, ChunkedDecodingLeavesAnIncompleteTailForTheNextChunk) {
  std::u16string out;
  EXPECT_EQ(DecodeUtf8("a\xE7\xA2", false, out), 1u);
  EXPECT_EQ(out, u"a");
  EXPECT_EQ(DecodeUtf8("\xE7\xA2\xBA", false, out), 3u);
  EXPECT_EQ(out, u"a確");
}

TEST(Utf8, NamesRefuseWhatNoByteNameStandsFor) {
  EXPECT_FALSE(EncodeUtf8Name(std::u16string(u"a\0b", 3)).has_value());
  EXPECT_FALSE(EncodeUtf8Name(u"a\xD800").has_value());
  EXPECT_FALSE(EncodeUtf8Name(u"\xDC00").has_value());
  // File contents keep such units in their three-byte form instead.
  EXPECT_EQ(EncodeUtf8(u"\xD800"), "\xED\xA0\x80");
}

}  // namespace
}  // namespace jotlog
