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
  std::unique_ptr<TSK_IMG_INFO, ImageClose> disk;
  std::unique_ptr<TSK_VS_INFO, VolumesClose> volumes;
};

DiskImage::DiskImage(const SourceFile& file) : opened_(std::make_unique<Opened>()) {
  const fs::path& image = file.Path();
  // A disk itself has nothing of a container's; an image's first bytes tell its kind.
  const Kind container = file.IsDisk() ? Kind::RawDisk : KindOf(file.Head(), image.filename().string());
  CheckDiskImageFiles(image, file.Head());
  std::string why;
  opened_->disk.reset(OpenAsImage(OpenContainer(file, container), why));
  if (!opened_->disk) throw SourceError(image.string() + ": not a disk image or virtual disk that can be read (" + why + ")");
  Place disk{image.string(), {}, "", ""};
  if (const std::string format = ContainerName(container); !format.empty()) {
    disk.layers.push_back({Layer::Kind::Container, format, 0, 0, ""});
  }
  // Each volume is told by its boot sector: a file system Windows uses is
  // opened, one BitLocker encrypts is said, any other passed over.
  const auto addFileSystem = [&](Layer layer, const auto& readBoot, const auto& open, TSK_OFF_T offset) {
    char boot[kKindBytes] = {};
    const ssize_t got = readBoot(boot, sizeof boot);
    const Kind kind = got > 0 ? KindOf(std::string_view(boot, static_cast<std::size_t>(got))) : Kind::Unknown;
    tsk_error_reset();
    if (kind == Kind::BitLocker) {
      Place encrypted = disk;
      encrypted.layers.push_back({layer.kind, "", layer.number, static_cast<std::uint64_t>(offset), ""});
      encrypted_.push_back(std::move(encrypted));
    }
    const auto type = WindowsFileSystem(kind);
    TSK_FS_INFO* fileSystem = type ? open(*type) : nullptr;
    if (fileSystem == nullptr) {
      tsk_error_reset();
      return;
    }
    layer.format = FileSystemName(fileSystem);
    layer.offset = static_cast<std::uint64_t>(fileSystem->offset);
    Place place = disk;
    place.layers.push_back(std::move(layer));
    trees_.push_back(std::make_unique<ImageTree>(fileSystem, std::move(place)));
  };
  opened_->volumes.reset(tsk_vs_open(opened_->disk.get(), 0, TSK_VS_TYPE_DETECT));
  if (opened_->volumes) {
    int number = 0;
    std::set<TSK_DADDR_T> starts;  // a partition the table lists twice is read once
    for (TSK_PNUM_T i = 0; i < opened_->volumes->part_count; ++i) {
      const TSK_VS_PART_INFO* part = tsk_vs_part_get(opened_->volumes.get(), i);
      if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) continue;
      ++number;
      if (!starts.insert(part->start).second) continue;
      const auto readBoot = [&](char* buffer, std::size_t size) { return tsk_vs_part_read(part, 0, buffer, size); };
      const auto open = [&](TSK_FS_TYPE_ENUM type) { return tsk_fs_open_vol(part, type); };
      addFileSystem({Layer::Kind::Partition, "", static_cast<unsigned>(number), 0, ""}, readBoot, open,
                    static_cast<TSK_OFF_T>(part->start * opened_->volumes->block_size));
    }
  } else {
    tsk_error_reset();
    const auto readBoot = [&](char* buffer, std::size_t size) {
      return tsk_img_read(opened_->disk.get(), 0, buffer, size);
    };
    const auto open = [&](TSK_FS_TYPE_ENUM type) { return tsk_fs_open_img(opened_->disk.get(), 0, type); };
    addFileSystem({Layer::Kind::Volume, "", 0, 0, ""}, readBoot, open, 0);
  }
}

// The trees go before the volumes and the image they read through.
DiskImage::~DiskImage() { trees_.clear(); }

}  // namespace taloveric
