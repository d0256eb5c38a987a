// The clock and the date and time pictures on Windows: the system's own formatting for
// the user's locale; the user's language for messages.
#include <algorithm>

#include "platform/win/platform_win.h"

namespace jotlog {

namespace {

SYSTEMTIME ToSystemTime(const SystemTime& time) {
  SYSTEMTIME t;
  t.wYear = time.year;
  t.wMonth = time.month;
  t.wDayOfWeek = time.dayOfWeek;
  t.wDay = time.day;
  t.wHour = time.hour;
  t.wMinute = time.minute;
  t.wSecond = time.second;
  t.wMilliseconds = time.milliseconds;
  return t;
}

using FormatCall = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCWSTR, LPWSTR, int);

// Formats through `call` into `buffer`; the picture is always passed, never null, so the
// locale's own default picture is never used in its place.
int Format(FormatCall call, const SystemTime& time, const std::u16string& picture, char16_t* buffer,
           int size) {
  if (buffer == nullptr || size <= 0) return 0;
  const SYSTEMTIME t = ToSystemTime(time);
  const std::wstring wide = Wide(picture);
  std::wstring text(static_cast<size_t>(size), L'\0');
  const int written = call(LOCALE_USER_DEFAULT, 0, &t, wide.c_str(), text.data(), size);
  if (written <= 0 || written > size) return 0;
  std::copy_n(text.begin(), written, buffer);
  return written;
}

}  // namespace

SystemTime WinPlatform::GetLocalTime() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return SystemTime{t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                    t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
}

int WinPlatform::FormatDate(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                            int size) {
  return Format(::GetDateFormatW, time, picture, buffer, size);
}

int WinPlatform::FormatTime(const SystemTime& time, const std::u16string& picture, char16_t* buffer,
                            int size) {
  return Format(::GetTimeFormatW, time, picture, buffer, size);
}

// The language of the user interface, as the system names it ("ja"). Windows always has
// one; where it cannot be named, none is declared.
std::u16string WinPlatform::UserLanguages(std::u16string& source) {
  const LANGID language = ::GetUserDefaultUILanguage();
  source = u"user interface language 0x";
  for (int shift = 12; shift >= 0; shift -= 4)
    source += u"0123456789ABCDEF"[language >> shift & 0xF];
  wchar_t code[9] = {};
  if (::GetLocaleInfoW(MAKELCID(language, SORT_DEFAULT), LOCALE_SISO639LANGNAME, code,
                       static_cast<int>(std::size(code))) == 0) {
    return {};
  }
  return Utf16(code);
}

}  // namespace jotlog
