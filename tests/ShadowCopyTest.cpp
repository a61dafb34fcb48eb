// Windows 10 and 11 keep the registry's earlier copies in the volume's shadow
// copies: read, newest first, where the live file cannot be, and named by
// the date each was made; copies that lie are named and passed over.

#include <gtest/gtest.h>
#include <tsk/libtsk.h>

#include <functional>

#include "platform/Unicode.h"
#include "report/Forms.h"
#include "rescue/Findings.h"
#include "rescue/Sources.h"
#include "support/Fixtures.h"
#include "support/Reading.h"
#include "support/ShadowCopies.h"
#include "support/Shell.h"

namespace taloveric {
namespace {

using testing::kShadowBlock;
using testing::Snapshot;
using testing::TempFolder;

constexpr char kSoftware[] = "Windows/System32/config/SOFTWARE";
constexpr std::int64_t kMarch2024 = 1709287200;  // 2024-03-01 10:00:00 UTC

using testing::XpSoftwareHive;

// A Windows 10 volume written through ntfs-3g: its bytes, where SOFTWARE's
// data lies, and the blocks of 16 KiB its file system does not use.
struct Volume {
  std::string bytes;
  std::vector<std::uint64_t> software;  // the offsets of its clusters, in order
  std::uint64_t cluster = 0;
  std::vector<std::uint64_t> free;

