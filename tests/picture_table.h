// Pictures and instants the Linux formatter and the Windows API must format alike: every
// letter at every count, quotes anywhere, literals, every month and weekday, both halves.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "text/picture.h"

namespace jotlog {

struct PictureCase {
  PictureKind kind;
  SystemTime time;
  std::u16string picture;
};

inline std::vector<PictureCase> PictureCases() {
  std::vector<PictureCase> cases;
  // Each picture of `pictures`, which are split at "|".
  auto add = [&](PictureKind kind, const SystemTime& time, std::u16string_view pictures) {
    for (size_t at = 0, end = 0; at <= pictures.size(); at = end + 1) {
      end = std::min(pictures.find(u'|', at), pictures.size());
      cases.push_back({kind, time, std::u16string(pictures.substr(at, end - at))});
    }
  };
  // One- and two-digit fields, midnight and noon. Letters alone, together and apart; y, g, gg
  // and ggg alone (Wine departs from Windows there); quotes open at the end; the longest text
  // that fits the buffer, and one more.
  for (const SystemTime& time :
       {SystemTime{2009, 3, 1, 2, 4, 5, 6, 0}, SystemTime{2024, 11, 4, 28, 23, 45, 59, 0},
        SystemTime{2000, 1, 6, 1, 0, 0, 0, 0}, SystemTime{1999, 12, 5, 31, 12, 30, 30, 0}}) {
    add(PictureKind::kDate, time,
        u"d dd ddd dddd ddddd ddMMyy|M MM MMM MMMM MMMMM dddd, MMM d|y|yy yyy yyyyy|g|gg|ggg|"
        u"yyyy/MM/dd d. MMMM yyyy|'|''|'''|''''|'yyyy' 'it''s' d a'b'c ''d'' 'yy|d 'o''clock|"
        u"yyyy'|%DATE% \\n HH:mm:ss tt abc xz 日付 yyyy年M月d日|" +
            std::u16string(126, u'.') + u"|" + std::u16string(127, u'.'));
    add(PictureKind::kTime, time,
        u"h hh hhh H HH HHH HH:mm:ss|m mm mmm s ss sss|t tt ttt h:mm:ss tt tt hh|'|''|'''|h'|"
        u"'h' a'b'c yyyy MM %TIME% \\n 時刻 H時m分s秒 'h");
  }
  // Every month's names and, as the firsts of 2026's months fall on each weekday, every day's.
  const uint16_t firstWeekday[] = {4, 0, 0, 3, 5, 1, 3, 6, 2, 4, 0, 2};
  for (uint16_t month = 1; month <= 12; ++month) {
    add(PictureKind::kDate, {2026, month, firstWeekday[month - 1], 1, 0, 0, 0, 0},
        u"M MMM MMMM d ddd dddd");
  }
  return cases;
}

}  // namespace jotlog
