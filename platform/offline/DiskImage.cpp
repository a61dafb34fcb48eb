#include "platform/offline/DiskImage.h"

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
    whole.layers.push_back({Layer::Kind::Container, format, 0, 0, ""});
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
    place.layers.back().format = FileSystemName(fileSystem);
    trees_.push_back(std::make_unique<ImageTree>(fileSystem, std::move(place)));
  };
  char sector[kKindBytes] = {};
  const long long got = bytes.Read(0, sector, sizeof sector);
  const Kind start = got > 0 ? KindOf(std::string_view(sector, static_cast<std::size_t>(got))) : Kind::Unknown;
  const PartitionTable table = WindowsFileSystem(start) || start == Kind::BitLocker ? PartitionTable{}
                                                                                       : ReadPartitionTable(bytes);
  for (const std::string& problem : table.problems) problems_.push_back(image.string() + ": " + problem);
  if (table.scheme == PartitionTable::Scheme::None) {
    addVolume({Layer::Kind::Volume, "", 0, 0, ""}, "");
    return;
  }
  std::set<std::uint64_t> starts;  // a partition the table lists twice is read once
  for (const Partition& partition : table.partitions) {
    const Layer layer{Layer::Kind::Partition, "", partition.number, partition.offset, ""};
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
