#include "platform/offline/DiskImage.h"

#include <libqcow.h>
#include <tsk/libtsk.h>

#include <algorithm>
#include <ctime>
#include <unordered_map>
#include <memory>
#include <set>

#include "platform/HiveFile.h"
#include "platform/Unicode.h"
#include "platform/offline/FileKinds.h"
#include "platform/offline/ImageParts.h"
#include "platform/offline/VdiDisk.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

struct ImageClose {
  void operator()(TSK_IMG_INFO* image) const { tsk_img_close(image); }
};
struct VolumesClose {
  void operator()(TSK_VS_INFO* volumes) const { tsk_vs_close(volumes); }
};
struct FsClose {
  void operator()(TSK_FS_INFO* fileSystem) const { tsk_fs_close(fileSystem); }
};
struct FileClose {
  void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};
struct DirClose {
  void operator()(TSK_FS_DIR* dir) const { tsk_fs_dir_close(dir); }
};

// The Sleuth Kit's own declarations of what its image library exports.
extern "C" void* tsk_img_malloc(size_t size);
extern "C" void tsk_img_free(void* image);

// A QCOW2 disk (QEMU's), which The Sleuth Kit does not read itself: libqcow
// reads it, and the Sleuth Kit sees it as an image of its own kind.
struct QcowImage {
  TSK_IMG_INFO info;  // first, as The Sleuth Kit requires
  libqcow_file_t* file;
};

ssize_t QcowRead(TSK_IMG_INFO* image, TSK_OFF_T offset, char* buffer, size_t size) {
  auto* qcow = reinterpret_cast<QcowImage*>(image);
  return libqcow_file_read_buffer_at_offset(qcow->file, buffer, size, offset, nullptr);
}

void QcowClose(TSK_IMG_INFO* image) {
  auto* qcow = reinterpret_cast<QcowImage*>(image);
  libqcow_file_close(qcow->file, nullptr);
  libqcow_file_free(&qcow->file, nullptr);
  tsk_img_free(image);
}

void QcowStat(TSK_IMG_INFO*, FILE* out) { std::fputs("QCOW2\n", out); }

// Opens a QCOW2 disk for The Sleuth Kit; null with `why` set when it cannot.
TSK_IMG_INFO* OpenQcow(const fs::path& path, std::string& why) {
  libqcow_file_t* file = nullptr;
  libqcow_error_t* error = nullptr;
  size64_t size = 0;
  if (libqcow_file_initialize(&file, &error) != 1 ||
      libqcow_file_open(file, path.c_str(), LIBQCOW_OPEN_READ, &error) != 1 ||
      libqcow_file_get_media_size(file, &size, &error) != 1) {
    char text[256] = "not a readable QCOW2 disk";
    if (error != nullptr) libqcow_error_sprint(error, text, sizeof text);
    libqcow_error_free(&error);
    if (file != nullptr) libqcow_file_free(&file, nullptr);
    why = text;
    return nullptr;
  }
  auto* qcow = static_cast<QcowImage*>(tsk_img_malloc(sizeof(QcowImage)));
  if (qcow == nullptr) {
    libqcow_file_close(file, nullptr);
    libqcow_file_free(&file, nullptr);
    why = "out of memory";
    return nullptr;
  }
  qcow->file = file;
  return tsk_img_open_external(qcow, static_cast<TSK_OFF_T>(size), 512, QcowRead, QcowClose, QcowStat);
}

// A VirtualBox disk, read by VdiDisk and seen by The Sleuth Kit as an image
// of its own kind.
struct VdiImage {
  TSK_IMG_INFO info;  // first, as The Sleuth Kit requires
  VdiDisk* disk;
};

ssize_t VdiRead(TSK_IMG_INFO* image, TSK_OFF_T offset, char* buffer, size_t size) {
  if (offset < 0) return -1;
  return static_cast<ssize_t>(reinterpret_cast<VdiImage*>(image)->disk->Read(static_cast<std::uint64_t>(offset), buffer, size));
}

void VdiClose(TSK_IMG_INFO* image) {
  delete reinterpret_cast<VdiImage*>(image)->disk;
  tsk_img_free(image);
}

void VdiStat(TSK_IMG_INFO*, FILE* out) { std::fputs("VDI\n", out); }

