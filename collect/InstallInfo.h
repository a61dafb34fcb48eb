#pragma once
// The installation record: what the report window holds after it has read the
// registry. All fields are empty until the collection fills them.

#include <string>

namespace taloveric {

struct InstallInfo {
  std::u16string SystemRootDir;
  std::u16string RegisteredOrg;
  std::u16string WindowsVersion;
  std::u16string VersionNumber;
  std::u16string AccountKeySuffix;  // "\" and the default mail account's name
  std::u16string MailAddress;
  std::u16string ProductName;
  std::u16string ProductId;
  std::u16string RegisteredOwner;
  std::u16string ReportText;
  std::u16string ProductKey;
};

}  // namespace taloveric
