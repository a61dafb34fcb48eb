#include "report/ReportText.h"

#include <gtest/gtest.h>


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

}  // namespace
}  // namespace taloveric
