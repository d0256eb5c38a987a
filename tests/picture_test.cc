#include "platform/picture.h"

#include <gtest/gtest.h>

namespace jotlog {
namespace {

std::u16string Format(PictureKind kind, const SystemTime& time, const std::u16string& picture) {
  char16_t buffer[127];
  return FormatPicture(kind, time, picture, LocaleNames::English(), buffer, 127) == 0 ? u"<failed>"
                                                                                      : buffer;
}

TEST(Picture, FormatsLikeTheWin32Pictures) {
  const SystemTime thursday{2024, 3, 4, 7, 8, 5, 9, 0}, evening{2009, 12, 3, 25, 20, 45, 3, 0};
  const auto D = PictureKind::kDate, T = PictureKind::kTime;
  const std::tuple<PictureKind, SystemTime, std::u16string, std::u16string> cases[] = {
      {D, thursday, u"yyyy/MM/dd", u"2024/03/07"},
      {D, thursday, u"d/M/y ddd dddd ddddd", u"7/3/24 Thu Thursday Thursday"},
      {D, thursday, u"MMM MMMM yyy gg HH:mm", u"Mar March 2024 A.D. HH:mm"},
      {D, evening, u"d/M/y yy", u"25/12/9 09"},
      {T, thursday, u"HH:mm:ss H:m:s", u"08:05:09 8:5:9"},
      {T, thursday, u"h hh t tt dd/MM", u"8 08 A AM dd/MM"},
      {T, evening, u"hhh:mmm:sss tt", u"08:45:03 PM"},
      {T, SystemTime{2024, 1, 1, 1, 0, 0, 0, 0}, u"h tt|H", u"12 AM|0"},
      // Quotes: literal text, '' for one quote, an unclosed quote runs to the end.
      {D, thursday, u"'yyyy' ''yy'' 'it''s' '%TIME% d", u"yyyy '24' it's %TIME% d"},
      {D, thursday, u"", u""},
  };
  for (const auto& [kind, time, picture, expected] : cases) {
    EXPECT_EQ(Format(kind, time, picture), expected);
  }
}

}  // namespace
}  // namespace jotlog
