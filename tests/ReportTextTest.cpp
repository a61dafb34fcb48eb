#include "report/ReportText.h"

#include <gtest/gtest.h>

#include "ui/console/ConsoleDialogs.h"
#include "ui/console/ConsolePad.h"

namespace taloveric {
namespace {

TEST(ReportText, AllEmptyIsTheTwelveLabels) {
  EXPECT_EQ(ComposeReportText({}, {}),
            u"Def. e-mail for this user: \r\nRegistered Owner: \r\nRegistered Organization: \r\n"
            u"Product: \r\nVersion: \r\nVersion Number: \r\nSub Version: \r\n"
            u"System Root Directory: \r\nPlus! Id: \r\nPlus! Version: \r\nRegistration ID: \r\n"
            u"Registration Code: ");
}

TEST(ReportText, EachValueFollowsItsLabelAsHeld) {
  InstallInfo info;
  info.MailAddress = u"1";
  info.RegisteredOwner = u"2";
  info.RegisteredOrg = u"3";
  info.ProductName = u"4";
  info.WindowsVersion = u"5";
  info.VersionNumber = u"6";
  info.SystemRootDir = u"8";
  info.ProductId = u"11";
  info.ProductKey = u" 12 ";
  info.AccountKeySuffix = u"not shown";
  info.ReportText = u"not shown";
  const ReportExtras extras{u"9", u"10", u"7"};
  EXPECT_EQ(ComposeReportText(info, extras),
            u"Def. e-mail for this user: 1\r\nRegistered Owner: 2\r\nRegistered Organization: 3\r\n"
            u"Product: 4\r\nVersion: 5\r\nVersion Number: 6\r\nSub Version: 7\r\n"
            u"System Root Directory: 8\r\nPlus! Id: 9\r\nPlus! Version: 10\r\nRegistration ID: 11\r\n"
            u"Registration Code:  12 ");
}

TEST(ReportText, ValuesWithLineBreaksAreInsertedAsTheyAre) {
  InstallInfo info;
  info.RegisteredOwner = u"two\r\nlines";
  const std::u16string text = ComposeReportText(info, {});
  EXPECT_NE(text.find(u"\r\nRegistered Owner: two\r\nlines\r\nRegistered Organization: "), std::u16string::npos);
}

TEST(ReportText, ATerminalSeesAValuesLineBreaksAndEscapesButNoForgedLine) {
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

}  // namespace
}  // namespace taloveric
