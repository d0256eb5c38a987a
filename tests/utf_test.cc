#include "platform/utf.h"

#include <gtest/gtest.h>

#include <random>

namespace jotlog {
namespace {

TEST(Utf8, DecodesValidTextAndEscapesEveryInvalidByte) {
  EXPECT_EQ(DecodeUtf8("a\xE7\xA2\xBA\xF0\x9F\x93\x9D"), u"a確\U0001F4DD");
  EXPECT_EQ(DecodeUtf8("caf\xE9"), u"caf\xDCE9");
  EXPECT_EQ(DecodeUtf8("\xC0\xAF\xED\xA0\x80"), u"\xDCC0\xDCAF\xDCED\xDCA0\xDC80");
  EXPECT_EQ(DecodeUtf8("\xF4\x90\x80\x80\xE7\xA2"), u"\xDCF4\xDC90\xDC80\xDC80\xDCE7\xDCA2");
  std::u16string out;
  EXPECT_EQ(DecodeUtf8("a\xE7\xA2", false, out), 1u);  // the tail waits for the next chunk
  EXPECT_EQ(out, u"a");
}

TEST(Utf8, AnyByteStringSurvivesTheRoundTripAndNamesRefuseNul) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 12, '\0');
    for (char& b : bytes)
      b = static_cast<char>(random() % 4 == 0 ? 0xE0 + random() % 32 : random());
    EXPECT_EQ(EncodeUtf8(DecodeUtf8(bytes)), bytes);
    auto name = EncodeUtf8Name(DecodeUtf8(bytes));
    EXPECT_EQ(name.has_value(), bytes.find('\0') == std::string::npos);
    EXPECT_EQ(name.value_or(""), bytes.find('\0') == std::string::npos ? bytes : "");
  }
  EXPECT_FALSE(EncodeUtf8Name(u"a\xD800").has_value());
  EXPECT_EQ(EncodeUtf8(u"\xD800"), "\xED\xA0\x80");
}

}  // namespace
}  // namespace jotlog
