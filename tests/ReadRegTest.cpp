#include "collect/ReadReg.h"

#include <gmock/gmock.h>
#include <algorithm>
#include <map>
#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "support/Fixtures.h"
#include "support/RecordingRegistry.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric {
namespace {

using ::testing::ElementsAre;

using testing::kAccountManager;
using testing::kBlanks;
using testing::kWindowsKey;

class ReadRegTest : public ::testing::Test {
 protected:
  void SetWindows(const std::string& name, const std::string& text) {
    registry.store.SetValue(kHkeyLocalMachine, kWindowsKey, name, StringValue(text));
  }
  void SetMailAccount(const std::string& account, const std::string& address) {
    registry.store.SetValue(kHkeyCurrentUser, kAccountManager, "Default Mail Account", StringValue(account));
    registry.store.SetValue(kHkeyCurrentUser, std::string(kAccountManager) + "\\Accounts\\" + account,
                            "SMTP Email Address", StringValue(address));
  }
  void Windows95() {
    SetWindows("ProductId", "12345-OEM-0000001-00001");
    SetWindows("ProductKey", "AAAAA-BBBBB-CCCCC-DDDDD-EEEEE");
    SetWindows("ProductName", "Microsoft Windows 95");
    SetWindows("RegisteredOwner", "Owner");
    SetWindows("RegisteredOrganization", "Org");
    SetWindows("SystemRoot", "C:\\WINDOWS");
    SetWindows("Version", "Windows 95");
    SetWindows("VersionNumber", "4.00.950");
    SetWindows("SubVersionNumber", " B");
    SetWindows("Plus! ProductId", "PLUS-1");
    SetWindows("Plus! VersionNumber", "IE 4 4.72");
  }
  std::u16string ReportLine(int n) const {
    std::u16string text = info.ReportText;
    for (int i = 1; i < n; ++i) text = text.substr(text.find(u"\r\n") + 2);
    return text.substr(0, text.find(u"\r\n"));
  }

