#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Unicode.h"

namespace taloveric {
namespace {

TEST(AnsiCodePage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::u16string text = FromAnsi(all);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(ToAnsi(text), all);
}

TEST(AnsiCodePage, IsWindows1252) {
  EXPECT_EQ(FromAnsi("\x80\x8A\x9F\xE9\x81"), u"\u20AC\u0160\u0178\u00E9\u0081");
  EXPECT_EQ(ToAnsi(u"\u2122 \u00FF"), "\x99 \xFF");
}

TEST(AnsiCodePage, CharactersOutsideItBecomeOneQuestionMarkEach) {
  EXPECT_EQ(ToAnsi(u"\u0416\u4E2D\U0001F600x"), "???x");
}

TEST(Unicode, Utf8RoundTripsAndRepairsBadInput) {
  const std::u16string text = u"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(FromUtf8("\xC0\x80z"), u"\uFFFD\uFFFDz");  // an overlong NUL
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  EXPECT_EQ(ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(FromUtf16Le(std::string("A\0\xAC\x20\x01", 5)), u"A\u20AC");
}

}  // namespace
}  // namespace taloveric
