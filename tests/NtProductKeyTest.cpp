#include "collect/NtProductKey.h"

#include <gtest/gtest.h>

#include "platform/memory/MemoryRegistry.h"
#include "support/Fixtures.h"

namespace taloveric {
namespace {

TEST(NtProductKey, DecodesBothFormsOfTheKey) {
  for (const char* key : {"BCDFG-HJKMP-QRTVW-XY234-6789B",   // every digit once
                          "Y9999-99999-99999-99999-99999",   // near the largest a classic key holds
                          "BCNDF-GHJKM-PQRTV-WXY23-46789",   // Windows 8 and later: an N third
                          "NBCDF-GHJKM-PQRTV-WXY23-46789"}) {  // and first
    EXPECT_EQ(DecodeProductKey(testing::DigitalProductId(key)), key);
  }
  // No key: too short, all zero (none was entered), more than 25 digits.
  for (const std::string& id : {std::string(66, '\x7F'), std::string(164, '\0'), std::string(164, '\xFF')}) {
    EXPECT_EQ(DecodeProductKey(id), std::nullopt) << id.size() << " bytes of " << int(id[0]);
  }
}

TEST(NtProductKey, ReadsWhatNtKeepsAboutItself) {
  MemoryRegistry registry;
  const char* nt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  EXPECT_EQ(ReadNtInstallation(registry), std::nullopt) << "Windows 9x has no such key";
  registry.SetValue(kHkeyLocalMachine, nt, "DigitalProductId", StringValue("too short"));  // a value of the wrong type
  registry.SetValue(kHkeyLocalMachine, nt, "CurrentBuildNumber", StringValue("2600"));
  registry.SetValue(kHkeyLocalMachine, nt, "InstallDate", DwordValue(1199145600));
  auto read = ReadNtInstallation(registry);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->productKey.key, "");
  EXPECT_NE(read->productKey.problem.find("too short"), std::string::npos);
  EXPECT_EQ(read->version.Number(), "");
  EXPECT_EQ(read->version.build, "2600");
  EXPECT_EQ(read->installDate, "2008-01-01");

  std::string id4(1272, '\0');
  id4.replace(kDigitalProductId4Key, 15, testing::DigitalProductId(testing::kXpProductKey).substr(52, 15));
  registry.SetValue(kHkeyLocalMachine, nt, "DigitalProductId4", {kRegBinary, id4});
  read = ReadNtInstallation(registry);
  EXPECT_EQ(read->productKey.key, testing::kXpProductKey);
  EXPECT_EQ(read->productKey.source, "DigitalProductId4");
  EXPECT_EQ(read->productKey.problem, "") << "the value that decodes is what counts";
}

// Seconds since 1970 as the day they fall on, at the edges of months, years
// and leap days; the last second of a day is still that day.
TEST(NtProductKey, InstallDatesAtMonthAndYearEdges) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "1970-01-01"},          {946598400, "1999-12-31"},        {946684799, "1999-12-31"},
      {946684800, "2000-01-01"},  {949276800, "2000-01-31"},        {949363200, "2000-02-01"},
      {951782400, "2000-02-29"},  {951868800, "2000-03-01"},        {983318400, "2001-02-28"},
      {983404800, "2001-03-01"},  {1104451200, "2004-12-31"},       {4107456000u, "2100-02-28"},
      {4107542400u, "2100-03-01"}, {4294967295u, "2106-02-07"},
  };
  MemoryRegistry registry;
  for (const auto& [seconds, date] : cases) {
    registry.SetValue(kHkeyLocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion", "InstallDate",
                      DwordValue(seconds));
    const auto read = ReadNtInstallation(registry);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->installDate, date) << seconds;
  }
}

