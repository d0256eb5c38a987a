#include "app/memo_entry.h"

#include <gtest/gtest.h>

#include "settings/keys.h"
#include "tests/fake_platform.h"

namespace jotlog {
namespace {

TEST(FormatMemoEntry, SubstitutesInOrderOverTheWholeEntry) {
  FakePlatform platform;
  SettingsFile settings{platform, false};
  const std::u16string d = u"yyyy/MM/dd", t = u"HH:mm:ss", long127(127, u'x');
  const std::u16string cases[][5] = {
      // MemoFormat, DateFormat, TimeFormat, memo, entry
      {u"%MEMO%|%MEMO%", d, t, u"abc", u"abc|abc"},
      {u"%DATE% %date% %Memo%", d, t, u"abc", u"2024/03/07 %date% %Memo%"},
      {u"", d, t, u"abc", u""},
      {u"a\\tb\\rc\\n", d, t, u"", u"a\\tb\\rc\r\n"},
      {u"[%DATE% %TIME%] %MEMO%\\n", d, t, u"", u"[2024/03/07 08:05:09] \r\n"},
      {u"%MEMO%", d, t, u" %DATE%\\n%TIME%\r\n ", u" %DATE%\\n%TIME%\r\n "},
      // The date text goes through the later steps; the time text misses %DATE%.
      {u"%DATE%", u"'%TIME%\\n%MEMO%'", t, u"abc", u"08:05:09\r\nabc"},
      {u"%TIME%", d, u"'%DATE%'", u"abc", u"%DATE%"},
      // Left to right, and never again over what was put in, nor where its end and what
      // follows, or the two sides of a removal, spell a placeholder.
      {u"%DATE%DATE%", u"'x'", t, u"", u"xDATE%"},
      {u"%DATE%DATE%", u"'%'", t, u"", u"%DATE%"},
      {u"%DA%DATE%TE%", u"", t, u"", u"%DATE%"},
      {u"x\\\\n", d, t, u"", u"x\\\r\n"},  // the second backslash pairs with the n
      {u"[%DATE%|%TIME%]", u"", u"", u"abc", u"[|]"},
      {u"[%DATE%]", long127, t, u"", u"[]"},  // does not fit the 127-unit buffer
      {u"%DATE%", long127.substr(1), t, u"", long127.substr(1)},
  };
  for (const auto& c : cases) {
    settings.Clear();
    settings.AddEntry(keys::kSection, keys::kMemoFormat, c[0]);
    settings.AddEntry(keys::kSection, keys::kDateFormat, c[1]);
    settings.AddEntry(keys::kSection, keys::kTimeFormat, c[2]);
    EXPECT_EQ(FormatMemoEntry(platform, c[3], settings), c[4]);
  }
}

}  // namespace
}  // namespace jotlog