// Opens a VirtualBox disk for The Sleuth Kit; throws SourceError when it cannot.
TSK_IMG_INFO* OpenVdi(const fs::path& path) {
  auto disk = std::make_unique<VdiDisk>(path);
  auto* vdi = static_cast<VdiImage*>(tsk_img_malloc(sizeof(VdiImage)));
  if (vdi == nullptr) throw SourceError(path.string() + ": out of memory");
  const auto size = static_cast<TSK_OFF_T>(disk->Size());
  vdi->disk = disk.release();
  return tsk_img_open_external(vdi, size, 512, VdiRead, VdiClose, VdiStat);
}

std::string TskError() {
  const char* text = tsk_error_get();
  std::string message = text != nullptr ? text : "unknown error";
  tsk_error_reset();
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

// Whether a name read from a disk may become a name in the private folder:
// never "." or "..", nothing with a slash or a control character in it, and
// nothing longer than a Linux file name may be.
bool SafeName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
  return std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || static_cast<unsigned char>(c) < 0x20; });
}

// A file system of the disk as a tree of files. Names that may not become
// names on this system (above) are left out, as are deleted entries.
class ImageTree : public FileTree {
 public:
  ImageTree(TSK_FS_INFO* fileSystem, Place place) : fileSystem_(fileSystem), place_(std::move(place)) {}

  std::optional<FileInfo> Stat(const std::string& file) override {
    TSK_FS_FILE* opened = Open(file);
    if (opened == nullptr) return std::nullopt;
    // FAT keeps local time without a zone; The Sleuth Kit reads it in this system's.
    const std::time_t modified = opened->meta->mtime;
    return FileInfo{static_cast<std::uint64_t>(opened->meta->size),
                    modified > 0 ? std::optional(modified) : std::nullopt};
  }

