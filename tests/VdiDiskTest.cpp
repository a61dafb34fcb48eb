#include "platform/offline/VdiDisk.h"

#include <gtest/gtest.h>

#include "platform/HiveFile.h"
#include "support/TempFolder.h"

namespace taloveric {
namespace {

using testing::WriteBytes;

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

// A dynamic disk of `blocks` blocks of 512 bytes with 16 extra bytes before
// each: the map at 512, the data at 1024, stored blocks filled with 'A', 'B' ...
std::string Vdi(const std::vector<std::uint32_t>& map, std::uint32_t stored) {
  std::string bytes(1024, '\0');
  Put32(bytes, 64, 0xBEDA107F);
  Put32(bytes, 68, 0x00010001);
  Put32(bytes, 72, 400);
  Put32(bytes, 76, 1);
  Put32(bytes, 340, 512);
  Put32(bytes, 344, 1024);
  Put32(bytes, 368, static_cast<std::uint32_t>(map.size() * 512));
  Put32(bytes, 376, 512);
  Put32(bytes, 380, 16);
  Put32(bytes, 384, static_cast<std::uint32_t>(map.size()));
  Put32(bytes, 388, stored);
  for (std::size_t i = 0; i < map.size(); ++i) Put32(bytes, 512 + 4 * i, map[i]);
  for (std::uint32_t i = 0; i < stored; ++i) bytes += std::string(16, 'x') + std::string(512, static_cast<char>('A' + i));
  return bytes;
}

TEST(VdiDisk, ReadsStoredBlocksInTheMapsOrderAndTheRestAsZeros) {
  testing::TempFolder folder;
  WriteBytes(folder / "d.vdi", Vdi({1, 0xFFFFFFFF, 0, 0xFFFFFFFE}, 2));
  const VdiDisk disk(folder / "d.vdi");
  ASSERT_EQ(disk.Size(), 2048u);
  std::string out(2048, '?');
  EXPECT_EQ(disk.Read(0, out.data(), out.size()), 2048);
  EXPECT_EQ(out, std::string(512, 'B') + std::string(512, '\0') + std::string(512, 'A') + std::string(512, '\0'));
  EXPECT_EQ(disk.Read(1000, out.data(), 100), 100) << "across a block's end";
  EXPECT_EQ(out.substr(0, 100), std::string(24, '\0') + std::string(76, 'A'));
  EXPECT_EQ(disk.Read(2000, out.data(), 100), 48) << "short at the disk's end";
  EXPECT_EQ(disk.Read(5000, out.data(), 100), 0);
}

TEST(VdiDisk, AFileCutShortInABlockReadsAsFarAsItGoes) {
  testing::TempFolder folder;
  const std::string whole = Vdi({0, 1}, 2);
  WriteBytes(folder / "d.vdi", whole.substr(0, whole.size() - 500));
  const VdiDisk disk(folder / "d.vdi");
  std::string out(1024, '?');
  EXPECT_EQ(disk.Read(0, out.data(), out.size()), 512 + 12);
  EXPECT_EQ(disk.Read(600, out.data(), 10), -1) << "nothing of the block is there";
}

TEST(VdiDisk, ADamagedHeaderIsRefusedSayingWhat) {
  struct Case {
    std::size_t at;
    std::uint32_t value;
    const char* says;
  };
  for (const Case& c : {Case{64, 0, "no VirtualBox signature"}, Case{68, 0x00020000, "header version 2"},
                        Case{76, 3, "image type 3"}, Case{376, 1000, "block size of 1000"},
                        Case{384, 1, "shorter than the disk"}, Case{340, 0x7FFFFFFF, "block map outside the file"},
                        Case{344, 0x7FFFFFFF, "data outside the file"}, Case{388, 1, "beyond those stored"},
                        Case{380, 0x7FFFFFFF, "block headers larger"}}) {
    testing::TempFolder folder;
    std::string bytes = Vdi({0, 1}, 2);
    Put32(bytes, c.at, c.value);
    WriteBytes(folder / "d.vdi", bytes);
    try {
      VdiDisk disk(folder / "d.vdi");
      ADD_FAILURE() << c.says << ": opened";
    } catch (const SourceError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace taloveric
