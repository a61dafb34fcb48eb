#include "platform/offline/DiskImage.h"

#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <set>

#include "platform/HiveFile.h"
#include "platform/Unicode.h"
#include "platform/offline/Containers.h"
#include "platform/offline/FileKinds.h"
#include "platform/offline/ImageParts.h"
#include "platform/offline/ImageTree.h"
#include "platform/offline/PartitionTable.h"
#include "platform/offline/TskImage.h"
#include "platform/posix/BlockDevices.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

// "FAT32", "NTFS" ...
std::string FileSystemName(TSK_FS_INFO* fileSystem) {
  const char* name = tsk_fs_type_toname(fileSystem->ftype);
  std::string upper = name != nullptr ? name : "unknown";
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return upper;
}

// The volume label a file system holds: NTFS's in $Volume's name, FAT's in
// its boot sector (where Windows writes it too); empty for none. A label is
// at most 32 characters; no more is read of it.
std::string VolumeLabel(TSK_FS_INFO* fileSystem, std::string_view boot) {
  if (TSK_FS_TYPE_ISNTFS(fileSystem->ftype)) {
    const std::unique_ptr<TSK_FS_FILE, FileClose> volume(tsk_fs_file_open_meta(fileSystem, nullptr, 3));
    char name[64] = {};
    const ssize_t got = volume ? tsk_fs_file_read_type(volume.get(), TSK_FS_ATTR_TYPE_NTFS_VNAME, 0, 0, name,
                                                       sizeof name, TSK_FS_FILE_READ_FLAG_NOID)
                               : -1;
    if (got < 0) tsk_error_reset();
    return got > 0 ? ToUtf8(FromUtf16Le(std::string_view(name, static_cast<std::size_t>(got) & ~std::size_t{1}))) : "";
  }
  if (!TSK_FS_TYPE_ISFAT(fileSystem->ftype) || boot.size() < 0x52 + 8) return "";
  const bool fat32 = boot.substr(0x52, 5) == "FAT32";
  const std::size_t signature = fat32 ? 0x42 : 0x26, at = fat32 ? 0x47 : 0x2B;
  if (static_cast<unsigned char>(boot[signature]) != 0x29) return "";
  std::string label(boot.substr(at, 11));
  while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
  return label == "NO NAME" ? "" : label;
}

}  // namespace

// The Sleuth Kit's name for a file system Windows is installed on (FAT,
// exFAT, NTFS), told by its boot sector; none for any other. It is asked for
// that one alone: trying every kind it knows costs far more than reading the
// one that is there.
std::optional<TSK_FS_TYPE_ENUM> WindowsFileSystem(Kind kind) {
  if (kind == Kind::Ntfs) return TSK_FS_TYPE_NTFS_DETECT;
  if (kind == Kind::Fat || kind == Kind::ExFat) return TSK_FS_TYPE_FAT_DETECT;  // FAT's detection takes exFAT too
  return std::nullopt;
}

namespace {

// A partition of this computer's disks, named as the source itself: its
// disk, and what that disk's table says it is, where the disk can be read.
std::optional<DiskImage::PartOfDisk> PartOfItsDisk(const SourceFile& partition) {
  struct stat info {};
  if (::fstat(partition.Descriptor(), &info) != 0) return std::nullopt;
  const auto of = PartitionOf(info.st_rdev);
  if (!of) return std::nullopt;
  DiskImage::PartOfDisk part{of->disk.string(), of->number, ""};
  try {
    const SourceFile disk(of->disk);
    if (!disk.IsDisk()) return part;
    const auto bytes = OpenContainer(disk, Kind::RawDisk);
    for (const Partition& listed : ReadPartitionTable(*bytes).partitions) {
      if (listed.number == part.number) part.purpose = PartitionPurpose(listed);
    }
  } catch (const SourceError&) {
    // the disk itself cannot be read (its permissions may be another's): its name is said alone
  }
  return part;
}

}  // namespace

struct DiskImage::Opened {
  UniqueImage disk;
};

namespace {

// The disk as The Sleuth Kit reads it, for the partition table to be read from.
class DiskBytes : public ByteSource {
 public:
  explicit DiskBytes(TSK_IMG_INFO* disk) : disk_(disk) {}
  std::uint64_t Size() const override { return static_cast<std::uint64_t>(disk_->size); }
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) override {
    const ssize_t got = tsk_img_read(disk_, static_cast<TSK_OFF_T>(offset), buffer, size);
    if (got < 0) tsk_error_reset();
    return got;
  }

 private:
  TSK_IMG_INFO* disk_;
};

}  // namespace

