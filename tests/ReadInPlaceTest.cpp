// Each file read where it lies, once, into memory: no copy anywhere, a size
// checked before anything is read or unpacked, and every error naming the
// file as the user knows it (the image, the partition, the path). And inputs
// a user or an attacker can multiply (keys deleted and made again, a key
// nested deep, partitions listed twice, folders of many entries), each read
// right; what they cost is measured in tests/bench, never asserted here.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/RegValue.h"
#include "platform/Unicode.h"
#include "platform/memory/MemoryHive.h"
#include "platform/memory/RegFile.h"
#include "platform/posix/HostTree.h"
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

std::string OpenFails(const std::filesystem::path& source) {
  try {
    OpenSources({source}, std::nullopt, kNobody);
    return "opened";
  } catch (const std::exception& error) {
    return error.what();
  }
}

// A cabinet whose member says it unpacks to `length` bytes.
std::string CabinetClaiming(const TempFolder& work, std::uint32_t length) {
  testing::WriteCregFile(work / "in/SYSTEM.DAT", testing::Win98System());
  if (!Shell("cd " + Quote((work / "in").string()) + " && gcab -c " + Quote((work / "rb.cab").string()) +
             " SYSTEM.DAT")) {
    return "";
  }
  std::string cabinet = testing::ReadBytes(work / "rb.cab");
  const auto at = [&](std::size_t offset) {  // a little-endian double word of the header
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = v << 8 | static_cast<unsigned char>(cabinet[offset + i]);
    return v;
  };
  const std::size_t firstFile = at(16);  // coffFiles; each entry starts with its cbFile
  for (std::size_t i = 0; i < 4; ++i) cabinet[firstFile + i] = static_cast<char>(length >> (8 * i));
  return cabinet;
}

TEST(ReadInPlace, ACabinetThatWouldUnpackTooMuchIsRefusedBeforeUnpacking) {
  if (!testing::HaveTools({"gcab"})) GTEST_SKIP() << "gcab is not installed";
  // A Windows 98 folder with nothing but that cabinet: the run says so.
  TempFolder work, disk;
  const std::string bomb = CabinetClaiming(work, 1u << 30);
  ASSERT_FALSE(bomb.empty());
  std::filesystem::create_directories(disk / "WINDOWS/SYSBCKUP");
  testing::WriteBytes(disk / "WINDOWS/SYSBCKUP/RB001.CAB", bomb);
  const std::string said = OpenFails(disk.path());
  EXPECT_NE(said.find("RB001.CAB: its SYSTEM.DAT would unpack to 1073741824 bytes, more than any registry file holds"),
            std::string::npos)
      << said;
}