  std::optional<std::size_t> ReadAt(const std::string& file, std::uint64_t offset, char* buffer,
                                    std::size_t size) override {
    TSK_FS_FILE* opened = Open(file);
    if (opened == nullptr) return std::nullopt;
    const auto length = static_cast<std::uint64_t>(opened->meta->size);
    if (offset >= length) return 0;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, length - offset));
    const ssize_t got = tsk_fs_file_read(opened, static_cast<TSK_OFF_T>(offset), buffer, size, TSK_FS_FILE_READ_FLAG_NONE);
    if (got < 0) {
      tsk_error_reset();
      return std::nullopt;
    }
    return static_cast<std::size_t>(got);
  }

  MemoryFile ReadAll(const std::string& file, std::uint64_t limit) override {
    TSK_FS_FILE* opened = Open(file);
    if (opened == nullptr) throw SourceError(Shown(file) + ": cannot be read (" + TskError() + ")");
    const auto length = static_cast<std::uint64_t>(opened->meta->size);
    if (length > limit) {
      throw SourceError(Shown(file) + ": is larger than " + std::to_string(limit >> 20) +
                        " MiB, the most a registry file may be");
    }
    MemoryFile bytes(static_cast<std::size_t>(length), Shown(file));
    for (std::uint64_t at = 0; at < length;) {
      const auto got = ReadAt(file, at, bytes.data() + at, static_cast<std::size_t>(length - at));
      if (!got || *got == 0) {
        throw SourceError(Shown(file) + ": its data cannot be read past byte " + std::to_string(at) + " of its " +
                          std::to_string(length) + ": the image (" + std::to_string(ImageSize()) +
                          " bytes) may be cut short, or still being copied");
      }
      at += *got;
    }
    return bytes;
  }

  Place PlaceOf(const std::string& path) const override { return place_.At(Absolute(path)); }

 private:
  static std::string Absolute(const std::string& path) { return "/" + path; }
  std::uint64_t ImageSize() const { return static_cast<std::uint64_t>(fileSystem_->img_info->size); }

  // Where a path's file or folder is kept, from its folder's listing: a
  // lookup by path would read every folder from the root down each time.
  std::optional<TSK_INUM_T> InodeOf(const std::string& path) {
    if (path.empty()) return fileSystem_->root_inum;
    const std::size_t slash = path.rfind('/');
    List(slash == std::string::npos ? "" : path.substr(0, slash), nullptr);
    const auto found = inodes_.find(path);
    if (found == inodes_.end()) return std::nullopt;
    return found->second;
  }

  // A folder's entries as the file system gives them.
  std::vector<Entry> ReadFolder(const std::string& folder, std::string& problem) override {
    std::vector<Entry> out;
    const auto inode = InodeOf(folder);
    const std::unique_ptr<TSK_FS_DIR, DirClose> dir(inode ? tsk_fs_dir_open_meta(fileSystem_.get(), *inode)
                                                          : tsk_fs_dir_open(fileSystem_.get(), Absolute(folder).c_str()));
    if (!dir) {
      problem = Shown(folder) + ": " + TskError();
      return out;
    }
    // The names alone: an entry's own record is read only when it is opened.
    for (std::size_t i = 0; i < tsk_fs_dir_getsize(dir.get()); ++i) {
      const TSK_FS_NAME* entry = tsk_fs_dir_get_name(dir.get(), i);
      if (entry == nullptr || entry->name == nullptr) continue;
      const std::string name = entry->name;
      if (!SafeName(name) || (entry->flags & TSK_FS_NAME_FLAG_UNALLOC) != 0) continue;
      out.push_back({name, entry->type == TSK_FS_NAME_TYPE_DIR});
      inodes_.try_emplace(folder.empty() ? name : folder + "/" + name, entry->meta_addr);
    }
    tsk_error_reset();
    return out;
  }

  // The regular file at `file`, kept open for the reads that follow; null
  // when there is none.
  TSK_FS_FILE* Open(const std::string& file) {
    if (!open_ || openPath_ != file) {
      const auto inode = InodeOf(file);
      open_.reset(inode ? tsk_fs_file_open_meta(fileSystem_.get(), nullptr, *inode)
                        : tsk_fs_file_open(fileSystem_.get(), nullptr, Absolute(file).c_str()));
      openPath_ = file;
      if (open_ && (open_->meta == nullptr || open_->meta->type != TSK_FS_META_TYPE_REG || open_->meta->size < 0)) {
        open_.reset();
      }
      if (!open_) tsk_error_reset();
    }
    return open_.get();
  }

  std::unique_ptr<TSK_FS_INFO, FsClose> fileSystem_;
  Place place_;  // of the file system: the image and its layers
  std::unique_ptr<TSK_FS_FILE, FileClose> open_;
  std::string openPath_;
  std::unordered_map<std::string, TSK_INUM_T> inodes_;  // of every path listed
};

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

DiskImage::DiskImage(const fs::path& image) : opened_(std::make_unique<Opened>()) {
  std::string why;
  const Kind container = KindOf(CheckDiskImageFiles(image), image.filename().string());
  opened_->disk.reset(container == Kind::Vdi     ? OpenVdi(image)
                      : container == Kind::Qcow2 ? OpenQcow(image, why)
                                                 : tsk_img_open_utf8_sing(image.c_str(), TSK_IMG_TYPE_DETECT, 0));
  if (!opened_->disk) {
    if (why.empty()) why = TskError();
    throw SourceError(image.string() + ": not a disk image or virtual disk that can be read (" + why + ")");
  }
  Place disk{image.string(), {}, "", ""};
  if (const std::string format = ContainerName(container); !format.empty()) {
    disk.layers.push_back({Layer::Kind::Container, format, 0, 0, ""});
  }
  // Each volume is told by its boot sector: a file system Windows uses is
  // opened, one BitLocker encrypts is said, any other passed over.
  const auto addFileSystem = [&](Layer layer, const auto& readBoot, const auto& open, TSK_OFF_T offset) {
    const std::string where = layer.kind == Layer::Kind::Volume ? "the disk's file system"
                                                                 : "partition " + std::to_string(layer.number);
    char boot[kKindBytes] = {};
    const ssize_t got = readBoot(boot, sizeof boot);
    const Kind kind = got > 0 ? KindOf(std::string_view(boot, static_cast<std::size_t>(got))) : Kind::Unknown;
    tsk_error_reset();
    if (kind == Kind::BitLocker) encrypted_.push_back(where + " (at byte " + std::to_string(offset) + ")");
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
