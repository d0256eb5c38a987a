// The date and time pictures and instants that the Linux formatter and the Windows API
// must format alike: every letter at every count, quotes in every position, literals,
// every month and weekday, both halves of the day.
#pragma once

#include <string>
#include <vector>

#include "platform/picture.h"

namespace jotlog {

struct PictureCase {
  PictureKind kind;
  SystemTime time;
  std::u16string picture;
};

inline std::vector<PictureCase> PictureCases() {
  const std::u16string datePictures[] = {
      u"d", u"dd", u"ddd", u"dddd", u"ddddd", u"M", u"MM", u"MMM", u"MMMM", u"MMMMM", u"y", u"yy",
      u"yyy", u"yyyy", u"yyyyy", u"g", u"gg", u"ggg", u"yyyy/MM/dd", u"d. MMMM yyyy",
      u"dddd, MMM d", u"ddMMyy", u"'", u"''", u"'''", u"''''", u"'yyyy'", u"'it''s' d",
      u"d 'o''clock", u"yyyy'", u"'yy", u"a'b'c", u"''d''", u"%DATE% \\n", u"HH:mm:ss tt",
      u"abc xz", u"日付 yyyy年M月d日",
      // the longest text that fits the buffer, and one more
      std::u16string(126, u'.'), std::u16string(127, u'.')};
  const std::u16string timePictures[] = {
      u"h",   u"hh",       u"hhh",        u"H",     u"HH",      u"HHH",        u"m",
      u"mm",  u"mmm",      u"s",          u"ss",    u"sss",     u"t",          u"tt",
      u"ttt", u"HH:mm:ss", u"h:mm:ss tt", u"tt hh", u"'",       u"''",         u"'h'",
      u"'''", u"h'",       u"'h",         u"a'b'c", u"yyyy MM", u"%TIME% \\n", u"時刻 H時m分s秒"};
  // Instants: a one-digit year, month, day, hour, minute and second; a two-digit one of
  // each; midnight and noon.
  const SystemTime instants[] = {
      {2009, 3, 1, 2, 4, 5, 6, 0},
      {2024, 11, 4, 28, 23, 45, 59, 0},
      {2000, 1, 6, 1, 0, 0, 0, 0},
      {1999, 12, 5, 31, 12, 30, 30, 0},
  };
  std::vector<PictureCase> cases;
  for (const SystemTime& time : instants) {
    for (const std::u16string& picture : datePictures) {
      cases.push_back({PictureKind::kDate, time, picture});
    }
    for (const std::u16string& picture : timePictures) {
      cases.push_back({PictureKind::kTime, time, picture});
    }
  }
  // Every month's names, every weekday's names (1 to 7 March 2026 is Sunday to
  // Saturday), every hour's marker.
  const uint16_t firstWeekday[] = {4, 0, 0, 3, 5, 1, 3, 6, 2, 4, 0, 2};  // of each 2026 month
  for (uint16_t month = 1; month <= 12; ++month) {
    cases.push_back(
        {PictureKind::kDate, {2026, month, firstWeekday[month - 1], 1, 0, 0, 0, 0}, u"M MMM MMMM"});
  }
  for (uint16_t day = 0; day < 7; ++day) {
    cases.push_back({PictureKind::kDate,
                     {2026, 3, day, static_cast<uint16_t>(day + 1), 0, 0, 0, 0},
                     u"d ddd dddd"});
  }
  for (uint16_t hour = 0; hour < 24; ++hour) {
    cases.push_back({PictureKind::kTime, {2026, 3, 0, 1, hour, 0, 0, 0}, u"H h hh t tt"});
  }
  return cases;
}

}  // namespace jotlog
