#include "platform/offline/DiskImage.h"

#include <libqcow.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <tsk/libtsk.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "platform/HiveFile.h"
#include "platform/Unicode.h"
#include "platform/offline/VdiDisk.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

// The registry files looked for below each top folder of a partition (its
// Windows folder) and in the partition's root; the machine's files, or their
// backups, mark an installation.
struct Wanted {
  const char* path;
  bool machine;
};
constexpr Wanted kInWindows[] = {{"SYSTEM.DAT", true},  {"SYSTEM.DA0", true},
                                 {"USER.DAT", false},   {"USER.DA0", false},
                                 {"system32/config/SOFTWARE", true}, {"system32/config/SYSTEM", false},
                                 {"repair/software", true}};
constexpr const char* kProfileFolders[] = {"Profiles", "Documents and Settings", "Users"};
constexpr std::uint64_t kLargestHive = 256u << 20;

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

// The names in a folder of the file system that may become names on this
// system (above), its own "." and ".." left out.
std::vector<std::string> Names(TSK_FS_INFO* fileSystem, const std::string& folder, bool folders) {
  std::vector<std::string> names;
  const std::unique_ptr<TSK_FS_DIR, DirClose> dir(tsk_fs_dir_open(fileSystem, folder.c_str()));
  if (!dir) {
    tsk_error_reset();
    return names;
  }
  for (std::size_t i = 0; i < tsk_fs_dir_getsize(dir.get()); ++i) {
    const std::unique_ptr<TSK_FS_FILE, FileClose> entry(tsk_fs_dir_get(dir.get(), i));
    if (!entry || entry->name == nullptr || entry->name->name == nullptr) continue;
    const std::string name = entry->name->name;
    if (!SafeName(name) || (entry->name->flags & TSK_FS_NAME_FLAG_UNALLOC) != 0) continue;
    const bool isFolder = entry->name->type == TSK_FS_NAME_TYPE_DIR;
    if (isFolder == folders) names.push_back(name);
  }
  return names;
}

// Copies `path` of the file system to `to`, if it is there; true when copied.
bool CopyOut(TSK_FS_INFO* fileSystem, const std::string& path, const fs::path& to) {
  const std::unique_ptr<TSK_FS_FILE, FileClose> file(tsk_fs_file_open(fileSystem, nullptr, path.c_str()));
  if (!file || file->meta == nullptr || file->meta->type != TSK_FS_META_TYPE_REG) {
    tsk_error_reset();
    return false;
  }
  const auto size = static_cast<std::uint64_t>(file->meta->size);
  if (size > kLargestHive) return false;
  fs::create_directories(to.parent_path());
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  char buffer[1 << 16];
  for (std::uint64_t at = 0; at < size;) {
    const ssize_t got = tsk_fs_file_read(file.get(), static_cast<TSK_OFF_T>(at), buffer,
                                         static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, size - at)),
                                         TSK_FS_FILE_READ_FLAG_NONE);
    if (got <= 0) {
      tsk_error_reset();
      break;  // what the disk still gives; the readers judge the rest
    }
    out.write(buffer, got);
    at += static_cast<std::uint64_t>(got);
  }
  out.close();
  // The copy keeps the file's own date, which says how old a backup is. FAT
  // keeps local time without a zone; The Sleuth Kit reads it in this system's.
  if (file->meta->mtime > 0) {
    const struct timespec times[2] = {{file->meta->mtime, 0}, {file->meta->mtime, 0}};
    ::utimensat(AT_FDCWD, to.c_str(), times, 0);
  }
  return true;
}

// Reads the registry files of one file system out into `to`; true when it holds
// a Windows registry.
bool ReadOut(TSK_FS_INFO* fileSystem, const fs::path& to) {
  bool registry = false;
  std::vector<std::string> tops = Names(fileSystem, "/", true);
  tops.insert(tops.begin(), "");
  for (const std::string& top : tops) {
    const std::string base = top.empty() ? "/" : "/" + top + "/";
    for (const Wanted& wanted : kInWindows) {
      const bool copied = CopyOut(fileSystem, base + wanted.path, to / top / wanted.path);
      registry = registry || (copied && wanted.machine);
    }
    // Windows 98 and Me keep the registry of their last good starts in cabinets.
    for (const std::string& name : Names(fileSystem, base + "SYSBCKUP", false)) {
      const std::string lower = AsciiLower(name);
      if (lower.rfind("rb", 0) == 0 && lower.ends_with(".cab")) {
        registry = CopyOut(fileSystem, base + "SYSBCKUP/" + name, to / top / "SYSBCKUP" / name) || registry;
      }
    }
  }
  // The newest of XP's restore points keeps a copy of SOFTWARE.
  const std::string volume = "/System Volume Information";
  for (const std::string& restore : Names(fileSystem, volume, true)) {
    if (AsciiLower(restore).rfind("_restore", 0) != 0) continue;
    std::string newest;
    unsigned long newestNumber = 0;
    for (const std::string& point : Names(fileSystem, volume + "/" + restore, true)) {
      const auto number = AsciiLower(point).rfind("rp", 0) == 0 ? WholeNumber(point.substr(2)) : std::nullopt;
      if (number && (newest.empty() || *number > newestNumber)) {
        newest = point;
        newestNumber = *number;
      }
    }
    const std::string snapshot = "snapshot/_REGISTRY_MACHINE_SOFTWARE";
    if (!newest.empty() &&
        CopyOut(fileSystem, volume + "/" + restore + "/" + newest + "/" + snapshot,
                to / "System Volume Information" / restore / newest / snapshot)) {
      registry = true;
    }
  }
  for (const std::string& top : tops) {
    for (const char* profiles : kProfileFolders) {
      const std::string folder = (top.empty() ? "/" : "/" + top + "/") + profiles;
      for (const std::string& person : Names(fileSystem, folder, true)) {
        for (const char* hive : {"USER.DAT", "NTUSER.DAT"}) {
          CopyOut(fileSystem, folder + "/" + person + "/" + hive, to / top / profiles / person / hive);
        }
      }
    }
  }
  return registry;
}

