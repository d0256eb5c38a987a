// The date and time pictures and instants that the Linux formatter and the Windows API
// must format alike: every letter at every count, quotes in every position, literals,
// every month and weekday, both halves of the day.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/picture.h"

namespace jotlog {

struct PictureCase {
  PictureKind kind;
  SystemTime time;
  std::u16string picture;
};

inline std::vector<PictureCase> PictureCases() {
  // Pictures split at "|": letters alone, run together and apart; y, g, gg and ggg alone, as
  // Wine departs from Windows there; quotes still open where a picture ends.
  const std::u16string_view dates =
      u"d dd ddd dddd ddddd ddMMyy|M MM MMM MMMM MMMMM dddd, MMM d|y|yy yyy yyyyy|g|gg|ggg|"
      u"yyyy/MM/dd d. MMMM yyyy|'|''|'''|''''|'yyyy' 'it''s' d a'b'c ''d'' 'yy|d 'o''clock|yyyy'|"
      u"%DATE% \\n HH:mm:ss tt abc xz 日付 yyyy年M月d日";
  const std::u16string_view times =
      u"h hh hhh H HH HHH HH:mm:ss|m mm mmm s ss sss|t tt ttt h:mm:ss tt tt hh|'|''|'''|h'|"
      u"'h' a'b'c yyyy MM %TIME% \\n 時刻 H時m分s秒 'h";
  std::vector<PictureCase> cases;
  auto add = [&](PictureKind kind, const SystemTime& time, std::u16string_view pictures) {
    for (size_t at = 0, end = 0; at <= pictures.size(); at = end + 1) {
      end = std::min(pictures.find(u'|', at), pictures.size());
      cases.push_back({kind, time, std::u16string(pictures.substr(at, end - at))});
    }
  };
  // Instants: a one-digit year, month, day, hour, minute and second; a two-digit one of
  // each; midnight and noon.
  for (const SystemTime& time :
       {SystemTime{2009, 3, 1, 2, 4, 5, 6, 0}, SystemTime{2024, 11, 4, 28, 23, 45, 59, 0},
        SystemTime{2000, 1, 6, 1, 0, 0, 0, 0}, SystemTime{1999, 12, 5, 31, 12, 30, 30, 0}}) {
    add(PictureKind::kDate, time, dates);
    add(PictureKind::kTime, time, times);
    // the longest text that fits the buffer, and one more
    for (size_t n : {126, 127}) cases.push_back({PictureKind::kDate, time, std::u16string(n, '.')});
  }
  // Every month's names and, as the first of the months of 2026 falls on each weekday, every
  // weekday's; every hour's marker.
  const uint16_t firstWeekday[] = {4, 0, 0, 3, 5, 1, 3, 6, 2, 4, 0, 2};
  for (uint16_t month = 1; month <= 12; ++month) {
    add(PictureKind::kDate, {2026, month, firstWeekday[month - 1], 1, 0, 0, 0, 0},
        u"M MMM MMMM d ddd dddd");
  }
  for (uint16_t hour = 0; hour < 24; ++hour) {
    add(PictureKind::kTime, {2026, 3, 0, 1, hour, 0, 0, 0}, u"H h hh t tt");
  }
  return cases;
}

}  // namespace jotlog