// Windows 8 and later put an N anywhere in the key and mark the form in bit 3
// of the key's last byte: every place of the N decodes back, those whose
// last byte is large among them.
TEST(NtProductKey, DecodesTheNInEveryPlace) {
  const std::string digits = "BCDFGHJKMPQRTVWXY2346789";
  for (std::size_t n = 0; n < 24; ++n) {  // a digit says where: never in the last place
    std::string plain = digits.substr(0, 24);
    plain.insert(n, "N");
    std::string key;
    for (std::size_t i = 0; i < 25; ++i) key += (i > 0 && i % 5 == 0 ? "-" : "") + plain.substr(i, 1);
    EXPECT_EQ(DecodeProductKey(testing::DigitalProductId(key)), key) << "N at " << n;
  }
}

// Each key says what it is: the installation's own, a published one that
// activates nothing by itself, or none kept at all.
TEST(NtProductKey, SaysWhatKindOfKeyItIs) {
  const std::string id4Zero(1272, '\0');
  const struct {
    const char* what;
    std::string id, id4;  // empty: the value is not there
    KeyKind kind;
    const char* key;
    const char* saysInNote;
    bool problem;
  } cases[] = {
      {"its own", testing::DigitalProductId(testing::kXpProductKey), "", KeyKind::Installed, testing::kXpProductKey,
       "", false},
      {"Pro's setup default", testing::DigitalProductId("VK7JG-NPHTM-C97JM-9MPGT-3V66T"), "", KeyKind::Generic,
       "VK7JG-NPHTM-C97JM-9MPGT-3V66T", "does not activate it", false},
      {"Home's setup default", testing::DigitalProductId("YTMG3-N6DKC-DKB77-7M9GH-8HVX7"), "", KeyKind::Generic,
       "YTMG3-N6DKC-DKB77-7M9GH-8HVX7", "Windows 10/11 Home", false},
      {"a KMS client key", testing::DigitalProductId("W269N-WFGWX-YVC9B-4J6C9-T83GX"), "", KeyKind::Generic,
       "W269N-WFGWX-YVC9B-4J6C9-T83GX", "KMS client", false},
      {"zero bytes: a digital licence", std::string(164, '\0'), id4Zero, KeyKind::Removed, "", "digital licence",
       false},
      {"zero bytes in the first, a key in the second", std::string(164, '\0'),
       std::string(id4Zero).replace(kDigitalProductId4Key, 15,
                                    testing::DigitalProductId(testing::kXpProductKey).substr(52, 15)),
       KeyKind::Installed, testing::kXpProductKey, "", false},
      {"too short", std::string(60, '\x11'), "", KeyKind::None, "", "", true},
      {"not a key's digits", std::string(164, '\xFF'), "", KeyKind::None, "", "", true},
  };
  for (const auto& c : cases) {
    MemoryRegistry registry;
    const char* nt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
    if (!c.id.empty()) registry.SetValue(kHkeyLocalMachine, nt, "DigitalProductId", {kRegBinary, c.id});
    if (!c.id4.empty()) registry.SetValue(kHkeyLocalMachine, nt, "DigitalProductId4", {kRegBinary, c.id4});
    const auto read = ReadNtInstallation(registry);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->productKey.kind, c.kind) << c.what;
    EXPECT_EQ(read->productKey.key, c.key) << c.what;
    EXPECT_NE(KeyKindNote(read->productKey).find(c.saysInNote), std::string::npos) << c.what;
    EXPECT_EQ(KeyKindNote(read->productKey).empty(), std::string(c.saysInNote).empty()) << c.what;
    EXPECT_EQ(!read->productKey.problem.empty(), c.problem) << c.what << ": " << read->productKey.problem;
  }
}

TEST(NtProductKey, NamesWindowsByItsVersionAndBuild) {
  const struct {
    const char* version;
    const char* build;
    const char* name;
  } cases[] = {{"5.1", "2600", "Windows XP"},   {"10.0", "21999", "Windows 10"}, {"10.0", "22000", "Windows 11"},
               {"10.0", "", "Windows 10"},     {"7.0", "1", ""}};
  for (const auto& c : cases) EXPECT_EQ((NtVersion{c.version, c.build, "", ""}.Name()), c.name) << c.version << "." << c.build;
}

}  // namespace
}  // namespace taloveric
