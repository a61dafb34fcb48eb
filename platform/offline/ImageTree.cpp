#include "platform/offline/ImageTree.h"

#include <algorithm>
#include <ctime>

#include "platform/HiveFile.h"
#include "platform/offline/ShadowCopies.h"

namespace taloveric {
namespace {

// Whether a name read from a disk may stand for a name on this system:
// never "." or "..", nothing with a slash or a control character in it, and
// nothing longer than a Linux file name may be.
bool SafeName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
  return std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

ImageTree::ImageTree(TSK_FS_INFO* fileSystem, Place place) : fileSystem_(fileSystem), place_(std::move(place)) {}

// The files go before the file system, and the shadow copies, which read the
// volume through it, before both.
ImageTree::~ImageTree() {
  copies_.reset();
  open_.reset();
}

std::optional<FileTree::FileInfo> ImageTree::Stat(const std::string& file) {
  TSK_FS_FILE* opened = Open(file);
  if (opened == nullptr) return std::nullopt;
  // FAT keeps local time without a zone; The Sleuth Kit reads it in this system's.
  const std::time_t modified = opened->meta->mtime;
  return FileInfo{static_cast<std::uint64_t>(opened->meta->size), modified > 0 ? std::optional(modified) : std::nullopt};
}

std::optional<std::size_t> ImageTree::ReadAt(const std::string& file, std::uint64_t offset, char* buffer,
                                             std::size_t size) {
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

MemoryFile ImageTree::ReadAll(const std::string& file, std::uint64_t limit) {
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
      const bool copy = !place_.layers.empty() && place_.layers.back().kind == Layer::Kind::ShadowCopy;
      throw SourceError(Shown(file) + ": its data cannot be read past byte " + std::to_string(at) + " of its " +
                        std::to_string(length) +
                        (copy ? ": the shadow copy's store of it is damaged"
                              : ": the image (" + std::to_string(static_cast<std::uint64_t>(fileSystem_->img_info->size)) +
                                    " bytes) may be cut short, or still being copied"));
    }
    at += *got;
  }
  return bytes;
}

std::vector<FileTree*> ImageTree::EarlierCopies(std::vector<std::string>& problems) {
  const bool ntfs = TSK_FS_TYPE_ISNTFS(fileSystem_->ftype);
  const bool isCopy = !place_.layers.empty() && place_.layers.back().kind == Layer::Kind::ShadowCopy;
  if (!ntfs || isCopy) return {};
  if (!copies_) copies_ = std::make_unique<ShadowCopies>(fileSystem_.get(), place_);
  problems.insert(problems.end(), copies_->Problems().begin(), copies_->Problems().end());
  return copies_->NewestFirst();
}

// Where a path's file or folder is kept, from its folder's listing: a lookup
// by path would read every folder from the root down each time.
std::optional<TSK_INUM_T> ImageTree::InodeOf(const std::string& path) {
  if (path.empty()) return fileSystem_->root_inum;
  const std::size_t slash = path.rfind('/');
  List(slash == std::string::npos ? "" : path.substr(0, slash), nullptr);
  const auto found = inodes_.find(path);
  if (found == inodes_.end()) return std::nullopt;
  return found->second;
}

std::vector<FileTree::Entry> ImageTree::ReadFolder(const std::string& folder, std::string& problem) {
  std::vector<Entry> out;
  const auto inode = InodeOf(folder);
  const std::unique_ptr<TSK_FS_DIR, DirClose> dir(inode ? tsk_fs_dir_open_meta(fileSystem_.get(), *inode)
                                                        : tsk_fs_dir_open(fileSystem_.get(), ("/" + folder).c_str()));
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

// The regular file at `file`, kept open for the reads that follow; null when
// there is none.
TSK_FS_FILE* ImageTree::Open(const std::string& file) {
  if (!open_ || openPath_ != file) {
    const auto inode = InodeOf(file);
    open_.reset(inode ? tsk_fs_file_open_meta(fileSystem_.get(), nullptr, *inode)
                      : tsk_fs_file_open(fileSystem_.get(), nullptr, ("/" + file).c_str()));
    openPath_ = file;
    if (open_ && (open_->meta == nullptr || open_->meta->type != TSK_FS_META_TYPE_REG || open_->meta->size < 0)) {
      open_.reset();
    }
    if (!open_) tsk_error_reset();
  }
  return open_.get();
}

}  // namespace taloveric
