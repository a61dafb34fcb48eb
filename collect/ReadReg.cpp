#include "collect/ReadReg.h"

#include "collect/NtProductKey.h"
#include "collect/QueryRegString.h"
#include "collect/SkipOnError.h"
#include "platform/CodePage.h"
#include "platform/RegValue.h"
#include "report/ReportText.h"

namespace taloveric {
namespace {

// Reads `name` of the open `key` into `field` as the report does, and notes
// whether it was there.
void Read(Registry& registry, RegKey key, std::u16string& field, std::u16string_view name, Collected& collected) {
  bool read = false;
  SkipOnError([&] { field = QueryRegString(registry, key, name, &read); });
  if (read) collected.read.emplace(name);
}

// Windows NT keeps under its own key what the Windows key lacks there: each
// value missing under the Windows key is taken from NT's key, by the same name
// or, for the version lines and the product key, from what NT has in their
// stead. A value the Windows key has is kept as it is; one found nowhere keeps
// what the Windows key's read left in its field. NT's key is read once, and
// kept for what else it says of the installation.
void ReadFromNtKey(Registry& registry, InstallInfo& info, Collected& collected) {
  collected.nt = ReadNtInstallation(registry);
  if (!collected.nt) return;
  const NtInstallation& nt = *collected.nt;
  const auto missing = [&](std::u16string_view name) { return !collected.read.contains(name); };
  const auto take = [&](std::u16string& field, std::u16string_view name, const std::string& ntName,
                        const std::string& text) {
    if (!missing(name) || text.empty()) return;
    if (text.find_first_of("\r\n") != std::string::npos) {
      collected.problems.push_back(ntName + " under Windows NT's key holds a line break and is not used");
      return;
    }
    field = registry.Ansi().FromAnsi(text);
    collected.read.emplace(name);
    collected.fromNtKey.push_back(ntName);
  };
  take(info.ProductId, u"ProductId", "ProductId", nt.productId);
  take(info.ProductName, u"ProductName", "ProductName", nt.productName);
  take(info.RegisteredOwner, u"RegisteredOwner", "RegisteredOwner", nt.registeredOwner);
  take(info.RegisteredOrg, u"RegisteredOrganization", "RegisteredOrganization", nt.registeredOrganization);
  take(info.SystemRootDir, u"SystemRoot", "SystemRoot", nt.systemRoot);
  take(info.WindowsVersion, u"Version", "CurrentVersion", nt.version.version.empty() ? "" : "Windows NT " + nt.version.version);
  take(info.VersionNumber, u"VersionNumber", "CurrentBuildNumber", nt.version.Number());
  take(collected.extras.SubVersionNumber, u"SubVersionNumber", "CSDVersion", nt.version.servicePack);
  if (missing(u"ProductKey")) {
    const NtProductKey& productKey = nt.productKey;
    if (!productKey.problem.empty()) collected.problems.push_back(productKey.problem);
    if (!productKey.key.empty()) {
      take(info.ProductKey, u"ProductKey", productKey.source, productKey.key);
      collected.keySource = productKey.source;
    }
  }
}

void ReadMailAccountName(Registry& registry, PadControls& controls, InstallInfo& info, Collected& collected) {
  ScopedRegKey key(registry);
  if (key.Open(kHkeyCurrentUser, "Software\\Microsoft\\Internet Account Manager") != kErrorSuccess) {
    return;
  }
  // The name passes through the hidden label, so a failed read leaves its "_".
  SkipOnError([&] {
    bool read = false;
    controls.SetBufferCaption(QueryRegString(registry, key.get(), u"Default Mail Account", &read));
    if (read) collected.read.emplace(u"Default Mail Account");
  });
  SkipOnError([&] { info.AccountKeySuffix = controls.BufferCaption(); });
  SkipOnError([&] { info.AccountKeySuffix = u"\\" + info.AccountKeySuffix; });
  key.Close();
}

void ReadMailAddress(Registry& registry, InstallInfo& info, Collected& collected) {
  ScopedRegKey key(registry);
  const std::string path =
      "Software\\Microsoft\\Internet Account Manager\\Accounts" + registry.Ansi().ToAnsi(info.AccountKeySuffix);
  if (key.Open(kHkeyCurrentUser, path) != kErrorSuccess) return;
  Read(registry, key.get(), info.MailAddress, u"SMTP Email Address", collected);
  key.Close();
}

void ReadMailAndCompose(Registry& registry, PadControls& controls, InstallInfo& info, Collected& collected) {
  ReadMailAccountName(registry, controls, info, collected);
  ReadMailAddress(registry, info, collected);
  SkipOnError([&] { info.ReportText = ComposeReportText(info, collected.extras); });
  SkipOnError([&] { controls.SetText1(info.ReportText); });
}

}  // namespace

std::optional<std::u16string> DefaultMailAddress(Registry& registry) {
  // The account's name passes through a label as it does in the report window.
  class Label : public PadControls {
   public:
    void SetText1(const std::u16string&) override {}
    void SetBufferCaption(const std::u16string& caption) override { caption_ = caption; }
    std::u16string BufferCaption() const override { return caption_; }

   private:
    std::u16string caption_ = u"_";
  } label;
  InstallInfo info;
  Collected collected;
  ReadMailAccountName(registry, label, info, collected);
  ReadMailAddress(registry, info, collected);
  if (!collected.read.contains(u"SMTP Email Address")) return std::nullopt;
  return info.MailAddress;
}

void ReadReg(Registry& registry, PadControls& controls, InstallInfo& info, Family family, Collected* collected) {
  Collected local;
  Collected& out = collected != nullptr ? *collected : local;
  out = {};
  ScopedRegKey key(registry);
  if (key.Open(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion") != kErrorSuccess) {
    // Windows 95, 98 and Me: nothing at all is read. The NT family keeps
    // what the report shows under its own key too, and a registry whose
    // Windows key is damaged or missing (or an export of NT's key alone)
    // gives the report from there, each value as the mend below reads it.
    if (family != Family::WindowsNt) return;
    ReadFromNtKey(registry, info, out);
    if (out.nt) ReadMailAndCompose(registry, controls, info, out);
    return;
  }
  const auto read = [&](std::u16string& field, std::u16string_view name) { Read(registry, key.get(), field, name, out); };
  read(info.ProductId, u"ProductId");
  read(info.ProductKey, u"ProductKey");
  read(info.ProductName, u"ProductName");
  read(info.RegisteredOwner, u"RegisteredOwner");
  read(info.RegisteredOrg, u"RegisteredOrganization");
  read(info.SystemRootDir, u"SystemRoot");
  read(info.WindowsVersion, u"Version");
  // Only Windows 95 kept the Plus! pack's id under this key.
  if (info.WindowsVersion.ends_with(u"95")) read(out.extras.PlusProductId, u"Plus! ProductId");
  read(info.VersionNumber, u"VersionNumber");
  read(out.extras.PlusVersionNumber, u"Plus! VersionNumber");
  read(out.extras.SubVersionNumber, u"SubVersionNumber");
  key.Close();
  if (family == Family::WindowsNt) ReadFromNtKey(registry, info, out);
  ReadMailAndCompose(registry, controls, info, out);
}

}  // namespace taloveric
