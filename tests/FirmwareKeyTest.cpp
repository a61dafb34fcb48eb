// A Windows 7 to 11 machine's key told truthfully: the firmware's OEM key in
// its ACPI MSDM table, and which key the saved report's code line holds when
// the installation's own is generic, removed or missing.

#include <gtest/gtest.h>

#include "platform/AcpiMsdm.h"
#include "platform/CodePage.h"
#include "report/Forms.h"
#include "rescue/Findings.h"
#include "support/Fixtures.h"

namespace taloveric {
namespace {

using testing::TempFolder;

using testing::kOemKey;
using testing::Msdm;

TEST(Msdm, ReadsTheKeyOfAWholeTableAndTrustsNoOther) {
  std::string badSum = Msdm();
  badSum[60] = 'B';
  std::string longer = Msdm();
  longer[4] = 120;
  const struct {
    const char* what;
    std::string table;
    const char* key;
    const char* problem;
  } cases[] = {
      {"whole", Msdm(), kOemKey, ""},
      {"with bytes after it", Msdm() + "trailing", kOemKey, ""},
      {"a byte changed", badSum, "", "checksum"},
      {"longer than its bytes", longer, "", "declared length"},
      {"cut short", Msdm().substr(0, 70), "", "too short"},
      {"no key's digits", Msdm("NKJFK-GPHP7-G8C3J-P6JXR-HQRJ0"), "", "no product key"},
      {"no dashes", Msdm("NKJFKGGPHP7GG8C3JGP6JXRGHQRJR"), "", "no product key"},
  };
  for (const auto& c : cases) {
    const FirmwareKey read = ReadMsdm(c.table);
    EXPECT_EQ(read.key, c.key) << c.what;
    EXPECT_NE(read.problem.find(c.problem), std::string::npos) << c.what << ": " << read.problem;
    EXPECT_EQ(read.problem.empty(), std::string(c.problem).empty()) << c.what;
  }
  EXPECT_EQ(ReadMsdm(Msdm()).oemId, "LENOVO");
}

// An installation whose key is `key` (a DigitalProductId's bytes).
void Windows10(const TempFolder& disk, const std::string& id) {
  testing::FixtureKey software = testing::XpSoftware();
  for (testing::FixtureValue& value : testing::Path(software, "Microsoft\\Windows NT\\CurrentVersion").values) {
    if (value.name == "DigitalProductId") value.data = id;
    if (value.name == "CurrentVersion") value = testing::Utf16("CurrentVersion", "6.3");
    if (value.name == "CurrentBuildNumber") value = testing::Utf16("CurrentBuildNumber", "22631");
  }
  testing::Path(software, "Microsoft\\Windows NT\\CurrentVersion")
      .values.insert(testing::Path(software, "Microsoft\\Windows NT\\CurrentVersion").values.end(),
                     {testing::Dword("CurrentMajorVersionNumber", 10), testing::Dword("CurrentMinorVersionNumber", 0)});
  testing::WriteRegfFile(disk / "Windows/System32/config/SOFTWARE", software, "SOFTWARE");
}

Findings Read(const std::vector<std::filesystem::path>& sources, const std::filesystem::path& here = "/nonexistent") {
  OpenedSources opened =
      OpenSources(sources, std::nullopt, [](const auto&, const auto&) { return std::optional<std::string>(); });
  return Collect(opened, "disk", 1, here);
}

bool Says(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

TEST(FirmwareKey, StandsOnTheCodeLineForAKeyOfNoUse) {
  TempFolder work;
  testing::WriteBytes(work / "MSDM", Msdm());
  testing::WriteBytes(work / "damaged.msdm", Msdm().substr(0, 60) + "XXXXXXXXXXXXXXXXXXXXXXXXX");
  testing::WriteBytes(work / "this-computer-MSDM", "never read");
  const std::string generic = testing::DigitalProductId("VK7JG-NPHTM-C97JM-9MPGT-3V66T");
  const std::string own = testing::DigitalProductId(testing::kXpProductKey);
  const std::string removed(164, '\0');
  const std::u16string kNone(256, u' ');  // a value the Windows key lacks, and NT's holds no key
  const struct {
    const char* what;
    std::string id;
    bool withTable;
    std::string table = "MSDM";
    std::u16string codeLine;
    const char* keyKind;
    const char* note;  // among the notes; empty for none of these
  } cases[] = {
      {"a generic key and the table", generic, true, "MSDM", CodePage().FromAnsi(kOemKey), "generic",
       "holds the firmware's OEM product key NKJFK-GPHP7-G8C3J-P6JXR-HQRJR, as the installation's own key is a "
       "generic one"},
      {"a removed key and the table", removed, true, "MSDM", CodePage().FromAnsi(kOemKey), "removed",
       "as the installation keeps no key"},
      {"its own key and the table", own, true, "MSDM", CodePage().FromAnsi(testing::kXpProductKey), "installed", ""},
      {"a removed key, a damaged table", removed, true, "damaged.msdm", kNone, "removed", ""},
      {"a removed key, no table, this computer has one", removed, false, "", kNone, "removed",
       "this computer's firmware holds an OEM product key"},
  };
  for (const auto& c : cases) {
    TempFolder disk;
    Windows10(disk, c.id);
    std::vector<std::filesystem::path> sources = {disk / "Windows/System32/config/SOFTWARE"};
    if (c.withTable) sources.push_back(work / c.table);
    const Findings found = Read(sources, work / "this-computer-MSDM");
    EXPECT_EQ(found.info.ProductKey, c.codeLine) << c.what;
    ASSERT_TRUE(found.nt) << c.what;
    EXPECT_STREQ(KeyKindName(found.nt->productKey.kind), c.keyKind) << c.what;
    if (*c.note != '\0') {
      EXPECT_TRUE(Says(found.notes, c.note)) << c.what;
    }
    EXPECT_EQ(found.nt->version.Name(), "Windows 11") << "build 22631, whatever its ProductName says";
    const std::string json = JsonOutput(found, true);
    EXPECT_NE(json.find(std::string("\"keyKind\": \"") + c.keyKind + "\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"windows\": \"Windows 11\""), std::string::npos) << json;
  }
  // A damaged table is a warning, never trusted; one that holds a key is shown.
  const Findings damaged = Read({work / "damaged.msdm"});
  EXPECT_TRUE(Says(damaged.warnings, "an ACPI MSDM table that is not trusted"));
  EXPECT_EQ(damaged.firmware->key, "");
  const Findings alone = Read({work / "MSDM"});
  EXPECT_EQ(alone.info.ProductKey, CodePage().FromAnsi(kOemKey)) << "nothing else gives a key";
  EXPECT_NE(TextOutput(alone).find("OEM product key: NKJFK-GPHP7-G8C3J-P6JXR-HQRJR"), std::string::npos);
  EXPECT_NE(CsvRow(alone).find(",\"NKJFK-GPHP7-G8C3J-P6JXR-HQRJR\","), std::string::npos) << CsvRow(alone);
}

}  // namespace
}  // namespace taloveric