DiskImage::DiskImage(const SourceFile& file) : opened_(std::make_unique<Opened>()) {
  const fs::path& image = file.Path();
  // A disk itself has nothing of a container's; an image's first bytes tell its kind.
  const Kind container = file.IsDisk() ? Kind::RawDisk : KindOf(file.Head(), image.filename().string());
  CheckDiskImageFiles(image, file.Head());
  std::string why;
  opened_->disk.reset(OpenAsImage(OpenContainer(file, container), why));
  if (!opened_->disk) throw SourceError(image.string() + ": not a disk image or virtual disk that can be read (" + why + ")");
  TSK_IMG_INFO* disk = opened_->disk.get();
  DiskBytes bytes(disk);
  Place whole{image.string(), {}, "", ""};
  if (const std::string format = ContainerName(container); !format.empty()) {
    whole.layers.push_back({Layer::Kind::Container, format, 0, 0, "", 0, ""});
  }
  // Each volume is told by its boot sector: a file system Windows uses is
  // opened, one BitLocker encrypts is said, any other named by what it is.
  const auto addVolume = [&](Layer layer, const std::string& purpose) {
    char boot[kKindBytes] = {};
    const long long got = bytes.Read(layer.offset, boot, sizeof boot);
    const Kind kind = got > 0 ? KindOf(std::string_view(boot, static_cast<std::size_t>(got))) : Kind::Unknown;
    Place place = whole;
    place.layers.push_back(layer);
    const auto type = WindowsFileSystem(kind);
    if (kind == Kind::BitLocker) encrypted_.push_back(place);
    if (!type) {
      others_.push_back({place, kind == Kind::BitLocker ? "BitLocker" : purpose});
      return;
    }
    TSK_FS_INFO* fileSystem = tsk_fs_open_img(disk, static_cast<TSK_OFF_T>(layer.offset), *type);
    if (fileSystem == nullptr) {
      const std::string said = kind == Kind::Ntfs ? "NTFS" : kind == Kind::ExFat ? "exFAT" : "FAT";
      problems_.push_back(Describe(place) + " says it holds " + said + ", but its file system cannot be read (" +
                          TskError() + ")");
      others_.push_back({place, said + ", unreadable"});
      return;
    }
    purposes_.push_back(purpose);
    place.layers.back().format = FileSystemName(fileSystem);
    place.layers.back().label = VolumeLabel(fileSystem, std::string_view(boot, static_cast<std::size_t>(std::max(got, 0LL))));
    trees_.push_back(std::make_unique<ImageTree>(fileSystem, std::move(place)));
  };
  char sector[kKindBytes] = {};
  const long long got = bytes.Read(0, sector, sizeof sector);
  const Kind start = got > 0 ? KindOf(std::string_view(sector, static_cast<std::size_t>(got))) : Kind::Unknown;
  const PartitionTable table = WindowsFileSystem(start) || start == Kind::BitLocker ? PartitionTable{}
                                                                                       : ReadPartitionTable(bytes);
  for (const std::string& problem : table.problems) problems_.push_back(image.string() + ": " + problem);
  if (table.scheme == PartitionTable::Scheme::None) {
    if (file.IsDisk()) partOf_ = PartOfItsDisk(file);
    addVolume({Layer::Kind::Volume, "", 0, 0, "", bytes.Size(), ""}, partOf_ ? partOf_->purpose : "");
    return;
  }
  std::set<std::uint64_t> starts;  // a partition the table lists twice is read once
  for (const Partition& partition : table.partitions) {
    const Layer layer{Layer::Kind::Partition, "", partition.number, partition.offset, "", partition.size, ""};
    if (partition.offset >= bytes.Size()) {
      Place place = whole;
      place.layers.push_back(layer);
      pastTheEnd_.push_back(place);
      continue;
    }
    if (!starts.insert(partition.offset).second) continue;
    if (partition.size > bytes.Size() - partition.offset) {
      Place place = whole;
      place.layers.push_back(layer);
      cutShort_.push_back(place);
    }
    addVolume(layer, PartitionPurpose(partition));
  }
  // What lies past the image's end, whole or in part, is said once.
  const auto list = [](const std::vector<Place>& places) {
    std::string out;
    for (const Place& place : places) out += (out.empty() ? "" : ", ") + DescribeLayers(place.layers);
    return out;
  };
  std::string past;
  if (!cutShort_.empty()) past = list(cutShort_) + (cutShort_.size() > 1 ? " end" : " ends") + " past the image's end";
  if (!pastTheEnd_.empty()) {
    past += (past.empty() ? "" : ", and ") + list(pastTheEnd_) + (pastTheEnd_.size() > 1 ? " lie" : " lies") +
            " wholly past it";
  }
  if (!past.empty()) {
    problems_.push_back(image.string() + ": " + past + " (the image holds " + std::to_string(bytes.Size()) +
                        " bytes): it may be cut short, or still being copied");
  }
}

// The trees go before the image they read through.
DiskImage::~DiskImage() { trees_.clear(); }

}  // namespace taloveric