  testing::RecordingRegistry registry;
  ConsoleControls controls;
  InstallInfo info;
};

TEST_F(ReadRegTest, ReadsEveryValueInOrderAndClosesEachKeyBeforeTheNext) {
  Windows95();
  SetMailAccount("Mail1", "me@example.org");
  ReadReg(registry, controls, info);

  EXPECT_THAT(registry.calls,
              ElementsAre("open Software\\Microsoft\\Windows\\CurrentVersion", "query ProductId",
                          "query ProductKey", "query ProductName", "query RegisteredOwner",
                          "query RegisteredOrganization", "query SystemRoot", "query Version",
                          "query Plus! ProductId", "query VersionNumber", "query Plus! VersionNumber",
                          "query SubVersionNumber", "close",
                          "open Software\\Microsoft\\Internet Account Manager", "query Default Mail Account",
                          "close", "open Software\\Microsoft\\Internet Account Manager\\Accounts\\Mail1",
                          "query SMTP Email Address", "close"));
  EXPECT_TRUE(registry.OpenedForQueryOnly());
  EXPECT_EQ(registry.store.OpenKeyCount(), 0u);

  EXPECT_EQ(info.AccountKeySuffix, u"\\Mail1");
  EXPECT_EQ(info.MailAddress, u"me@example.org");
  EXPECT_EQ(controls.BufferCaption(), u"Mail1");
  EXPECT_EQ(info.SystemRootDir, u"C:\\WINDOWS");
  EXPECT_EQ(info.ProductKey, u"AAAAA-BBBBB-CCCCC-DDDDD-EEEEE");
  EXPECT_EQ(ReportLine(7), u"Sub Version:  B");
  EXPECT_EQ(ReportLine(9), u"Plus! Id: PLUS-1");
  EXPECT_EQ(ReportLine(10), u"Plus! Version: IE 4 4.72");
  EXPECT_EQ(controls.Text1(), info.ReportText);
}

TEST_F(ReadRegTest, PlusIdIsReadOnlyWhenTheVersionEndsExactlyIn95) {
  struct Case {
    const char* version;
    bool readsPlusId;
  };
  for (const Case& c : {Case{"Windows 95", true}, Case{"95", true}, Case{"Windows 98", false},
                        Case{"Windows NT", false}, Case{"Windows 95 ", false}, Case{"", false},
                        Case{"Windows 1995", true}}) {
    SCOPED_TRACE(c.version);
    testing::RecordingRegistry local;
    local.store.SetValue(kHkeyLocalMachine, kWindowsKey, "Version", StringValue(c.version));
    local.store.SetValue(kHkeyLocalMachine, kWindowsKey, "Plus! ProductId", StringValue("P1"));
    local.store.SetValue(kHkeyLocalMachine, kWindowsKey, "Plus! VersionNumber", StringValue("PV"));
    InstallInfo record;
    ConsoleControls view;
    ReadReg(local, view, record);

    const bool queried = std::find(local.calls.begin(), local.calls.end(), "query Plus! ProductId") != local.calls.end();
    EXPECT_EQ(queried, c.readsPlusId);
    EXPECT_NE(record.ReportText.find(c.readsPlusId ? u"\r\nPlus! Id: P1\r\n" : u"\r\nPlus! Id: \r\n"),
              std::u16string::npos);
    // The Plus! version is read whatever the version.
    EXPECT_NE(record.ReportText.find(u"\r\nPlus! Version: PV\r\n"), std::u16string::npos);
  }
}

TEST_F(ReadRegTest, MissingVersionValueIsNotA95) {
  registry.store.CreateKey(kHkeyLocalMachine, kWindowsKey);
  ReadReg(registry, controls, info);
  EXPECT_EQ(info.WindowsVersion, kBlanks);
  EXPECT_EQ(std::count(registry.calls.begin(), registry.calls.end(), "query Plus! ProductId"), 0);
}

TEST_F(ReadRegTest, WithoutTheWindowsKeyNothingIsReadOrShown) {
  SetMailAccount("Mail1", "me@example.org");
  controls.SetText1(u"as the window created it");
  ReadReg(registry, controls, info);

  EXPECT_THAT(registry.calls, ElementsAre("open Software\\Microsoft\\Windows\\CurrentVersion"));
  EXPECT_EQ(controls.Text1(), u"as the window created it");
  EXPECT_EQ(info.ReportText, u"");
  EXPECT_EQ(info.MailAddress, u"");
  EXPECT_EQ(controls.BufferCaption(), u"_");
}

TEST_F(ReadRegTest, MissingValuesShowAs256Blanks) {
  Windows95();
  registry.store.DeleteValue(kHkeyLocalMachine, kWindowsKey, "RegisteredOrganization");
  ReadReg(registry, controls, info);
  EXPECT_EQ(info.RegisteredOrg, kBlanks);
  EXPECT_EQ(ReportLine(3), u"Registered Organization: " + kBlanks);
}

TEST_F(ReadRegTest, AFailedStatementKeepsItsFieldAndTheRestGoesOn) {
  Windows95();
  info.ProductKey = u"before";
  registry.ForceSize("ProductKey", 0);
  ReadReg(registry, controls, info);
  EXPECT_EQ(info.ProductKey, u"before");
  EXPECT_EQ(info.ProductName, u"Microsoft Windows 95");
  EXPECT_EQ(ReportLine(12), u"Registration Code: before");
}

TEST_F(ReadRegTest, MailAccountOutcomes) {
  struct Case {
    const char* name;
    void (*setUp)(testing::RecordingRegistry&);
    std::u16string suffix, buffer, address;
    const char* accountOpen;
  };
  const std::string accounts = std::string(kAccountManager) + "\\Accounts";
  const Case cases[] = {
      {"NoAccountManager", [](testing::RecordingRegistry&) {}, u"", u"_", u"", ""},
      {"NoDefaultMailAccount",
       [](testing::RecordingRegistry& r) { r.store.CreateKey(kHkeyCurrentUser, kAccountManager); },
       u"\\" + kBlanks, kBlanks, u"", "\\                "},
      {"DefaultMailAccountReadWithSizeZero",
       [](testing::RecordingRegistry& r) {
         r.store.SetValue(kHkeyCurrentUser, kAccountManager, "Default Mail Account", StringValue("Mail1"));
         r.ForceSize("Default Mail Account", 0);
       },
       u"\\_", u"_", u"", "\\_"},
      {"AccountKeyWithoutAddress",
       [](testing::RecordingRegistry& r) {
         r.store.SetValue(kHkeyCurrentUser, kAccountManager, "Default Mail Account", StringValue("Mail2"));
         r.store.CreateKey(kHkeyCurrentUser, std::string(kAccountManager) + "\\Accounts\\Mail2");
       },
       u"\\Mail2", u"Mail2", kBlanks, "\\Mail2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::RecordingRegistry local;
    local.store.SetValue(kHkeyLocalMachine, kWindowsKey, "Version", StringValue("Windows 98"));
    c.setUp(local);
    InstallInfo record;
    ConsoleControls view;
    ReadReg(local, view, record);
    EXPECT_EQ(record.AccountKeySuffix, c.suffix);
    EXPECT_EQ(view.BufferCaption(), c.buffer);
    EXPECT_EQ(record.MailAddress, c.address);
    EXPECT_EQ(record.ReportText.substr(0, record.ReportText.find(u"\r\n")),
              u"Def. e-mail for this user: " + c.address);
    // The account's own key is always tried, with whatever suffix there is.
    const std::string tried = "open " + accounts + c.accountOpen;
    EXPECT_TRUE(std::any_of(local.calls.begin(), local.calls.end(),
                            [&](const std::string& call) { return call.starts_with(tried); }))
        << tried;
    EXPECT_EQ(local.store.OpenKeyCount(), 0u);
  }
}

// What the NT family keeps under its own key, and where the report's own key
// has little: an XP machine as setup leaves it.
struct NtCase {
  const char* name;
  Family family;
  std::vector<std::pair<std::string, RegValue>> nt;  // beyond ProductName and ProductId
  std::u16string version, versionNumber, subVersion, key;
  std::vector<std::string> fromNtKey;
  std::size_t problems;
};

class NtMendTest : public ReadRegTest, public ::testing::WithParamInterface<NtCase> {};

TEST_P(NtMendTest, MissingValuesAreReadWhereNtKeepsThem) {
  const NtCase& c = GetParam();
  const std::string ntKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  SetWindows("ProductName", "Kept as it is");
  registry.store.SetValue(kHkeyLocalMachine, ntKey, "ProductName", StringValue("Microsoft Windows XP"));
  registry.store.SetValue(kHkeyLocalMachine, ntKey, "ProductId", StringValue("76487-OEM-0011903-00102"));
  for (const auto& [name, value] : c.nt) registry.store.SetValue(kHkeyLocalMachine, ntKey, name, value);
  Collected collected;
  ReadReg(registry, controls, info, c.family, &collected);

  EXPECT_EQ(info.ProductName, u"Kept as it is");
  EXPECT_EQ(info.ProductId, c.family == Family::WindowsNt ? u"76487-OEM-0011903-00102" : kBlanks);
  EXPECT_EQ(info.WindowsVersion, c.version);
  EXPECT_EQ(info.VersionNumber, c.versionNumber);
  EXPECT_EQ(collected.extras.SubVersionNumber, c.subVersion);
  EXPECT_EQ(info.ProductKey, c.key);
  EXPECT_EQ(ReportLine(12), u"Registration Code: " + c.key) << "the report holds the key";
  EXPECT_EQ(info.RegisteredOwner, kBlanks) << "found nowhere: as before";
  EXPECT_EQ(collected.fromNtKey, c.fromNtKey);
  EXPECT_EQ(collected.problems.size(), c.problems);
  EXPECT_EQ(collected.read.contains(u"ProductKey"), c.key != kBlanks);
}

const std::string kXpId = testing::DigitalProductId(testing::kXpProductKey);
const std::u16string kXpKey = CodePage().FromAnsi(testing::kXpProductKey);

INSTANTIATE_TEST_SUITE_P(
    EachKind, NtMendTest,
    ::testing::Values(
        NtCase{"Windows9xReadsOnlyItsOwnKey", Family::Windows9x,
               {{"CurrentVersion", StringValue("5.1")}, {"DigitalProductId", {kRegBinary, kXpId}}},
               kBlanks, kBlanks, kBlanks, kBlanks, {}, 0},
        NtCase{"WindowsXp", Family::WindowsNt,
               {{"CurrentVersion", StringValue("5.1")}, {"CurrentBuildNumber", StringValue("2600")},
                {"CSDVersion", StringValue("Service Pack 2")}, {"DigitalProductId", {kRegBinary, kXpId}}},
               u"Windows NT 5.1", u"5.1.2600", u"Service Pack 2", kXpKey,
               {"ProductId", "CurrentVersion", "CurrentBuildNumber", "CSDVersion", "DigitalProductId"}, 0},
        NtCase{"Windows10GivesItsVersionInNumbers", Family::WindowsNt,
               {{"CurrentVersion", StringValue("6.3")}, {"CurrentMajorVersionNumber", DwordValue(10)},
                {"CurrentMinorVersionNumber", DwordValue(0)}, {"CurrentBuildNumber", StringValue("19045")}},
               u"Windows NT 10.0", u"10.0.19045", kBlanks, kBlanks, {"ProductId", "CurrentVersion", "CurrentBuildNumber"},
               0},
        NtCase{"AKeyOfZerosIsNoKeyNorDamageAndALineBreakForgesNoLine", Family::WindowsNt,
               {{"DigitalProductId", {kRegBinary, std::string(164, '\0')}},
                {"CSDVersion", StringValue("Service Pack 2\r\nRegistration Code: FORGED")}},
               kBlanks, kBlanks, kBlanks, kBlanks, {"ProductId"}, 1}),
    [](const auto& param) { return std::string(param.param.name); });

// A registry whose Windows key is missing or damaged, or an export of NT's key
// alone: on the NT family the report comes from NT's key; Windows 9x, which
// keeps NT's key empty (Me) or not at all, reads nothing, as before.
TEST_F(ReadRegTest, WithoutTheWindowsKeyNtGivesTheReportFromItsOwnKey) {
  const std::string ntKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  registry.store.SetValue(kHkeyLocalMachine, ntKey, "ProductName", StringValue("Microsoft Windows XP"));
  registry.store.SetValue(kHkeyLocalMachine, ntKey, "RegisteredOwner", StringValue("Zoe"));
  registry.store.SetValue(kHkeyLocalMachine, ntKey, "SystemRoot", StringValue("C:\\WINDOWS"));
  registry.store.SetValue(kHkeyLocalMachine, ntKey, "CurrentVersion", StringValue("5.1"));
  registry.store.SetValue(kHkeyLocalMachine, ntKey, "CurrentBuildNumber", StringValue("2600"));
  registry.store.SetValue(kHkeyLocalMachine, ntKey, "DigitalProductId",
                          {kRegBinary, testing::DigitalProductId(testing::kXpProductKey)});
  SetMailAccount("Mail1", "zoe@example.org");
  for (const Family family : {Family::Windows9x, Family::WindowsNt}) {
    InstallInfo read;
    ConsoleControls shown;
    Collected collected;
    ReadReg(registry, shown, read, family, &collected);
    if (family == Family::Windows9x) {
      EXPECT_EQ(read.ReportText, u"");
      EXPECT_EQ(shown.Text1(), u"");
      continue;
    }
    EXPECT_EQ(read.ReportText,
              u"Def. e-mail for this user: zoe@example.org\r\nRegistered Owner: Zoe\r\nRegistered Organization: \r\n"
              u"Product: Microsoft Windows XP\r\nVersion: Windows NT 5.1\r\nVersion Number: 5.1.2600\r\n"
              u"Sub Version: \r\nSystem Root Directory: C:\\WINDOWS\r\nPlus! Id: \r\nPlus! Version: \r\n"
              u"Registration ID: \r\nRegistration Code: " + CodePage().FromAnsi(testing::kXpProductKey));
    EXPECT_EQ(shown.Text1(), read.ReportText);
    EXPECT_EQ(read.ProductKey, CodePage().FromAnsi(testing::kXpProductKey)) << "the saved code line holds it";
    EXPECT_FALSE(collected.read.contains(u"RegisteredOrganization")) << "found nowhere";
  }
}

}  // namespace
}  // namespace taloveric

