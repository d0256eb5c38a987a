#include "text/picture.h"

#include <algorithm>

namespace jotlog {

LocaleNames LocaleNames::English() {
  return LocaleNames{
      {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"},
      {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"},
      {u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August",
       u"September", u"October", u"November", u"December"},
      {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov",
       u"Dec"},
      u"AM",
      u"PM",
      u"A.D.",
  };
}

namespace {

std::u16string Number(unsigned value, bool twoDigits) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  if (twoDigits && text.size() < 2) text.insert(text.begin(), u'0');
  return text;
}

// What a run of `count` copies of `letter` stands for, or false when the letter is not a
// field of this kind of picture.
bool Field(PictureKind kind, char16_t letter, size_t count, const SystemTime& t,
           const std::function<const LocaleNames&()>& names, std::u16string& out) {
  const size_t day = t.dayOfWeek % 7;
  const size_t month = (t.month >= 1 && t.month <= 12) ? t.month - 1 : 0;
  if (kind == PictureKind::kDate) {
    switch (letter) {
      case u'd':
        out = count == 1   ? Number(t.day, false)
              : count == 2 ? Number(t.day, true)
              : count == 3 ? names().abbreviatedDays[day]
                           : names().days[day];
        return true;
      case u'M':
        out = count == 1   ? Number(t.month, false)
              : count == 2 ? Number(t.month, true)
              : count == 3 ? names().abbreviatedMonths[month]
                           : names().months[month];
        return true;
      case u'y':
        out = count <= 2 ? Number(t.year % 100, count == 2) : Number(t.year, false);
        return true;
      case u'g':
        out = names().era;
        return true;
    }
    return false;
  }
  switch (letter) {
    case u'h':
      out = Number(t.hour % 12 == 0 ? 12 : t.hour % 12, count >= 2);
      return true;
    case u'H':
      out = Number(t.hour, count >= 2);
      return true;
    case u'm':
      out = Number(t.minute, count >= 2);
      return true;
    case u's':
      out = Number(t.second, count >= 2);
      return true;
    case u't': {
      const std::u16string& marker = t.hour < 12 ? names().am : names().pm;
      out = count == 1 ? marker.substr(0, 1) : marker;
      return true;
    }
  }
  return false;
}

}  // namespace

int FormatPicture(PictureKind kind, const SystemTime& time, std::u16string_view picture,
                  const LocaleNames& names, char16_t* buffer, int size) {
  return FormatPicture(
      kind, time, picture, [&names]() -> const LocaleNames& { return names; }, buffer, size);
}

int FormatPicture(PictureKind kind, const SystemTime& time, std::u16string_view picture,
                  const std::function<const LocaleNames&()>& names, char16_t* buffer, int size) {
  std::u16string text;
  std::u16string field;
  for (size_t i = 0; i < picture.size();) {
    char16_t c = picture[i];
    if (c == u'\'') {
      // Quoted literal up to the closing quote (or the end); '' within is one quote. Two
      // quotes outside open and close an empty one.
      ++i;
      while (i < picture.size()) {
        if (picture[i] == u'\'') {
          if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
            text.push_back(u'\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text.push_back(picture[i++]);
      }
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    if (Field(kind, c, run, time, names, field)) {
      text += field;
    } else {
      text.append(run, c);
    }
    i += run;
  }
  if (size <= 0 || text.size() + 1 > static_cast<size_t>(size)) return 0;
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  return static_cast<int>(text.size() + 1);
}

}  // namespace jotlog
