// The clock and the date and time pictures on POSIX hosts, with day and month names, AM/PM
// markers and the era from the user's LC_TIME locale; the user's language for messages.
#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "platform/posix/platform_posix.h"
#include "platform/posix/util_posix.h"
#include "text/utf.h"

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

namespace {

std::u16string FromWide(std::wstring_view wide) {
  std::u16string text;
  for (const wchar_t c : wide) {
    char32_t cp = static_cast<char32_t>(c);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else if (cp < 0x10000) {
      text.push_back(static_cast<char16_t>(cp));
    }
  }
  return text;
}

// The name of the era that counts the years as the Gregorian calendar does (from 1 AD),
// among the C library's eras of the locale in use, which it gives one after another, each
// "direction:offset:start:end:name:format". Empty when there is none such (the eras of
// Taiwan and the Buddhist era count otherwise).
std::u16string GregorianEraName(const char* eras) {
  for (int entry = 0; entry < 256 && *eras != '\0'; ++entry, eras += std::strlen(eras) + 1) {
    std::string_view fields[5];
    std::string_view rest = eras;
    for (std::string_view& field : fields) {
      const size_t colon = rest.find(':');
      field = rest.substr(0, colon);
      rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    const std::string start(fields[2].substr(0, fields[2].find('/')));
    char* end = nullptr;
    const long startYear = std::strtol(start.c_str(), &end, 10);
    if (fields[0] != "+" || start.empty() || *end != '\0' ||
        std::string(fields[1]) != std::to_string(startYear) || fields[4].empty()) {
      continue;
    }
    const std::string name(fields[4]);
    std::mbstate_t state{};
    const char* from = name.c_str();
    wchar_t wide[64];
    const size_t n = std::mbsrtowcs(wide, &from, 64, &state);
    if (n != static_cast<size_t>(-1) && from == nullptr) return FromWide({wide, n});
  }
  return {};
}

// The locale's own words for the Gregorian era where its eras in the C library count
// otherwise (or it has none), as Windows names them; empty elsewhere.
std::u16string GregorianEraWords(std::string_view locale) {
  const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
  const size_t underscore = locale.find('_');
  const std::string_view territory =
      underscore == std::string_view::npos
          ? std::string_view()
          : locale.substr(underscore + 1, locale.find_first_of(".@", underscore) - underscore - 1);
  if (territory == "TW") return u"西元";
  if (language == "ko") return u"서기";
  if (language == "th") return u"ค.ศ.";
  return {};
}

// Whether a date picture shows the day's number (d or dd outside quotes), after which
// some languages name the month in the genitive case.
bool ShowsDayNumber(std::u16string_view picture) {
  bool quoted = false;
  for (size_t i = 0; i < picture.size();) {
    if (picture[i] == u'\'') {
      quoted = !quoted;
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == picture[i]) ++run;
    if (!quoted && picture[i] == u'd' && run <= 2) return true;
    i += run;
  }
  return false;
}

// The language of a locale name or of an entry of LANGUAGE: "ja" of "ja_JP.UTF-8@x".
std::string_view LanguageOf(std::string_view locale) {
  return locale.substr(0, locale.find_first_of("_.@"));
}

}  // namespace

// As gettext decides: the locale for messages is the first set of LC_ALL, LC_MESSAGES and
// LANG; C and POSIX (C.UTF-8 too) declare no language, and there LANGUAGE, a list of
// languages, is not looked at either. Whether the locale is installed does not matter.
std::u16string PosixPlatform::UserLanguages(std::u16string& source) {
  source.clear();
  const char* variable = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (IsSet(name)) {
      variable = name;
      break;
    }
  }
  if (variable == nullptr) return {};
  const std::string_view locale = std::getenv(variable);
  source = DecodeUtf8(std::string(variable) + "=" + std::string(locale));
  const std::string_view language = LanguageOf(locale);
  if (language == "C" || language == "POSIX") return {};
  std::string languages;
  if (IsSet("LANGUAGE")) {
    std::string_view list = std::getenv("LANGUAGE");
    source = DecodeUtf8("LANGUAGE=" + std::string(list));
    while (!list.empty()) {
      const size_t end = list.find(':');
      const std::string_view entry = LanguageOf(list.substr(0, end));
      if (!entry.empty()) languages.append(languages.empty() ? "" : ":").append(entry);
      list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    }
  }
  if (languages.empty()) languages = language;
  return DecodeUtf8(languages);
}

const LocaleNames& PosixPlatform::Names(bool dayShown) {
  if (!names_) LoadNames();
  return dayShown ? *names_ : *namesWithoutDay_;
}

void PosixPlatform::LoadNames() {
  names_ = LocaleNames::English();
  namesWithoutDay_ = names_;
  // The LC_TIME locale, with its own character set for decoding the names.
  const char* chosen = LocaleName("LC_TIME");
  if (chosen == nullptr) return;
  locale_t locale = ::newlocale(LC_ALL_MASK, chosen, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return;
  locale_t previous = ::uselocale(locale);

  struct tm tm = {};
  auto Text = [&tm](const wchar_t* format) {
    wchar_t wide[128];
    const size_t n = std::wcsftime(wide, sizeof wide / sizeof wide[0], format, &tm);
    return FromWide({wide, n});
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
  // The era of the years that pictures show, those counted from 1 AD, as Windows names it:
  // by the locale's era for them (Japanese: 西暦), else by its own words for them, else
  // in English.
  if (std::u16string era = GregorianEraName(::nl_langinfo_l(ERA, locale)); !era.empty()) {
    names.era = era;
  } else if (era = GregorianEraWords(chosen); !era.empty()) {
    names.era = era;
  }
  // A month named without a day's number is in the nominative case, where the locale
  // tells it from the genitive (Russian, Polish).
  namesWithoutDay_ = names;
  for (int month = 0; month < 12; ++month) {
    tm = {};
    tm.tm_mon = month;
    if (std::u16string alone = Text(L"%OB"); !alone.empty())
      namesWithoutDay_->months[month] = alone;
  }

  ::uselocale(previous);
  ::freelocale(locale);
}

int PosixPlatform::FormatDate(const SystemTime& time, const std::u16string& picture,
                              char16_t* buffer, int size) {
  const bool dayShown = ShowsDayNumber(picture);
  return FormatPicture(
      PictureKind::kDate, time, picture,
      [this, dayShown]() -> const LocaleNames& { return Names(dayShown); }, buffer, size);
}

int PosixPlatform::FormatTime(const SystemTime& time, const std::u16string& picture,
                              char16_t* buffer, int size) {
  return FormatPicture(
      PictureKind::kTime, time, picture, [this]() -> const LocaleNames& { return Names(true); },
      buffer, size);
}

}  // namespace jotlog
