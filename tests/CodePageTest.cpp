#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/RegValue.h"
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

// UTF-8 at the edges of each length: one byte up to U+007F, two up to U+07FF,
// three up to U+FFFF, four beyond; and what is cut or out of place there,
// where each byte of a broken sequence becomes one U+FFFD.
TEST(Unicode, Utf8AtTheEdgesOfEachLength) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\u007F", "\x7F"},
      {u"\u0080", "\xC2\x80"},
      {u"\u07FF", "\xDF\xBF"},
      {u"\u0800", "\xE0\xA0\x80"},
      {u"\uD7FF", "\xED\x9F\xBF"},
      {u"\uE000", "\xEE\x80\x80"},
      {u"\uFFFF", "\xEF\xBF\xBF"},
      {u"\U00010000", "\xF0\x90\x80\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(ToUtf8(text), bytes) << bytes.size() << " bytes";
    EXPECT_EQ(FromUtf8(bytes), text) << bytes.size() << " bytes";
  }
  EXPECT_EQ(FromUtf8("\xE0\x9F\xBF"), u"\uFFFD\uFFFD\uFFFD") << "U+07FF in three bytes is overlong";
  EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD") << "beyond U+10FFFF";
  EXPECT_EQ(FromUtf8("\xE0\xA0"), u"\uFFFD\uFFFD") << "cut short: each byte of it stands for itself";
}

// Registry names match without regard to case as Windows-1252 folds it: the
// accented letters of Latin-1 and the four of 0x8A-0x9F, never the signs
// beside them.
TEST(RegNames, FoldCaseAsWindows1252Does) {
  const std::pair<const char*, const char*> same[] = {
      {"internet", "INTERNET"}, {"\xE0", "\xC0"} /* à À */, {"\xFE", "\xDE"} /* þ Þ */,
      {"\x9A", "\x8A"} /* š Š */, {"\x9C", "\x8C"} /* œ Œ */, {"\x9E", "\x8E"} /* ž Ž */,
      {"\xFF", "\x9F"} /* ÿ Ÿ */};
  for (const auto& [a, b] : same) EXPECT_TRUE(SameRegName(a, b)) << a << " " << b;
  const std::pair<const char*, const char*> different[] = {
      {"\xF7", "\xD7"} /* ÷ × */, {"\xDF", "\xFF"} /* ß ÿ */, {"@", "`"}, {"[", "{"}, {"a", "ab"}};
  for (const auto& [a, b] : different) EXPECT_FALSE(SameRegName(a, b)) << a << " " << b;
}

}  // namespace
}  // namespace taloveric
