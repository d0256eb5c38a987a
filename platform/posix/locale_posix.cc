// The clock and the date and time pictures on POSIX hosts, with day and month names, AM/PM
// markers and the era from the user's LC_TIME locale.
#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cwchar>

#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"

namespace jotlog {

SystemTime PosixPlatform::GetLocalTime() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm local;
  ::localtime_r(&now.tv_sec, &local);
  SystemTime t;
  t.year = static_cast<uint16_t>(local.tm_year + 1900);
  t.month = static_cast<uint16_t>(local.tm_mon + 1);
  t.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
  t.day = static_cast<uint16_t>(local.tm_mday);
  t.hour = static_cast<uint16_t>(local.tm_hour);
  t.minute = static_cast<uint16_t>(local.tm_min);
  t.second = static_cast<uint16_t>(local.tm_sec);
  t.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
  return t;
}

const LocaleNames& PosixPlatform::Names() {
  if (names_) return *names_;
  names_ = LocaleNames::English();
  // The LC_TIME locale, with its own character set for decoding the names.
  const char* chosen = LocaleName("LC_TIME");
  if (chosen == nullptr) return *names_;
  locale_t locale = ::newlocale(LC_ALL_MASK, chosen, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return *names_;
  locale_t previous = ::uselocale(locale);

  struct tm tm = {};
  auto Text = [&tm](const wchar_t* format) {
    wchar_t wide[128];
    size_t n = std::wcsftime(wide, sizeof wide / sizeof wide[0], format, &tm);
    std::u16string text;
    for (size_t i = 0; i < n; ++i) {
      char32_t cp = static_cast<char32_t>(wide[i]);
      if (cp >= 0x10000 && cp <= 0x10FFFF) {
        cp -= 0x10000;
        text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      } else if (cp < 0x10000) {
        text.push_back(static_cast<char16_t>(cp));
      }
    }
    return text;
  };
  LocaleNames& names = *names_;
  for (int day = 0; day < 7; ++day) {
    tm.tm_wday = day;
    names.days[day] = Text(L"%A");
    names.abbreviatedDays[day] = Text(L"%a");
  }
  for (int month = 0; month < 12; ++month) {
    tm.tm_mon = month;
    names.months[month] = Text(L"%B");
    // glibc pads some abbreviated month names with a leading blank to line them up in
    // columns (Japanese " 1月"); Windows never does.
    std::u16string abbreviated = Text(L"%b");
    abbreviated.erase(0, abbreviated.find_first_not_of(u' '));
    names.abbreviatedMonths[month] = abbreviated;
  }
  tm.tm_hour = 9;
  names.am = Text(L"%p");
  tm.tm_hour = 21;
  names.pm = Text(L"%p");
  // The era of the years counted from 1 AD, as Windows gives it: a locale with eras of
  // its own names it (Japanese: 西暦); any other keeps the English name.
  if (*::nl_langinfo_l(ERA, locale) != '\0') {
    tm = {};
    tm.tm_year = 1 - 1900;
    tm.tm_mday = 1;
    if (std::u16string era = Text(L"%EC"); !era.empty()) names.era = era;
  }

  ::uselocale(previous);
  ::freelocale(locale);
  return *names_;
}

int PosixPlatform::FormatDate(const SystemTime& time, const std::u16string& picture,
                              char16_t* buffer, int size) {
  return FormatPicture(
      PictureKind::kDate, time, picture, [this]() -> const LocaleNames& { return Names(); }, buffer,
      size);
}

int PosixPlatform::FormatTime(const SystemTime& time, const std::u16string& picture,
                              char16_t* buffer, int size) {
  return FormatPicture(
      PictureKind::kTime, time, picture, [this]() -> const LocaleNames& { return Names(); }, buffer,
      size);
}

}  // namespace jotlog
