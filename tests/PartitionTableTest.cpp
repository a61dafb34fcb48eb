// A disk's partitions as Linux numbers them, every one that lies within the
// image looked on, and what keeps one from being read said.

#include <gtest/gtest.h>

#include <functional>

#include "platform/ByteOrder.h"
#include "rescue/Sources.h"
#include "support/Fixtures.h"
#include "support/Reading.h"
#include "support/Shell.h"

namespace taloveric {
namespace {

using testing::Quote;
using testing::Shell;
using testing::TempFolder;

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kWindowsAt = 4096, kWindowsSectors = 81920;  // where the XP file system is, in sectors

// An MBR's entry in `slot` (0 to 3) of `record`.
void MbrEntry(std::string& record, int slot, unsigned type, std::uint64_t start, std::uint64_t sectors) {
  char* at = record.data() + 446 + 16 * slot;
  at[4] = static_cast<char>(type);
  PutLe32(at + 8, static_cast<std::uint32_t>(start));
  PutLe32(at + 12, static_cast<std::uint32_t>(sectors));
  record.replace(510, 2, "\x55\xAA");
}

// A GPT of 128 entries, with Windows' file system in entry `entry` (0 for the first).
void Gpt(std::string& disk, int entry) {
  MbrEntry(disk, 0, 0xEE, 1, 0xFFFFFFFF);
  std::string header(92, '\0');
  header.replace(0, 8, "EFI PART");
  PutLe64(header.data() + 72, 2);    // the entries from sector 2
  PutLe32(header.data() + 80, 128);  // 128 of them
  PutLe32(header.data() + 84, 128);  // of 128 bytes
  disk.replace(kSector, header.size(), header);
  char* at = disk.data() + 2 * kSector + 128 * entry;
  const std::string basicData("\xA2\xA0\xD0\xEB\xE5\xB9\x33\x44\x87\xC0\x68\xB6\xB7\x26\x99\xC7", 16);
  std::copy(basicData.begin(), basicData.end(), at);
  PutLe64(at + 32, kWindowsAt);
  PutLe64(at + 40, kWindowsAt + kWindowsSectors - 1);
}

struct TableCase {
  const char* name;
  std::function<void(std::string& disk)> lay;  // writes the table into the disk's first sectors
  std::uint64_t cutAt;                           // the image's size in bytes; 0 for whole
  const char* place;                             // where Windows is said to be
  const char* said;                              // a warning holds this; nullptr: none
};

void PrintTo(const TableCase& c, std::ostream* out) { *out << c.name; }

const TableCase kTables[] = {
    {"ThePrimaryInSlotTwo", [](std::string& disk) { MbrEntry(disk, 1, 0x0C, kWindowsAt, kWindowsSectors); }, 0,
     "partition 2 (FAT32, at byte 2097152)", nullptr},
    {"TheFirstLogicalPartition",
     [](std::string& disk) {
       MbrEntry(disk, 0, 0x05, 2048, kWindowsAt - 2048 + kWindowsSectors);  // extended, its boot record at 2048
       std::string ebr(kSector, '\0');
       MbrEntry(ebr, 0, 0x0C, kWindowsAt - 2048, kWindowsSectors);
       disk.replace(2048 * kSector, kSector, ebr);
     },
     0, "partition 5 (FAT32, at byte 2097152)", nullptr},
    {"ALogicalChainThatLoops",
     [](std::string& disk) {
       MbrEntry(disk, 0, 0x05, 2048, kWindowsAt - 2048 + kWindowsSectors);
       std::string ebr(kSector, '\0');
       MbrEntry(ebr, 0, 0x0C, kWindowsAt - 2048, kWindowsSectors);
       MbrEntry(ebr, 1, 0x05, 0, 1);  // the next boot record is this one
       disk.replace(2048 * kSector, kSector, ebr);
     },
     0, "partition 5 (FAT32, at byte 2097152)", "its chain of logical partitions leads back on itself"},
    {"AGptEntryBehindTwoUnused", [](std::string& disk) { Gpt(disk, 2); }, 0, "partition 3 (FAT32, at byte 2097152)",
     nullptr},
    // An entry the table lists twice is read once; the one after it keeps its slot's number.
    {"AnEntryListedTwiceAndOneAfter",
     [](std::string& disk) {
       MbrEntry(disk, 0, 0x0C, 2048, 1024);
       MbrEntry(disk, 1, 0x0C, 2048, 1024);
       MbrEntry(disk, 2, 0x0C, kWindowsAt, kWindowsSectors);
     },
     0, "partition 3 (FAT32, at byte 2097152)", nullptr},
    {"AnImageCutShortBeforeItsSecondPartition",
     [](std::string& disk) {
       MbrEntry(disk, 0, 0x0C, kWindowsAt, kWindowsSectors);
       MbrEntry(disk, 1, 0x07, kWindowsAt + kWindowsSectors, 40960);
     },
     (kWindowsAt + kWindowsSectors) * kSector, "partition 1 (FAT32, at byte 2097152)",
     "partition 2 (at byte 44040192) lies wholly past it (the image holds 44040192 bytes): it may be cut short"},
    {"AFileSystemThatCannotBeRead",
     [](std::string& disk) {
       MbrEntry(disk, 0, 0x07, 2048, 1024);
       disk.replace(2048 * kSector + 3, 8, "NTFS    ");  // a boot sector that says NTFS, and nothing more
       MbrEntry(disk, 1, 0x0C, kWindowsAt, kWindowsSectors);
     },
     0, "partition 2 (FAT32, at byte 2097152)", "partition 1 (at byte 1048576) says it holds NTFS, but its file "
                                                "system cannot be read"},
};

class TableTest : public ::testing::TestWithParam<TableCase> {
 protected:
  void SetUp() override {
    if (!testing::HaveTools({"mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs mkfs.fat, mcopy";
  }
};

TEST_P(TableTest, NamesThePartitionAsLinuxDoes) {
  const TableCase& c = GetParam();
  TempFolder work;
  testing::WriteRegfFile(work / "root/WINDOWS/system32/config/SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  const std::string raw = (work / "disk.img").string();
  ASSERT_TRUE(Shell("truncate -s 64M " + Quote(raw) + " && mkfs.fat -F 32 --offset " + std::to_string(kWindowsAt) +
                    " " + Quote(raw) + " " + std::to_string(kWindowsSectors / 2) + " && mcopy -s -m -i " +
                    Quote(raw + "@@" + std::to_string(kWindowsAt * kSector)) + " " + Quote((work / "root/WINDOWS").string()) +
                    " ::/"));
  std::string disk = testing::ReadBytes(raw);
  c.lay(disk);
  if (c.cutAt != 0) disk.resize(c.cutAt);
  testing::WriteBytes(raw, disk);
  const OpenedSources opened = testing::Open({raw});
  ASSERT_FALSE(opened.sourceFiles.empty());
  EXPECT_EQ(DescribeLayers(opened.sourceFiles.front().layers), c.place);
  const std::string warnings = testing::Lines(opened.warnings);
  if (c.said == nullptr) {
    EXPECT_EQ(warnings, "");
  } else {
    EXPECT_NE(warnings.find(c.said), std::string::npos) << warnings;
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, TableTest, ::testing::ValuesIn(kTables),
                         [](const auto& each) { return std::string(each.param.name); });

// A disk without Windows says what each partition is, by its GPT type or MBR
// id, or by what it holds, so that the user knows what was given.
TEST(DisksWithoutWindows, SayWhatEachPartitionIs) {
  if (!testing::HaveTools({"sfdisk", "mkfs.fat"})) GTEST_SKIP() << "needs sfdisk, mkfs.fat";
  const struct {
    const char* table;  // for sfdisk
    std::vector<std::string> said;
  } cases[] = {
      {"label: gpt\nstart=2048, size=81920, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B\n"
       "start=83968, size=32768, type=E3C9E316-0B5C-4DB8-817D-F92DF00215AE\n"
       "start=116736, size=16384, type=DE94BBA4-06D1-4D40-A16A-BFD50179D6AC\n",
       {"partition 1 (FAT32, 40 MiB, \"SYSTEM\") is an EFI system partition",
        "partition 2 (16 MiB) is a Microsoft reserved partition", "partition 3 (8 MiB) is a Windows recovery partition"}},
      {"start=2048, size=81920, type=c\nstart=83968, size=16384, type=27\n",
       {"partition 1 (FAT32, 40 MiB, \"SYSTEM\") is a FAT partition", "partition 2 (8 MiB) is a Windows recovery partition"}},
  };
  for (const auto& c : cases) {
    TempFolder work;
    const std::string raw = (work / "disk.img").string();
    ASSERT_TRUE(Shell("truncate -s 72M " + Quote(raw) + " && printf '" + c.table + "' | sfdisk -q " + Quote(raw) +
                      " && mkfs.fat -F 32 -n SYSTEM --offset 2048 " + Quote(raw) + " 40960"));
    try {
      testing::Open({raw});
      ADD_FAILURE() << c.table << ": opened";
    } catch (const SourceError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("no Windows registry on this disk"), std::string::npos) << message;
      for (const std::string& said : c.said) EXPECT_NE(message.find(said), std::string::npos) << said << "\n" << message;
    }
  }
}

// This computer's disks as /sys/block lists them: a loop device, an optical
// drive and a drive without a medium left out, an entry that vanished said.
TEST(ThisComputer, ReadsEachDiskSysBlockListsAndSaysWhatVanished) {
  TempFolder root;
  const auto entry = [&](const std::string& name, const char* size) {
    std::filesystem::create_directories(root / "sys/block" / name);
    if (size != nullptr) testing::WriteBytes(root / "sys/block" / name / "size", std::string(size) + "\n");
  };
  std::filesystem::create_directories(root / "dev");
  for (const char* disk : {"nvme0n1", "sda", "loop0", "sr0"}) testing::WriteBytes(root / "dev" / disk, "");
  entry("nvme0n1", "1000215216");
  entry("sda", "0");           // a card reader without a card
  entry("loop0", "2048");      // an image the user may name itself
  entry("sr0", "2048");        // a CD
  entry("sdb", "2048");        // listed, but its device is gone
  entry("sdc", nullptr);       // unplugged while it was read
  testing::WriteBytes(root / "MSDM", "MSDM");
  std::vector<std::string> notes;
  const auto sources = ThisComputersSources(notes, root / "sys/block", root / "dev", root / "MSDM");
  EXPECT_EQ(sources, (std::vector<std::filesystem::path>{root / "dev/nvme0n1", root / "MSDM"}));
  ASSERT_EQ(notes.size(), 2u) << testing::Lines(notes);
  EXPECT_EQ(notes[0].find("sdb: listed in "), 0u) << notes[0];
  EXPECT_EQ(notes[1].find("sdc: listed in "), 0u) << notes[1];
  // No firmware table: nothing said of one.
  notes.clear();
  EXPECT_EQ(ThisComputersSources(notes, root / "sys/block", root / "dev", root / "none").size(), 1u);
}

}  // namespace
}  // namespace taloveric