// "FAT32", "NTFS" ...
std::string FileSystemName(TSK_FS_INFO* fileSystem) {
  const char* name = tsk_fs_type_toname(fileSystem->ftype);
  std::string upper = name != nullptr ? name : "unknown";
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return upper;
}

std::string ReadHeadOf(const fs::path& image, std::size_t count) {
  std::ifstream in(image, std::ios::binary);
  std::string head(count, '\0');
  in.read(head.data(), static_cast<std::streamsize>(count));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

// Why a virtual disk cannot be read alone: a QCOW2 or VMDK that holds only
// its changes to another disk, its backing file, which is never followed (it
// may be anywhere, under any name the image gives); empty when it can.
std::string BackingFileProblem(const std::string& head) {
  if (head.starts_with("QFI\xFB") && head.size() >= 16) {
    std::uint64_t offset = 0;  // of the backing file's name; big-endian
    for (std::size_t i = 8; i < 16; ++i) offset = offset << 8 | static_cast<unsigned char>(head[i]);
    if (offset != 0) return "a QCOW2 disk that refers to a backing file";
  }
  // A VMDK's descriptor, in the file itself or near the start of a sparse one.
  if (const std::size_t at = head.find("parentCID="); at != std::string::npos) {
    const std::string cid = AsciiLower(head.substr(at + 10, 8));
    if (cid != "ffffffff") return "a VMDK disk that refers to a parent disk";
  }
  return "";
}

}  // namespace

bool LooksLikeDiskImage(const fs::path& file, const std::string& head) {
  const std::string extension = AsciiLower(file.extension().string());
  for (const char* known : {".img", ".dd", ".raw", ".bin", ".vhd", ".vhdx", ".vmdk", ".e01", ".qcow2", ".ima", ".hdd",
                            ".vdi"}) {
    if (extension == known) return true;
  }
  return LooksLikeVdi(head) || head.starts_with("vhdxfile") || head.starts_with("KDMV") || head.starts_with("QFI\xFB") || head.starts_with("EVF\x09") ||
         head.starts_with("conectix") || (head.size() >= 512 && head[510] == '\x55' && head[511] == '\xAA');
}

DiskImage::DiskImage(const fs::path& image) {
  if (folder_.empty()) throw SourceError(image.string() + ": no private folder to read it out to");
  std::string why;
  const std::string head = ReadHeadOf(image, 64 << 10);
  if (const std::string problem = BackingFileProblem(head); !problem.empty()) {
    throw SourceError(image.string() + ": " + problem + ", which is not followed; convert the two into one "
                                       "disk first (qemu-img convert -O raw)");
  }
  const bool qcow = head.starts_with("QFI\xFB");
  const std::unique_ptr<TSK_IMG_INFO, ImageClose> disk(
      LooksLikeVdi(head) ? OpenVdi(image)
      : qcow             ? OpenQcow(image, why)
                         : tsk_img_open_utf8_sing(image.c_str(), TSK_IMG_TYPE_DETECT, 0));
  if (!disk) {
    if (why.empty()) why = TskError();
    throw SourceError(image.string() + ": not a disk image or virtual disk that can be read (" + why + ")");
  }
  const auto tryFileSystem = [&](TSK_FS_INFO* raw, const std::string& where, int number) {
    const std::unique_ptr<TSK_FS_INFO, FsClose> fileSystem(raw);
    if (!fileSystem) {
      tsk_error_reset();
      return;
    }
    const fs::path to = folder_.path() / ("partition" + std::to_string(number));
    if (ReadOut(fileSystem.get(), to)) {
      found_.push_back({where + " (" + FileSystemName(fileSystem.get()) + ", at byte " +
                            std::to_string(fileSystem->offset) + ")",
                        to});
    }
  };
  const std::unique_ptr<TSK_VS_INFO, VolumesClose> volumes(tsk_vs_open(disk.get(), 0, TSK_VS_TYPE_DETECT));
  if (volumes) {
    int number = 0;
    for (TSK_PNUM_T i = 0; i < volumes->part_count; ++i) {
      const TSK_VS_PART_INFO* part = tsk_vs_part_get(volumes.get(), i);
      if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) continue;
      ++number;
      tryFileSystem(tsk_fs_open_vol(part, TSK_FS_TYPE_DETECT), "partition " + std::to_string(number), number);
    }
  } else {
    tsk_error_reset();
    tryFileSystem(tsk_fs_open_img(disk.get(), 0, TSK_FS_TYPE_DETECT), "the disk's file system", 0);
  }
  if (found_.empty()) {
    throw SourceError(image.string() + ": no Windows registry on this disk (looked on every partition for "
                                       "SYSTEM.DAT and System32\\config\\SOFTWARE)");
  }
}

}  // namespace taloveric
