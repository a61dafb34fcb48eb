// Every product key a machine holds, each said what it belongs to and what
// kind it is, and the one the saved report's code line holds.

#include <gtest/gtest.h>

#include <functional>

#include "platform/Unicode.h"
#include "report/Forms.h"
#include "rescue/Findings.h"
#include "support/Fixtures.h"
#include "support/Reading.h"
#include "support/Shell.h"

namespace taloveric {
namespace {

using testing::FixtureKey;
using testing::Path;
using testing::TempFolder;
using testing::Utf16;

constexpr char kSevenKey[] = "YKHFT-KW986-GK4PY-FDWYH-7TP9F";
constexpr char kGenericTen[] = "VK7JG-NPHTM-C97JM-9MPGT-3V66T";  // Windows 10 Pro's setup default
constexpr char kOfficeKey[] = "KGFVY-7733B-8WCK9-KTG64-BC7D8";

FixtureKey Windows(const std::string& digitalProductId, const std::string& build, const std::string& edition) {
  FixtureKey root{"CMI-CreateHive{199DAFC2-6F16-4946-BF90-5A3FC3A60902}", {}, {}};
  Path(root, "Microsoft\\Windows NT\\CurrentVersion").values = {
      {"DigitalProductId", 3, digitalProductId}, Utf16("CurrentVersion", "6.3"), Utf16("CurrentBuildNumber", build),
      testing::Dword("CurrentMajorVersionNumber", build == "7601" ? 6 : 10),
      testing::Dword("CurrentMinorVersionNumber", build == "7601" ? 1 : 0),
      Utf16("EditionID", edition), Utf16("ProductName", build == "7601" ? "Windows 7 " + edition : "Windows 10 Pro")};
  Path(root, "Classes");
  return root;
}

// Office's DigitalProductID: 164 bytes, the key at 52; Office 2010's 1,272, the key at 808.
std::string OfficeId(const std::string& key, std::size_t size) {
  const std::string id = testing::DigitalProductId(key);
  if (size == 164) return id;
  std::string long2010(size, '\0');
  long2010.replace(808, 15, id.substr(52, 15));
  return long2010;
}

FixtureKey System(const std::vector<std::pair<std::string, std::string>>& upgrades) {
  FixtureKey root = testing::XpSystem("1252");
  for (const auto& [name, key] : upgrades) {
    Path(root, "Setup\\" + name).values = {{"DigitalProductId", 3, testing::DigitalProductId(key)},
                                           Utf16("CurrentVersion", "6.1"), Utf16("CurrentBuildNumber", "7601"),
                                           Utf16("EditionID", "Professional")};
  }
  return root;
}

struct KeysCase {
  const char* name;
  std::function<void(const std::filesystem::path& disk)> lay;
  std::vector<std::string> keys;  // "KEY kind belongs-to" a line each, in order; a line holds this
  const char* codeLine;
  const char* warning;  // nullptr: none of the keys'
};

void PrintTo(const KeysCase& c, std::ostream* out) { *out << c.name; }

void Hives(const std::filesystem::path& disk, const FixtureKey& software, const FixtureKey& system) {
  testing::WriteRegfFile(disk / "Windows/System32/config/SOFTWARE", software, "SOFTWARE");
  testing::WriteRegfFile(disk / "Windows/System32/config/SYSTEM", system, "SYSTEM");
}

const KeysCase kCases[] = {
    {"Windows10UpgradedFrom7",
     [](const std::filesystem::path& disk) {
       Hives(disk, Windows(testing::DigitalProductId(kGenericTen), "19045", "Professional"),
             System({{"Source OS (Updated on 3/2/2019 08:00:00)", "BCDFG-HJKMP-QRTVW-XY234-6789B"},
                     {"Source OS (Updated on 5/4/2021 10:12:34)", kSevenKey}}));
     },
     {std::string(kGenericTen) + " generic Windows 10 Pro, build 19045",
      std::string(kSevenKey) + " installed the Windows this was upgraded from, on 2021-05-04: Windows 7 Professional",
      "BCDFG-HJKMP-QRTVW-XY234-6789B installed the Windows this was upgraded from, on 2019-03-02"},
     kSevenKey, nullptr},
    {"ADigitalLicenceWithWindowsOld",
     [](const std::filesystem::path& disk) {
       Hives(disk, Windows(std::string(164, '\0'), "22631", "Professional"), System({}));
       testing::WriteRegfFile(disk / "Windows.old/Windows/System32/config/SOFTWARE",
                              Windows(testing::DigitalProductId(kSevenKey), "7601", "Ultimate"), "SOFTWARE");
     },
     {" removed Windows 11 Pro, build 22631",
      std::string(kSevenKey) + " installed the previous installation in "},
     kSevenKey, nullptr},
    {"XpWithOffice2003",
     [](const std::filesystem::path& disk) {
       FixtureKey software = testing::XpSoftware();
       Path(software, "Microsoft\\Office\\11.0\\Registration\\{90170409-6000-11D3-8CFE-0150048383C9}").values = {
           {"DigitalProductID", 3, OfficeId(kOfficeKey, 164)},
           Utf16("ProductName", "Microsoft Office Professional Edition 2003")};
       Hives(disk, software, testing::XpSystem("1252"));
     },
     {std::string(testing::kXpProductKey) + " installed Windows XP",
      std::string(kOfficeKey) + " installed Microsoft Office Professional Edition 2003 (11.0)"},
     testing::kXpProductKey, nullptr},
    {"Seven64With32BitOffice2010AndOffice2016",
     [](const std::filesystem::path& disk) {
       FixtureKey software = Windows(testing::DigitalProductId(kSevenKey), "7601", "Professional");
       Path(software, "Wow6432Node\\Microsoft\\Office\\14.0\\Registration\\{90140000-0011-0000-0000-0000000FF1CE}")
           .values = {{"DigitalProductID", 3, OfficeId(kOfficeKey, 1272)}};
       Path(software, "Microsoft\\Office\\16.0\\Registration");
       Hives(disk, software, System({}));
     },
     {std::string(kSevenKey) + " installed Windows 7 Professional, build 7601",
      " none kept Microsoft Office 2013 or later (16.0)",
      std::string(kOfficeKey) + " installed Microsoft Office 2010 (14.0) (32-bit)"},
     kSevenKey, nullptr},
    {"KeysThatAreNoKeys",
     [](const std::filesystem::path& disk) {
       FixtureKey software = testing::XpSoftware();
       Path(software, "Microsoft\\Office\\12.0\\Registration\\{A}").values = {{"DigitalProductID", 3, std::string(100, 'x')}};
       std::vector<std::pair<std::string, std::string>> upgrades;
       for (int i = 0; i < 1000; ++i) upgrades.emplace_back("Source OS (Updated on 1/1/2000 00:00:" + std::to_string(10 + i % 50) + ")" + std::to_string(i), kSevenKey);
       Hives(disk, software, System(upgrades));
     },
     {std::string(testing::kXpProductKey) + " installed Windows XP"},
     testing::kXpProductKey, "holds 1000 keys of earlier Windows"},
};

class KeysTest : public ::testing::TestWithParam<KeysCase> {};

TEST_P(KeysTest, AreEachNamedWithWhatTheyBelongTo) {
  const KeysCase& c = GetParam();
  TempFolder disk;
  c.lay(disk.path());
  const Findings found = testing::Read({disk.path()});
  std::vector<std::string> lines;
  for (const FoundKey& key : found.keys) lines.push_back(key.key + " " + key.kind + " " + key.belongsTo);
  ASSERT_GE(lines.size(), c.keys.size());
  for (std::size_t i = 0; i < c.keys.size(); ++i) EXPECT_NE(lines[i].find(c.keys[i]), std::string::npos) << lines[i];
  EXPECT_EQ(found.info.ProductKey, FromUtf8(c.codeLine));
  // Every form says them alike.
  const std::string text = TextOutput(found), json = JsonOutput(found);
  for (const FoundKey& key : found.keys) {
    if (key.key.empty()) continue;
    EXPECT_NE(text.find(key.key + "  " + key.kind), std::string::npos) << text;
    EXPECT_NE(json.find("\"key\": \"" + key.key + "\""), std::string::npos);
  }
  if (c.warning != nullptr) {
    EXPECT_NE(testing::Lines(found.warnings).find(c.warning), std::string::npos) << testing::Lines(found.warnings);
  }
}

INSTANTIATE_TEST_SUITE_P(Machines, KeysTest, ::testing::ValuesIn(kCases),
                         [](const auto& each) { return std::string(each.param.name); });

// The firmware's table beside a disk image: its key listed, and on the code
// line of an installation whose own key is generic.
TEST(Keys, TheFirmwaresBesideADiskImage) {
  if (!testing::HaveTools({"mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs mkfs.fat, mcopy";
  TempFolder work;
  Hives(work / "root", Windows(testing::DigitalProductId(kGenericTen), "19045", "Professional"), System({}));
  ASSERT_TRUE(testing::FatImage(work / "disk.img", 40960, work / "root"));
  testing::WriteBytes(work / "MSDM", testing::Msdm());
  const Findings found = testing::Read({work / "MSDM", work / "disk.img"});
  EXPECT_EQ(found.info.ProductKey, FromUtf8(testing::kOemKey));
  ASSERT_FALSE(found.keys.empty());
  EXPECT_EQ(found.keys.back().key, testing::kOemKey);
  EXPECT_EQ(found.keys.back().belongsTo, "the computer's firmware (LENOVO)");
}

}  // namespace
}  // namespace taloveric
