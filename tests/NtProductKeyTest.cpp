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

}  // namespace
}  // namespace taloveric
