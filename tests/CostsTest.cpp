// Inputs a user or an attacker can multiply (keys deleted and made again, a
// key nested deep, partitions listed twice, folders of many entries): each
// read right, at a cost that follows what is read. The times themselves are
// measured in tests/bench, never asserted here.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/memory/MemoryHive.h"
#include "platform/RegValue.h"
#include "platform/Unicode.h"
#include "platform/memory/RegFile.h"
#include "rescue/Findings.h"
#include "rescue/Sources.h"
#include "support/Fixtures.h"
#include "support/Shell.h"

namespace taloveric {
namespace {

using testing::Quote;
using testing::Shell;
using testing::TempFolder;

const auto kNobody = [](const std::string&, const std::vector<std::string>&) { return std::optional<std::string>(); };

// Deleting takes an entry out of the index without losing those after it in
// its run of slots: every key still there is found, none deleted is.
TEST(Costs, KeysDeletedAndMadeAgainAreFoundAsTheyStand) {
  MemoryHive hive;
  for (int i = 0; i < 2000; ++i) hive.MakeKey(0, "k" + std::to_string(i));
  for (int i = 0; i < 2000; i += 3) hive.DeleteKey(0, "k" + std::to_string(i));
  for (int i = 0; i < 2000; i += 6) hive.MakeKey(0, "k" + std::to_string(i));
  for (int i = 0; i < 2000; ++i) {
    const bool there = i % 3 != 0 || i % 6 == 0;
    EXPECT_EQ(hive.Child(0, "K" + std::to_string(i)).has_value(), there) << i;
  }
  // One key deleted and made again many times, as a hostile export does.
  std::string text = "REGEDIT4\r\n";
  for (int i = 0; i < 20000; ++i) {
    text += "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n\"ProductKey\"=\"K" +
            std::to_string(i) + "\"\r\n[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n";
  }
  text += "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n\"ProductKey\"=\"LAST\"\r\n";
  MemoryRegistry registry;
  LoadRegText(text, "churn.reg", registry);
  ScopedRegKey key(registry);
  ASSERT_EQ(key.Open(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion"), kErrorSuccess);
  EXPECT_EQ(ReadValueText(registry, key.get(), "ProductKey"), "LAST");
}

// A key line nested far deeper than its file could hold is refused, naming
// the file and the line, before the keys are made.
TEST(Costs, AKeyNestedBeyondItsFilesMeansIsRefused) {
  std::string text = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 1'000'000; ++i) text += "\\a";
  text += "]\r\n";
  MemoryRegistry registry;
  try {
    LoadRegText(text, "deep.reg", registry);
    ADD_FAILURE() << "read";
  } catch (const RegFileError& error) {
    EXPECT_NE(std::string(error.what()).find("deep.reg:2: a key nested 1000000 levels deep"), std::string::npos)
        << error.what();
  }
  EXPECT_LT(registry.Hive().Bytes(), std::size_t{1} << 20) << "nothing was made of it";
}

// A partition table that lists one partition twice: one installation, read once.
TEST(Costs, APartitionListedTwiceIsReadOnce) {
  if (!testing::HaveTools({"mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs mkfs.fat, mcopy";
  TempFolder work;
  testing::WriteRegfFile(work / "WINDOWS/system32/config/SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  const std::string raw = (work / "disk.raw").string();
  ASSERT_TRUE(Shell("truncate -s 50M " + Quote(raw)));
  std::string mbr(512, '\0');
  for (int slot = 0; slot < 4; ++slot) {  // every slot: a FAT32 partition at sector 2048
    const std::size_t at = 446 + 16 * slot;
    mbr[at + 4] = '\x0c';
    const std::uint32_t start = 2048, sectors = 81920;
    for (int i = 0; i < 4; ++i) {
      mbr[at + 8 + i] = static_cast<char>(start >> (8 * i));
      mbr[at + 12 + i] = static_cast<char>(sectors >> (8 * i));
    }
  }
  mbr[510] = '\x55';
  mbr[511] = '\xAA';
  std::string image = testing::ReadBytes(raw);
  image.replace(0, 512, mbr);
  testing::WriteBytes(raw, image);
  ASSERT_TRUE(Shell("mkfs.fat -F 32 --offset 2048 " + Quote(raw) + " 40960"));
  ASSERT_TRUE(Shell("mcopy -s -m -i " + Quote(raw + "@@1048576") + " " + Quote((work / "WINDOWS").string()) + " ::/"));
  std::vector<std::string> offered;
  const auto offeredAll = [&](const std::string&, const std::vector<std::string>& places) {
    offered = places;
    return std::optional<std::string>();
  };
  const OpenedSources opened = OpenSources({raw}, std::nullopt, offeredAll);
  EXPECT_EQ(opened.installations, 1u);
  EXPECT_TRUE(offered.empty()) << "nothing to choose among";
}

// A folder of many entries before the Windows folder, on an image, and a
// Windows of many profiles: each found, each profile listed once.
TEST(Costs, ManyEntriesAndProfilesOnAnImageAreAllRead) {
  if (!testing::HaveTools({"mkfs.fat", "mcopy", "mmd"})) GTEST_SKIP() << "needs mkfs.fat, mcopy, mmd";
  TempFolder work;
  const std::filesystem::path root = work / "disk";
  testing::WriteRegfFile(root / "Windows/System32/config/SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  for (int i = 0; i < 300; ++i) {
    testing::WriteRegfFile(root / "Users" / ("u" + std::to_string(i)) / "NTUSER.DAT",
                           testing::XpUser("u" + std::to_string(i) + "@example.org"), "n");
  }
  for (int i = 0; i < 2000; ++i) std::filesystem::create_directories(root / ("a" + std::to_string(i)));
  const std::string raw = (work / "disk.raw").string();
  ASSERT_TRUE(Shell("mkfs.fat -F 32 -S 512 -s 1 -C " + Quote(raw) + " 204800"));
  ASSERT_TRUE(Shell("cd " + Quote(root.string()) + " && mcopy -s -m -i " + Quote(raw) + " * ::/"));
  OpenedSources opened = OpenSources({raw}, std::string("u299"), kNobody);
  ASSERT_EQ(opened.profiles.size(), 300u);
  EXPECT_EQ(Collect(opened, raw, 1).info.MailAddress, u"u299@example.org");
  for (const ProfileFound& profile : opened.profiles) {
    EXPECT_EQ(profile.email, FromUtf8(profile.name) + u"@example.org") << profile.name;
  }
}

}  // namespace
}  // namespace taloveric
