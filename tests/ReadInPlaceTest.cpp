// Each file read where it lies, once, into memory: no copy anywhere, a size
// checked before anything is read or unpacked, and every error naming the
// file as the user knows it (the image, the partition, the path).

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/offline/Cabinet.h"
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

std::string OpenFails(const std::filesystem::path& source) {
  try {
    OpenedSources opened =
        OpenSources({source}, std::nullopt, [](const auto&, const auto&) { return std::optional<std::string>(); });
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
  if (!Shell("command -v gcab")) GTEST_SKIP() << "gcab is not installed";
  TempFolder work;
  const std::string bomb = CabinetClaiming(work, 1u << 30);
  ASSERT_FALSE(bomb.empty());
  try {
    ExtractFromCabinet(bomb, "SYSTEM.DAT", 256u << 20, "RB001.CAB");
    ADD_FAILURE() << "unpacked";
  } catch (const SourceError& error) {
    EXPECT_EQ(std::string(error.what()),
              "RB001.CAB: its SYSTEM.DAT would unpack to 1073741824 bytes, more than any registry file holds");
  }
  // A Windows 98 folder with nothing but that cabinet: the run says so.
  TempFolder disk;
  std::filesystem::create_directories(disk / "WINDOWS/SYSBCKUP");
  testing::WriteBytes(disk / "WINDOWS/SYSBCKUP/RB001.CAB", bomb);
  EXPECT_NE(OpenFails(disk.path()).find("RB001.CAB: its SYSTEM.DAT would unpack to 1073741824 bytes"),
            std::string::npos);
  // And a whole one unpacks, in memory.
  const auto system = ExtractFromCabinet(testing::ReadBytes(work / "rb.cab"), "system.dat", 256u << 20, "rb.cab");
  ASSERT_TRUE(system);
  EXPECT_EQ(*system, testing::WriteCreg(testing::Win98System()));
}

// An image cut short before a file's data, as one still being copied is.
TEST(ReadInPlace, AnImageCutShortSaysWhereAndWhy) {
  if (!testing::HaveTools({"mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs mkfs.fat, mcopy";
  TempFolder work;
  testing::WriteRegfFile(work / "WINDOWS/system32/config/SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  const std::string raw = (work / "disk.raw").string();
  ASSERT_TRUE(Shell("mkfs.fat -F 32 -S 512 -s 1 -C " + Quote(raw) + " 40960"));
  ASSERT_TRUE(Shell("mcopy -s -m -i " + Quote(raw) + " " + Quote((work / "WINDOWS").string()) + " ::/"));
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
  OpenedSources opened =
      OpenSources({disk.path()}, std::nullopt, [](const auto&, const auto&) { return std::optional<std::string>(); });
  EXPECT_EQ(Collect(opened, "disk", 1).info.ProductKey, u"HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN");
}

}  // namespace
}  // namespace taloveric