  // The volume with SOFTWARE holding `hive` (of the size it has).
  std::string With(const std::string& hive) const {
    std::string out = bytes;
    for (std::size_t i = 0; i * cluster < hive.size(); ++i) {
      out.replace(software[i], std::min<std::size_t>(cluster, hive.size() - i * cluster), hive.substr(i * cluster, cluster));
    }
    return out;
  }
  // The blocks of 16 KiB in which `from` differs from `to`, as `from` holds them.
  static std::map<std::uint64_t, std::string> Differing(const std::string& from, const std::string& to) {
    std::map<std::uint64_t, std::string> out;
    for (std::uint64_t at = 0; at < from.size(); at += kShadowBlock) {
      if (from.compare(at, kShadowBlock, to, at, kShadowBlock) != 0) out[at] = from.substr(at, kShadowBlock);
    }
    return out;
  }
};

// Each block's address in the file system's units, through The Sleuth Kit.
TSK_WALK_RET_ENUM Collect(TSK_FS_FILE*, TSK_OFF_T, TSK_DADDR_T address, char*, size_t, TSK_FS_BLOCK_FLAG_ENUM, void* into) {
  static_cast<std::vector<TSK_DADDR_T>*>(into)->push_back(address);
  return TSK_WALK_CONT;
}
TSK_WALK_RET_ENUM CollectFree(const TSK_FS_BLOCK* block, void* into) {
  static_cast<std::vector<TSK_DADDR_T>*>(into)->push_back(block->addr);
  return TSK_WALK_CONT;
}

std::optional<Volume> Windows10Volume(const TempFolder& work) {
  const std::filesystem::path root = work / "root", image = work / "volume.img";
  testing::WriteRegfFile(root / kSoftware, testing::XpSoftwareOwnedBy("On The Volume"), "SOFTWARE");
  testing::WriteRegfFile(root / "Users/lu/NTUSER.DAT", testing::XpUser("lu@example.org"), "ntuser.dat");
  if (!testing::NtfsImage(image, 40, root)) return std::nullopt;
  Volume volume;
  volume.bytes = testing::ReadBytes(image);
  TSK_IMG_INFO* disk = tsk_img_open_sing(image.c_str(), TSK_IMG_TYPE_RAW, 0);
  TSK_FS_INFO* fs = disk ? tsk_fs_open_img(disk, 0, TSK_FS_TYPE_NTFS) : nullptr;
  TSK_FS_FILE* file = fs ? tsk_fs_file_open(fs, nullptr, (std::string("/") + kSoftware).c_str()) : nullptr;
  std::vector<TSK_DADDR_T> used, unused;
  if (file != nullptr) {
    tsk_fs_file_walk(file, TSK_FS_FILE_WALK_FLAG_AONLY, Collect, &used);
    tsk_fs_block_walk(fs, fs->first_block, fs->last_block - 1, TSK_FS_BLOCK_WALK_FLAG_UNALLOC, CollectFree, &unused);
    volume.cluster = fs->block_size;
    tsk_fs_file_close(file);
  }
  if (fs) tsk_fs_close(fs);
  if (disk) tsk_img_close(disk);
  for (const TSK_DADDR_T address : used) volume.software.push_back(address * volume.cluster);
  // Whole blocks of 16 KiB of free clusters, taken from the volume's end.
  const std::uint64_t perBlock = kShadowBlock / std::max<std::uint64_t>(volume.cluster, 1);
  std::map<std::uint64_t, std::uint64_t> freeIn;
  for (const TSK_DADDR_T address : unused) ++freeIn[address * volume.cluster / kShadowBlock];
  for (const auto& [block, count] : freeIn) {
    if (count == perBlock && block > 0) volume.free.push_back(block * kShadowBlock);
  }
  if (volume.software.empty() || volume.free.size() < 64) return std::nullopt;
  return volume;
}

struct CopyCase {
  const char* name;
  // Writes the volume's shadow copies, and damages what the live volume holds.
  std::function<std::string(const Volume&)> make;
  const char* owner;  // as the report gives it; nullptr: no report, the error holds `said`
  const char* said;   // a warning (or the error) holds this
};

void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

std::string Damaged(const Volume& volume) { return volume.With(std::string(XpSoftwareHive("x").size(), 'x')); }

// The volume with SOFTWARE damaged, and one shadow copy whose SOFTWARE is owned by `owner`.
std::string OneCopy(const Volume& volume, const char* owner) {
  std::string bytes = Damaged(volume);
  testing::WriteShadowCopies(bytes, {{kMarch2024, Volume::Differing(volume.With(XpSoftwareHive(owner)), bytes)}},
                             volume.free);
  return bytes;
}

const CopyCase kCopyCases[] = {
    {"TheLiveFileDamagedAndACopyOfIt", [](const Volume& volume) { return OneCopy(volume, "From A Copy"); },
     "From A Copy", "shadow copy 1 (made 2024-03-01 10:00 UTC):/Windows/System32/config/SOFTWARE"},
    // Each copy holds what changed after it: the older reads through the newer.
    {"TheNewestCopyFirst",
     [](const Volume& volume) {
       std::string bytes = Damaged(volume);
       const std::string newer = volume.With(XpSoftwareHive("Newer Copy")), older = volume.With(XpSoftwareHive("Older Copy"));
       testing::WriteShadowCopies(
           bytes, {{kMarch2024, Volume::Differing(older, newer)}, {kMarch2024 + 86400, Volume::Differing(newer, bytes)}},
           volume.free);
       return bytes;
     },
     "Newer Copy", "shadow copy 2 (made 2024-03-02 10:00 UTC)"},
    {"TheNewestCopyDamagedToo",
     [](const Volume& volume) {
       std::string bytes = Damaged(volume);
       const std::string older = volume.With(XpSoftwareHive("Older Copy"));
       testing::WriteShadowCopies(bytes, {{kMarch2024, Volume::Differing(older, bytes)}, {kMarch2024 + 86400, {}}},
                                  volume.free);
       return bytes;
     },
     "Older Copy", "shadow copy 1 (made 2024-03-01 10:00 UTC)"},
    {"AThousandCopies",
     [](const Volume& volume) {
       std::string bytes = Damaged(volume);
       std::vector<Snapshot> copies;
       for (int i = 0; i < 999; ++i) copies.push_back({kMarch2024 + 60 * i, {}});
       copies.push_back({kMarch2024 + 86400, Volume::Differing(volume.With(XpSoftwareHive("Copy 1000")), bytes)});
       testing::WriteShadowCopies(bytes, copies, volume.free);
       return bytes;
     },
     "Copy 1000", "holds 1000 shadow copies, more than Windows keeps; only the newest 512 are read"},
    {"ACatalogThatLoops",
     [](const Volume& volume) {
       std::string bytes = OneCopy(volume, "Up To The Loop");
       const std::uint64_t catalog = Le64(bytes, 0x1E00 + 48);
       PutLe64(bytes.data() + catalog + 40, catalog);  // its next block is itself
       return bytes;
     },
     "Up To The Loop", "its shadow copies' catalog leads back to itself"},
    {"ABlockListThatLoops",
     [](const Volume& volume) {
       std::string bytes = OneCopy(volume, "Up To The Loop");
       const std::uint64_t catalog = Le64(bytes, 0x1E00 + 48), list = Le64(bytes, catalog + 128 + 128 + 8);
       PutLe64(bytes.data() + list + 40, list);
       return bytes;
     },
     "Up To The Loop", "blocks (the catalog's store 1) leads back to itself"},
    {"ABlockLyingAboutWhereItIs",
     [](const Volume& volume) {
       std::string bytes = OneCopy(volume, "Never Read");
       const std::uint64_t catalog = Le64(bytes, 0x1E00 + 48), list = Le64(bytes, catalog + 256 + 8);
       PutLe64(bytes.data() + list + 128 + 16, 0x7FFFFFFFFFFFC000);  // the old data, far past the volume's end
       return bytes;
     },
     nullptr, "laptop.img, partition 2 (NTFS, at byte 4194304), shadow copy 1 (made 2024-03-01 10:00 UTC):/Windows/"
              "System32/config/SOFTWARE: its data cannot be read past byte 0 of its 8192: the shadow copy's store of "
              "it is damaged"},
};

class CopyTest : public ::testing::TestWithParam<CopyCase> {
 protected:
  void SetUp() override {
    if (!volume_) GTEST_SKIP() << "ntfs-3g cannot write an NTFS volume here (it needs root and FUSE)";
  }
  static void SetUpTestSuite() {
    work_ = new TempFolder;
    volume_ = Windows10Volume(*work_);
  }
  static void TearDownTestSuite() {
    delete work_;
    volume_.reset();
  }
  static TempFolder* work_;
  static std::optional<Volume> volume_;
};
TempFolder* CopyTest::work_ = nullptr;
std::optional<Volume> CopyTest::volume_;

TEST_P(CopyTest, IsReadAsWindowsKeepsIt) {
  const CopyCase& c = GetParam();
  TempFolder disk;
  // On a partition of its own, the second of a disk, as Windows installs it.
  const std::filesystem::path image = disk / "laptop.img";
  ASSERT_TRUE(testing::Shell("truncate -s 48M " + testing::Quote(image.string()) +
                             " && printf 'start=2048, size=4096, type=ef\\nstart=8192, size=81920, type=7\\n' | "
                             "sfdisk -q " + testing::Quote(image.string())));
  std::string bytes = testing::ReadBytes(image);
  bytes.replace(8192 * 512, volume_->bytes.size(), c.make(*volume_));
  testing::WriteBytes(image, bytes);
  try {
    const Findings found = testing::Read({image}, "lu");
    ASSERT_NE(c.owner, nullptr) << "read, where nothing should be";
    EXPECT_EQ(found.info.RegisteredOwner, FromUtf8(c.owner));
    const std::string warnings = testing::Lines(found.warnings);
    EXPECT_NE(warnings.find(c.said), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("laptop.img, partition 2 (NTFS, at byte 4194304)"), std::string::npos) << warnings;
    const std::string json = JsonOutput(found);
    EXPECT_NE(json.find(R"("layer": "shadowCopy")"), std::string::npos) << "the backup's place names its copy";
    // The program, which reads disks through the module it loads, alike.
    const std::string out = (disk / "out.json").string();
    testing::Shell("(" + testing::Quote(TALOVERIC_PROGRAM) + " --format json --user lu " +
                   testing::Quote(image.string()) + " >" + testing::Quote(out) + " 2>&1 </dev/null)");
    EXPECT_NE(testing::ReadBytes(out).find(std::string(R"("registeredOwner": ")") + c.owner + '"'), std::string::npos)
        << testing::ReadBytes(out);
  } catch (const SourceError& error) {
    EXPECT_EQ(c.owner, nullptr) << error.what();
    EXPECT_NE(std::string(error.what()).find(c.said), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Copies, CopyTest, ::testing::ValuesIn(kCopyCases),
                         [](const auto& each) { return std::string(each.param.name); });

}  // namespace
}  // namespace taloveric
