#include "app/memo_entry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "settings/keys.h"
#include "tests/fake_platform.h"

namespace jotlog {
namespace {

struct ReplaceCase {
  std::u16string text;
  std::u16string pattern;
  std::u16string replacement;
  std::u16string expected;
};

TEST(ReplaceAll, FollowsTheLeftToRightRules) {
  const ReplaceCase cases[] = {
      {u"a%X%b%X%", u"%X%", u"1", u"a1b1"},
      {u"nothing here", u"%X%", u"1", u"nothing here"},
      {u"%date%", u"%DATE%", u"1", u"%date%"},  // case-sensitive
      {u"aaa", u"aa", u"b", u"ba"},             // leftmost, no overlap
      // The replacement holds the pattern: inserted text is not searched again.
      {u"ab", u"a", u"aa", u"aab"},
      // The inserted text's end and the text after it spell the pattern: left alone.
      {u"%M%M%", u"%M%", u"%", u"%M%"},
      // An empty replacement: the text before and after the removal meet, left alone.
      {u"aabb", u"ab", u"", u"ab"},
      // Two backslashes and n: the second backslash pairs with the n.
      {u"x\\\\n", u"\\n", u"\r\n", u"x\\\r\n"},
      {u"\\t\\r\\n", u"\\n", u"\r\n", u"\\t\\r\r\n"},
      {u"", u"%X%", u"1", u""},
  };
  for (const auto& c : cases) {
    std::u16string text = c.text;
    ReplaceAll(text, c.pattern, c.replacement);
    EXPECT_EQ(text, c.expected) << "pattern index " << (&c - cases);
  }
}

class FormatMemoEntryTest : public ::testing::Test {
 protected:
  std::u16string Format(const std::u16string& memo) {
    return FormatMemoEntry(platform, memo, settings);
  }
  void Store(const char16_t* key, const std::u16string& value) {
    settings.AddEntry(keys::kSection, key, value);
  }

  FakePlatform platform;
  SettingsFile settings;
};

TEST_F(FormatMemoEntryTest, WorkedExampleWithDefaultsAddsTheThreeKeysInOrder) {
  std::u16string entry = Format(u"abc");
  EXPECT_EQ(entry, u"[2024/03/07 08:05:09] abc\r\n");
  EXPECT_EQ(entry.size(), 27u);

  ASSERT_EQ(settings.sections().size(), 1u);
  const auto& section = settings.sections().front();
  EXPECT_EQ(section.name, u"setting");
  std::vector<std::pair<std::u16string, std::u16string>> stored;
  for (const auto& e : section.entries) stored.emplace_back(e.key, e.value);
  EXPECT_EQ(stored, (std::vector<std::pair<std::u16string, std::u16string>>{
                        {u"MemoFormat", u"[%DATE% %TIME%] %MEMO%\\n"},
                        {u"DateFormat", u"yyyy/MM/dd"},
                        {u"TimeFormat", u"HH:mm:ss"}}));
}

TEST_F(FormatMemoEntryTest, SamplesTheClockOnceBeforeFormatting) {
  Format(u"abc");
  EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "clock"), 1);
  EXPECT_EQ(platform.calls, (std::vector<std::string>{"clock", "date", "time"}));
}

struct TemplateCase {
  const char* name;
  std::u16string memoFormat;
  std::u16string dateFormat;
  std::u16string timeFormat;
  std::u16string memo;
  std::u16string expected;
};

TEST_F(FormatMemoEntryTest, SubstitutesInOrderOverTheWholeEntry) {
  const std::u16string d = u"yyyy/MM/dd";
  const std::u16string t = u"HH:mm:ss";
  const TemplateCase cases[] = {
      {"memo twice", u"%MEMO%|%MEMO%", d, t, u"abc", u"abc|abc"},
      {"no memo placeholder", u"%DATE%", d, t, u"abc", u"2024/03/07"},
      {"small letters stay", u"%date% %Memo%", d, t, u"abc", u"%date% %Memo%"},
      {"no line end", u"%MEMO%", d, t, u"abc", u"abc"},
      {"empty template", u"", d, t, u"abc", u""},
      {"other escapes stay", u"a\\tb\\rc\\n", d, t, u"", u"a\\tb\\rc\r\n"},
      {"empty memo", u"[%DATE% %TIME%] %MEMO%\\n", d, t, u"", u"[2024/03/07 08:05:09] \r\n"},
      {"memo is not rewritten", u"%MEMO%", d, t, u" %DATE%\\n%TIME%\r\n ",
       u" %DATE%\\n%TIME%\r\n "},
      {"date text holds %TIME%", u"%DATE%", u"'%TIME%'", t, u"abc", u"08:05:09"},
      {"date text holds backslash n", u"%DATE%", u"'\\n'", t, u"abc", u"\r\n"},
      {"date text holds %MEMO%", u"%DATE%", u"'%MEMO%'", t, u"abc", u"abc"},
      {"time text holds %DATE%: too late", u"%TIME%", d, u"'%DATE%'", u"abc", u"%DATE%"},
      {"empty pictures give empty texts", u"[%DATE%|%TIME%]", u"", u"", u"abc", u"[|]"},
      {"a date text over 126 units is empty", u"[%DATE%]", std::u16string(127, u'x'), t, u"",
       u"[]"},
      {"a date text of 126 units fits", u"%DATE%", std::u16string(126, u'x'), t, u"",
       std::u16string(126, u'x')},
  };
  for (const auto& c : cases) {
    settings.Clear();
    Store(keys::kMemoFormat, c.memoFormat);
    Store(keys::kDateFormat, c.dateFormat);
    Store(keys::kTimeFormat, c.timeFormat);
    EXPECT_EQ(Format(c.memo), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace jotlog
