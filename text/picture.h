// The date and time picture language of the Win32 GetDateFormatW / GetTimeFormatW, for
// hosts that lack those functions.
//
// Date pictures: d dd ddd dddd (day, names), M MM MMM MMMM (month, names), y yy yyyy
// (year), g gg (era). Time pictures: h hh (12-hour), H HH (24-hour), m mm, s ss, t tt
// (AM/PM marker, first letter or whole). Longer runs of a letter act as the longest form.
// Text in single quotes is literal and '' within it stands for one quote ('' outside is
// an empty quoted text); any other character is copied as it is.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace jotlog {

struct LocaleNames {
  std::array<std::u16string, 7> days;  // Sunday first
  std::array<std::u16string, 7> abbreviatedDays;
  std::array<std::u16string, 12> months;
  std::array<std::u16string, 12> abbreviatedMonths;
  std::u16string am;
  std::u16string pm;
  std::u16string era;

  static LocaleNames English();
};

enum class PictureKind { kDate, kTime };

// Formats into `buffer` of `size` units. Returns the units written including the
// terminating null, or 0 when the result does not fit (or `size` is not positive).
int FormatPicture(PictureKind kind, const SystemTime& time, std::u16string_view picture,
                  const LocaleNames& names, char16_t* buffer, int size);

// The same, asking `names` for the names only when the picture holds a field that needs
// one, so that a picture of numbers alone never loads them.
int FormatPicture(PictureKind kind, const SystemTime& time, std::u16string_view picture,
                  const std::function<const LocaleNames&()>& names, char16_t* buffer, int size);

}  // namespace jotlog
