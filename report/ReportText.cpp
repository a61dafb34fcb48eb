#include "report/ReportText.h"

namespace taloveric {

std::u16string ComposeReportText(const InstallInfo& info, const ReportExtras& extras) {
  return u"Def. e-mail for this user: " + info.MailAddress + u"\r\n" +
         u"Registered Owner: " + info.RegisteredOwner + u"\r\n" +
         u"Registered Organization: " + info.RegisteredOrg + u"\r\n" +
         u"Product: " + info.ProductName + u"\r\n" +
         u"Version: " + info.WindowsVersion + u"\r\n" +
         u"Version Number: " + info.VersionNumber + u"\r\n" +
         u"Sub Version: " + extras.SubVersionNumber + u"\r\n" +
         u"System Root Directory: " + info.SystemRootDir + u"\r\n" +
         u"Plus! Id: " + extras.PlusProductId + u"\r\n" +
         u"Plus! Version: " + extras.PlusVersionNumber + u"\r\n" +
         u"Registration ID: " + info.ProductId + u"\r\n" +
         u"Registration Code: " + info.ProductKey;
}

}  // namespace taloveric
