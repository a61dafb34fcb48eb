#include "collect/ReadReg.h"

#include "collect/QueryRegString.h"
#include "collect/SkipOnError.h"
#include "platform/CodePage.h"
#include "report/ReportText.h"

namespace taloveric {
namespace {

void ReadMailAccountName(Registry& registry, PadControls& controls, InstallInfo& info) {
  ScopedRegKey key(registry);
  if (key.Open(kHkeyCurrentUser, "Software\\Microsoft\\Internet Account Manager") != kErrorSuccess) {
    return;
  }
  // The name passes through the hidden label, so a failed read leaves its "_".
  SkipOnError([&] { controls.SetBufferCaption(QueryRegString(registry, key.get(), u"Default Mail Account")); });
  SkipOnError([&] { info.AccountKeySuffix = controls.BufferCaption(); });
  SkipOnError([&] { info.AccountKeySuffix = u"\\" + info.AccountKeySuffix; });
  key.Close();
}

void ReadMailAddress(Registry& registry, InstallInfo& info) {
  ScopedRegKey key(registry);
  const std::string path =
      "Software\\Microsoft\\Internet Account Manager\\Accounts" + ToAnsi(info.AccountKeySuffix);
  if (key.Open(kHkeyCurrentUser, path) != kErrorSuccess) return;
  SkipOnError([&] { info.MailAddress = QueryRegString(registry, key.get(), u"SMTP Email Address"); });
  key.Close();
}

}  // namespace

void ReadReg(Registry& registry, PadControls& controls, InstallInfo& info) {
  ReportExtras extras;
  ScopedRegKey key(registry);
  if (key.Open(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion") != kErrorSuccess) {
    return;
  }
  const auto read = [&](std::u16string& field, std::u16string_view name) {
    SkipOnError([&] { field = QueryRegString(registry, key.get(), name); });
  };
  read(info.ProductId, u"ProductId");
  read(info.ProductKey, u"ProductKey");
  read(info.ProductName, u"ProductName");
  read(info.RegisteredOwner, u"RegisteredOwner");
  read(info.RegisteredOrg, u"RegisteredOrganization");
  read(info.SystemRootDir, u"SystemRoot");
  read(info.WindowsVersion, u"Version");
  // Only Windows 95 kept the Plus! pack's id under this key.
  if (info.WindowsVersion.ends_with(u"95")) read(extras.PlusProductId, u"Plus! ProductId");
  read(info.VersionNumber, u"VersionNumber");
  read(extras.PlusVersionNumber, u"Plus! VersionNumber");
  read(extras.SubVersionNumber, u"SubVersionNumber");
  key.Close();

  ReadMailAccountName(registry, controls, info);
  ReadMailAddress(registry, info);

  SkipOnError([&] { info.ReportText = ComposeReportText(info, extras); });
  SkipOnError([&] { controls.SetText1(info.ReportText); });
}

}  // namespace taloveric
