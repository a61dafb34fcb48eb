#pragma once
// Which file a path names, by the file system's own identity (device and
// inode), however the path spells it: through links, "..", bind mounts or
// another name of the same file.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <vector>

namespace taloveric {

struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// The file `path` names, following links; nullopt when there is none.
std::optional<FileId> IdOf(const std::filesystem::path& path);

// Whether `path` (which need not exist yet) is the folder `folder` or lies
// anywhere inside it.
bool IsWithin(const std::filesystem::path& path, const FileId& folder);

// The device the file system `path` (which need not exist yet) would be
// written on is kept on: the disk or partition its mount names as its source
// (as ntfs-3g's mounts of a partition do, whose own device is FUSE's), else
// the file system's own device.
std::optional<dev_t> DeviceOf(const std::filesystem::path& path);

// Every device of the disk `device` is or lies on: the whole disk and each
// of its partitions, as /sys/dev/block lists them; `device` alone where it
// lists nothing.
std::vector<dev_t> DevicesOfDisk(dev_t device);

// A link's final target when it is a regular file in the same folder as the
// link; `path` itself when it is no link; nullopt otherwise.
std::optional<std::filesystem::path> RegularFileBeside(const std::filesystem::path& path);

}  // namespace taloveric