// An image cut short before a file's data, as one still being copied is.
TEST(ReadInPlace, AnImageCutShortSaysWhereAndWhy) {
  if (!testing::HaveTools({"mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs mkfs.fat, mcopy";
  TempFolder work;
  testing::WriteRegfFile(work / "disk/WINDOWS/system32/config/SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  const std::string raw = (work / "disk.raw").string();
  ASSERT_TRUE(testing::FatImage(raw, 40960, work / "disk"));
  const std::string image = testing::ReadBytes(raw);
  const std::size_t hive = image.find("regf");
  ASSERT_NE(hive, std::string::npos);
  testing::WriteBytes(raw, image.substr(0, hive + 4096));
  const std::string said = OpenFails(raw);
  EXPECT_NE(said.find(raw + ", the disk's file system (FAT32, at byte 0):/WINDOWS/system32/config/SOFTWARE: its data "
                            "cannot be read past byte"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("may be cut short, or still being copied"), std::string::npos) << said;
  EXPECT_EQ(said.find("/tmp/taloveric-image"), std::string::npos) << "no private copy is named";
}

// A file that turns out to be no regular file when it is read (swapped for a
// FIFO after the folder was looked through) is refused on the descriptor it
// was opened with, never waited on; the run still gives the machine's values.
TEST(ReadInPlace, AFileSwappedForAFifoIsRefusedNotWaitedOn) {
  TempFolder disk;
  testing::WriteCregFile(disk / "WINDOWS/SYSTEM.DAT", testing::Win98System());
  ASSERT_EQ(::mkfifo((disk / "WINDOWS/USER.DAT").c_str(), 0600), 0);
  HostTree tree(disk.path());
  try {
    tree.ReadAll("WINDOWS/USER.DAT", 1 << 20);
    ADD_FAILURE() << "read";
  } catch (const SourceError& error) {
    EXPECT_NE(std::string(error.what()).find("USER.DAT: is not a regular file"), std::string::npos) << error.what();
  }
  OpenedSources opened = OpenSources({disk.path()}, std::nullopt, kNobody);
  EXPECT_EQ(Collect(opened, "disk", 1).info.ProductKey, u"HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN");
}

// Deleting takes an entry out of the index without losing those after it in
// its run of slots: every key still there is found, none deleted is.
TEST(Costs, KeysDeletedAndMadeAgainAreFoundAsTheyStand) {
  MemoryHive hive;
  for (int i = 0; i < 2000; ++i) hive.MakeKey(0, "k" + std::to_string(i));
  for (int i = 0; i < 2000; i += 3) hive.DeleteKey(0, "k" + std::to_string(i));
  for (int i = 0; i < 2000; i += 6) hive.MakeKey(0, "k" + std::to_string(i));
  for (int i = 0; i < 2000; ++i) {
    const bool there = i % 3 != 0 || i % 6 == 0;
    EXPECT_EQ(hive.Child(0, "K" + std::to_string(i), CodePage()).has_value(), there) << i;
  }
  // One key deleted and made again many times, as a hostile export does.
  std::string text = "REGEDIT4\r\n";
  for (int i = 0; i < 20000; ++i) {
    text += "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n\"ProductKey\"=\"K" +
            std::to_string(i) + "\"\r\n[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n";
  }
  text += "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n\"ProductKey\"=\"LAST\"\r\n";
  MemoryRegistry registry;
  LoadRegText(text, "churn.reg", registry, CodePage());
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
    LoadRegText(text, "deep.reg", registry, CodePage());
    ADD_FAILURE() << "read";
  } catch (const RegFileError& error) {
    EXPECT_NE(std::string(error.what()).find("deep.reg:2: a key nested 1000000 levels deep"), std::string::npos)
        << error.what();
  }
  EXPECT_LT(registry.Hive().Bytes(), std::size_t{1} << 20) << "nothing was made of it";
}

// A partition table that lists one partition twice: one installation, read once.
TEST(Costs, APartitionListedTwiceIsReadOnce) {
  if (!testing::HaveTools({"sfdisk", "mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs sfdisk, mkfs.fat, mcopy";
  TempFolder work;
  testing::WriteRegfFile(work / "WINDOWS/system32/config/SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  const std::string raw = (work / "disk.raw").string();
  ASSERT_TRUE(Shell("truncate -s 50M " + Quote(raw) + " && echo 'start=2048, size=81920, type=c' | sfdisk -q " +
                    Quote(raw)));
  std::string image = testing::ReadBytes(raw);
  for (int slot = 1; slot < 4; ++slot) image.replace(446 + 16 * slot, 16, image.substr(446, 16));  // the same in each
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
  if (!testing::HaveTools({"mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs mkfs.fat, mcopy";
  TempFolder work;
  const std::filesystem::path root = work / "disk";
  testing::WriteRegfFile(root / "Windows/System32/config/SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  for (int i = 0; i < 300; ++i) {
    testing::WriteRegfFile(root / "Users" / ("u" + std::to_string(i)) / "NTUSER.DAT",
                           testing::XpUser("u" + std::to_string(i) + "@example.org"), "n");
  }
  for (int i = 0; i < 2000; ++i) std::filesystem::create_directories(root / ("a" + std::to_string(i)));
  const std::string raw = (work / "disk.raw").string();
  ASSERT_TRUE(testing::FatImage(raw, 204800, root));
  OpenedSources opened = OpenSources({raw}, std::string("u299"), kNobody);
  ASSERT_EQ(opened.profiles.size(), 300u);
  EXPECT_EQ(Collect(opened, raw, 1).info.MailAddress, u"u299@example.org");
  for (const ProfileFound& profile : opened.profiles) {
    EXPECT_EQ(profile.email, FromUtf8(profile.name) + u"@example.org") << profile.name;
  }
}

}  // namespace
}  // namespace taloveric
