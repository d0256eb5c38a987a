#include "platform/picture.h"

#include <gtest/gtest.h>

namespace jotlog {
namespace {

std::u16string Format(PictureKind kind, const SystemTime& time, const std::u16string& picture,
                      int size = 127) {
  std::u16string buffer(static_cast<size_t>(size > 0 ? size : 1), u'?');
  int written = FormatPicture(kind, time, picture, LocaleNames::English(), buffer.data(), size);
  if (written == 0) return u"<failed>";
  EXPECT_EQ(buffer[written - 1], u'\0');
  return buffer.substr(0, static_cast<size_t>(written - 1));
}

struct PictureCase {
  PictureKind kind;
  std::u16string picture;
  std::u16string expected;
};

TEST(Picture, DateAndTimeLettersOfAMorningAndAnEvening) {
  const SystemTime morning{2024, 3, 4, 7, 8, 5, 9, 0};      // Thursday
  const SystemTime evening{2009, 12, 3, 25, 20, 45, 3, 0};  // Wednesday
  const auto D = PictureKind::kDate;
  const auto T = PictureKind::kTime;
  const PictureCase morningCases[] = {
      {D, u"yyyy/MM/dd", u"2024/03/07"},
      {D, u"d/M/y", u"7/3/24"},
      {D, u"ddd dddd ddddd", u"Thu Thursday Thursday"},
      {D, u"MMM MMMM", u"Mar March"},
      {D, u"yyyyy yyy", u"2024 2024"},
      {D, u"gg yyyy", u"A.D. 2024"},
      {D, u"HH:mm", u"HH:mm"},  // time letters are literal in a date picture
      {T, u"HH:mm:ss", u"08:05:09"},
      {T, u"H:m:s", u"8:5:9"},
      {T, u"h hh t tt", u"8 08 A AM"},
      {T, u"dd/MM", u"dd/MM"},  // date letters are literal in a time picture
  };
  for (const auto& c : morningCases) EXPECT_EQ(Format(c.kind, morning, c.picture), c.expected);

  const PictureCase eveningCases[] = {
      {D, u"d/M/y", u"25/12/9"},
      {D, u"yy", u"09"},
      {D, u"dddd, MMMM d", u"Wednesday, December 25"},
      {T, u"h:mm tt", u"8:45 PM"},
      {T, u"hhh:mmm:sss", u"08:45:03"},
  };
  for (const auto& c : eveningCases) EXPECT_EQ(Format(c.kind, evening, c.picture), c.expected);

  const SystemTime midnight{2024, 1, 1, 1, 0, 0, 0, 0};
  EXPECT_EQ(Format(T, midnight, u"h tt|H"), u"12 AM|0");
}

TEST(Picture, QuotesMakeLiteralText) {
  const SystemTime time{2024, 3, 4, 7, 8, 5, 9, 0};
  const PictureCase cases[] = {
      {PictureKind::kDate, u"'yyyy' yyyy", u"yyyy 2024"},
      {PictureKind::kDate, u"''yy''", u"'24'"},
      {PictureKind::kDate, u"'it''s' d", u"it's 7"},
      {PictureKind::kDate, u"'unterminated d", u"unterminated d"},
      {PictureKind::kTime, u"'%TIME%'", u"%TIME%"},
      {PictureKind::kDate, u"", u""},
      {PictureKind::kDate, u"日付 d", u"日付 7"},
  };
  for (const auto& c : cases) EXPECT_EQ(Format(c.kind, time, c.picture), c.expected);
}

TEST(Picture, FailsWhenTheTextAndItsNullDoNotFit) {
  const SystemTime time{2024, 3, 4, 7, 8, 5, 9, 0};
  EXPECT_EQ(Format(PictureKind::kDate, time, u"yyyy", 5), u"2024");
  EXPECT_EQ(Format(PictureKind::kDate, time, u"yyyy", 4), u"<failed>");
  EXPECT_EQ(Format(PictureKind::kDate, time, u"dddd", 0), u"<failed>");
}

}  // namespace
}  // namespace jotlog
