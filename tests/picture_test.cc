#include "platform/picture.h"

#include <gtest/gtest.h>

namespace jotlog {
namespace {

// Formats with English names; `namesAsked` counts how often the names were needed.
std::u16string Format(PictureKind kind, const SystemTime& time, std::u16string_view picture,
                      int& namesAsked) {
  const LocaleNames english = LocaleNames::English();
  auto names = [&]() -> const LocaleNames& { return ++namesAsked, english; };
  char16_t buffer[127];
  return FormatPicture(kind, time, picture, names, buffer, 127) == 0 ? u"<failed>" : buffer;
}

TEST(Picture, FormatsLikeTheWin32Pictures) {
  const SystemTime thursday{2024, 3, 4, 7, 8, 5, 9, 0}, evening{2009, 12, 3, 25, 20, 45, 3, 0};
  const auto D = PictureKind::kDate, T = PictureKind::kTime;
  // The last column: whether the locale's names are needed (numbers alone never load them).
  const std::tuple<PictureKind, SystemTime, std::u16string_view, std::u16string, bool> cases[] = {
      {D, thursday, u"yyyy/MM/dd", u"2024/03/07", false},
      {D, thursday, u"d/M/y ddd dddd ddddd", u"7/3/24 Thu Thursday Thursday", true},
      {D, thursday, u"MMM MMMM yyy gg HH:mm", u"Mar March 2024 A.D. HH:mm", true},
      {D, evening, u"d/M/y yy MMM", u"25/12/9 09 Dec", true},
      {T, thursday, u"HH:mm:ss H:m:s", u"08:05:09 8:5:9", false},
      {T, thursday, u"h hh t tt dd/MM", u"8 08 A AM dd/MM", true},
      {T, evening, u"hhh:mmm:sss tt", u"08:45:03 PM", true},
      {T, SystemTime{2024, 1, 1, 1, 0, 0, 0, 0}, u"h tt|H", u"12 AM|0", true},
      // Quotes: literal text, '' for one quote within it and for nothing outside, an
      // unclosed quote runs to the end.
      {D, thursday, u"'yyyy' ''yy'' 'it''s' '%TIME% d MMMM", u"yyyy 24 it's %TIME% d MMMM", false},
      {D, thursday, u"", u"", false},
      {D, thursday, std::u16string_view(u"d/MM", 3), u"7/3", false},  // nothing past its end
  };
  for (const auto& [kind, time, picture, expected, needsNames] : cases) {
    int asked = 0;
    EXPECT_EQ(Format(kind, time, picture, asked), expected);
    EXPECT_EQ(asked > 0, needsNames) << std::string(picture.begin(), picture.end());
  }
}

}  // namespace
}  // namespace jotlog
