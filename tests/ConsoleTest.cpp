// What the console shows and takes: values made safe for a terminal, and the
// answers it accepts.
#include <gtest/gtest.h>

#include "report/ReportText.h"
#include "ui/console/ConsoleDialogs.h"
#include "ui/console/ConsolePad.h"

namespace taloveric {
namespace {

TEST(Console, ATerminalSeesAValuesLineBreaksAndEscapesButNoForgedLine) {
  InstallInfo info;
  info.RegisteredOwner = u"x\r\nRegistration Code: FAKE";
  info.ProductName = u"\x1B[2J\x7F\u0081";
  info.ProductKey = u"REAL";
  const std::vector<std::u16string> lines = ReportLines(ComposeReportText(info, {}));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[1], u"Registered Owner: x\r\nRegistration Code: FAKE");
  EXPECT_EQ(lines[11], u"Registration Code: REAL");
  EXPECT_EQ(ShownReport(ComposeReportText(info, {})).find(u"\nRegistration Code: FAKE"), std::u16string::npos);
  EXPECT_EQ(Visible(lines[1]), u"Registered Owner: x^M^JRegistration Code: FAKE");
  EXPECT_EQ(Visible(lines[3]), u"Product: ^[[2J^?M-^A");
  EXPECT_TRUE(ReportLines(u"").empty());
}

TEST(Console, AProfileIsAWholeNumberInRange) {
  const std::pair<const char*, std::optional<std::size_t>> cases[] = {
      {"2", 2}, {" 1 ", 1}, {"3", std::nullopt}, {"0", std::nullopt}, {"1abc", std::nullopt},
      {"-1", std::nullopt}, {"", std::nullopt}, {"99999999999999999999", std::nullopt}};
  for (const auto& [line, pick] : cases) EXPECT_EQ(ChoiceNumber(line, 2), pick) << line;
}

}  // namespace
}  // namespace taloveric
