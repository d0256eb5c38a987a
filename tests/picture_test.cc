#include "text/picture.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>

#include <string>
#include <tuple>

#ifndef _WIN32
#include "platform/posix/platform_posix.h"
#endif

namespace jotlog {
namespace {

TEST(Picture, FormatsLikeTheWin32Pictures) {
  const SystemTime thursday{2024, 3, 4, 7, 8, 5, 9, 0}, evening{2009, 12, 3, 25, 20, 45, 3, 0};
  const auto D = PictureKind::kDate, T = PictureKind::kTime;
  // The last column: whether the locale's names are needed (numbers alone never load them).
  const std::tuple<PictureKind, SystemTime, std::u16string_view, std::u16string, bool> cases[] = {
      {D, thursday, u"d/M/y ddd dddd ddddd", u"7/3/24 Thu Thursday Thursday", true},
      {D, thursday, u"MMM MMMM yyy gg HH:mm", u"Mar March 2024 A.D. HH:mm", true},
      {D, evening, u"d/M/y yy MMM", u"25/12/9 09 Dec", true},
      {T, thursday, u"HH:mm:ss H:m:s h hh dd/MM", u"08:05:09 8:5:9 8 08 dd/MM", false},
      {T, evening, u"hhh:mmm:sss tt", u"08:45:03 PM", true},
      {T, SystemTime{2024, 1, 1, 1, 0, 0, 0, 0}, u"h t tt|H", u"12 A AM|0", true},
      // Quotes: literal text, '' one quote within and nothing outside, unclosed to the end.
      {D, thursday, u"'yyyy' ''yy'' 'it''s' '%TIME% d MMMM", u"yyyy 24 it's %TIME% d MMMM", false},
      {D, thursday, std::u16string_view(u"d/MM", 3), u"7/3", false},  // nothing past its end
  };
  const LocaleNames english = LocaleNames::English();
  for (const auto& [kind, time, picture, expected, needsNames] : cases) {
    int asked = 0;
    char16_t buffer[127] = {};
    FormatPicture(
        kind, time, picture, [&]() -> const LocaleNames& { return ++asked, english; }, buffer, 127);
    EXPECT_EQ(std::u16string(buffer), expected);
    EXPECT_EQ(asked > 0, needsNames) << std::string(picture.begin(), picture.end());
  }
}

#ifndef _WIN32
// The names of the user's LC_TIME (tools/test.sh makes it): first and last day, month, half.
TEST(Picture, TakesTheNamesOfTheUsersLocale) {
  ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
  PosixPlatform platform;
  std::u16string text;
  for (const SystemTime& time : {SystemTime{2026, 1, 0, 4, 9}, SystemTime{2026, 12, 6, 26, 21}}) {
    char16_t date[127] = {}, hour[127] = {};
    platform.FormatDate(time, u"dddd ddd MMMM MMM gg ", date, 127);
    platform.FormatTime(time, u"tt|", hour, 127);
    text += std::u16string(date) + hour;
  }
  ::unsetenv("LC_ALL");
  EXPECT_EQ(text, u"日曜日 日 1月 1月 西暦 午前|土曜日 土 12月 12月 西暦 午後|");
}

// The era beside a Gregorian year is the Gregorian one, where a locale's own eras count
// otherwise; a month named without a day's number is in the nominative case. These need
// locales that tools/test.sh makes; any missing here is named in the skip.
TEST(Picture, NamesTheEraOfTheYearAndTheMonthAsWindowsDoes) {
  const std::tuple<const char*, std::u16string_view, std::u16string_view> cases[] = {
      {"zh_TW.UTF-8", u"gg yyyy", u"西元 2026"},
      {"th_TH.UTF-8", u"gg yyyy", u"ค.ศ. 2026"},
      {"lo_LA.UTF-8", u"gg yyyy", u"A.D. 2026"},
      {"ko_KR.UTF-8", u"gg yyyy", u"서기 2026"},
      {"ru_RU.UTF-8", u"MMMM yyyy", u"Декабрь 2026"},
      {"ru_RU.UTF-8", u"d MMMM", u"26 декабря"},
      {"pl_PL.UTF-8", u"MMMM 'd' dddd", u"grudzień d sobota"},
      {"pl_PL.UTF-8", u"dd MMMM", u"26 grudnia"},
  };
  std::string missing;
  for (const auto& [locale, picture, expected] : cases) {
    const locale_t there = ::newlocale(LC_ALL_MASK, locale, static_cast<locale_t>(0));
    if (there == static_cast<locale_t>(0)) {
      missing += std::string(" ") + locale;
      continue;
    }
    ::freelocale(there);
    ::setenv("LC_ALL", locale, 1);
    PosixPlatform platform;
    char16_t date[127] = {};
    platform.FormatDate(SystemTime{2026, 12, 6, 26, 21}, std::u16string(picture), date, 127);
    ::unsetenv("LC_ALL");
    EXPECT_EQ(std::u16string(date), expected) << locale;
  }
  if (!missing.empty()) GTEST_SKIP() << "locales missing:" << missing;
}
#endif

}  // namespace
}  // namespace jotlog
