#include "collect/QueryRegString.h"

#include <gtest/gtest.h>

#include <optional>

#include "collect/SkipOnError.h"
#include "support/Fixtures.h"
#include "support/RecordingRegistry.h"

namespace taloveric {
namespace {

using testing::kBlanks;

struct QueryCase {
  const char* name;
  std::optional<RegValue> stored;  // nullopt: the value does not exist
  std::u16string expected;
};

class QueryRegStringTest : public ::testing::TestWithParam<QueryCase> {};

TEST_P(QueryRegStringTest, ReturnsTheValueAsCallersSeeIt) {
  const QueryCase& c = GetParam();
  testing::RecordingRegistry registry;
  registry.store.CreateKey(kHkeyLocalMachine, "K");
  if (c.stored) registry.store.SetValue(kHkeyLocalMachine, "K", "V", *c.stored);
  RegKey key = 0;
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, "K", 0, kKeyQueryValue, &key), kErrorSuccess);

  EXPECT_EQ(QueryRegString(registry, key, u"V"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, QueryRegStringTest,
    ::testing::Values(
        QueryCase{"ThreeLetters", StringValue("ABC"), u"ABC"},
        QueryCase{"EmptyString", StringValue(""), u""},
        QueryCase{"Missing", std::nullopt, kBlanks},
        QueryCase{"Longest", StringValue(std::string(255, 'x')), std::u16string(255, u'x')},
        QueryCase{"OneTooLong", StringValue(std::string(256, 'x')), kBlanks},
        QueryCase{"StringWithoutNulLosesLastCharacter", RegValue{kRegSz, "ABC"}, u"AB"},
        QueryCase{"FullBufferWithoutNul", RegValue{kRegSz, std::string(256, 'y')}, std::u16string(255, u'y')},
        QueryCase{"DwordAsRawBytes", DwordValue(0x00434241), u"ABC"},
        QueryCase{"DwordOneKeepsItsZeroBytes", DwordValue(1), std::u16string(u"\x01\0\0", 3)},
        QueryCase{"BinaryLosesLastByte", RegValue{kRegBinary, "\x01\x02\x03"}, u"\x01\x02"},
        QueryCase{"EmbeddedNulIsNotSearchedFor", RegValue{kRegMultiSz, std::string("a\0b\0\0", 5)},
                  std::u16string(u"a\0b\0", 4)},
        QueryCase{"BytesAbove7FInTheAnsiCodePage", StringValue("Jos\xE9 \x80"), u"Jos\u00E9 \u20AC"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(QueryRegString, ReportedSizeIsAppliedToTheBuffer) {
  testing::RecordingRegistry registry;
  registry.store.SetValue(kHkeyLocalMachine, "K", "V", StringValue("ABCDEF"));
  RegKey key = 0;
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, "K", 0, kKeyQueryValue, &key), kErrorSuccess);

  // A successful call that reports size 1 or more but leaves the buffer alone
  // yields that many blanks less one; a size past the buffer yields all of it.
  registry.ForceSize("V", 4);
  EXPECT_EQ(QueryRegString(registry, key, u"V"), u"   ");
  registry.ForceSize("V", 1000);
  EXPECT_EQ(QueryRegString(registry, key, u"V"), kBlanks);
}

TEST(QueryRegString, SizeZeroRaisesARunTimeErrorThatSkipsTheStatement) {
  testing::RecordingRegistry registry;
  registry.store.SetValue(kHkeyLocalMachine, "K", "V", StringValue("ABC"));
  RegKey key = 0;
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, "K", 0, kKeyQueryValue, &key), kErrorSuccess);
  registry.ForceSize("V", 0);

  EXPECT_THROW(QueryRegString(registry, key, u"V"), RunTimeError);
  std::u16string field = u"kept";
  SkipOnError([&] { field = QueryRegString(registry, key, u"V"); });
  EXPECT_EQ(field, u"kept");
}

TEST(QueryRegString, AnInvalidKeyGivesTheBuffer) {
  testing::RecordingRegistry registry;
  EXPECT_EQ(QueryRegString(registry, 0x1234, u"V"), kBlanks);
}

TEST(QueryRegString, ValueNameCrossesInTheAnsiCodePage) {
  testing::RecordingRegistry registry;
  registry.store.SetValue(kHkeyLocalMachine, "K", "Caf\xE9", StringValue("ok"));
  RegKey key = 0;
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, "K", 0, kKeyQueryValue, &key), kErrorSuccess);
  EXPECT_EQ(QueryRegString(registry, key, u"CAF\u00C9"), u"ok");
}

}  // namespace
}  // namespace taloveric