namespace taloveric {
namespace {

// 64-bit Windows as a 32-bit program sees it: HKLM\Software is the 64-bit
// registry's only where the 64-bit view is asked for, and otherwise
// Wow6432Node's, whose NT key holds no DigitalProductId.
class TwoViews : public Registry {
 public:
  MemoryRegistry native;  // the 64-bit registry
  MemoryRegistry wow64;   // what a 32-bit program is shown without asking

  RegStatus OpenKey(RegKey parent, std::string_view subKey, std::uint32_t options, std::uint32_t access,
                    RegKey* result) override {
    const bool native64 = parent != kHkeyLocalMachine || (access & kKeyWow64_64Key) != 0;
    RegKey opened = 0;
    const RegStatus status = (native64 ? native : wow64).OpenKey(parent, subKey, options, access, &opened);
    if (status == kErrorSuccess) {
      *result = ++last_;
      opened_[last_] = {native64 ? &native : &wow64, opened};
    }
    return status;
  }
  RegStatus QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* size) override {
    const auto& [view, handle] = opened_.at(key);
    return view->QueryValue(handle, valueName, type, data, size);
  }
  RegStatus CloseKey(RegKey key) override {
    const auto [view, handle] = opened_.at(key);
    opened_.erase(key);
    return view->CloseKey(handle);
  }
  const CodePage& Ansi() const override { return native.Ansi(); }

 private:
  RegKey last_ = 0x1000;
  std::map<RegKey, std::pair<MemoryRegistry*, RegKey>> opened_;
};

TEST(ReadRegViews, NtsKeyIsReadInThe64BitViewAndTheReportsKeyAsItStood) {
  TwoViews registry;
  const std::string nt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  registry.native.SetValue(kHkeyLocalMachine, nt, "DigitalProductId", {3, testing::DigitalProductId(testing::kXpProductKey), false});
  registry.native.SetValue(kHkeyLocalMachine, nt, "CurrentBuildNumber", StringValue("19045"));
  registry.wow64.SetValue(kHkeyLocalMachine, nt, "CurrentBuildNumber", StringValue("19045"));
  registry.wow64.SetValue(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion", "ProductId",
                          StringValue("00330-80000-00000-AA111"));
  ConsoleControls controls;
  InstallInfo info;
  ReadReg(registry, controls, info, Family::WindowsNt);
  EXPECT_EQ(info.ProductKey, FromUtf8(testing::kXpProductKey)) << "NT's key, in the 64-bit view";
  EXPECT_EQ(info.ProductId, u"00330-80000-00000-AA111") << "the report's own key, opened as it was";
}

}  // namespace
}  // namespace taloveric
