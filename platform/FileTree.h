#pragma once
// A tree of files that a Windows installation left behind, only ever read: a
// folder on this machine, or a file system inside a disk image. What Windows
// keeps where is known once, above this seam, and read through it on every
// route.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Place.h"
#include "platform/posix/MemoryFile.h"

namespace taloveric {

class FileTree {
 public:
  // A path in the tree is its names joined by '/', "" for the tree's top.
  struct Entry {
    std::string name;
    bool folder = false;
  };
  struct FileInfo {
    std::uint64_t size = 0;
    std::optional<std::time_t> modified;  // its own last change, when the file system keeps one
  };

  virtual ~FileTree() = default;

  // The entries of `folder` in the order of their names (bytewise), each
  // name once; when it cannot be read, none, and the reason goes to
  // `problem` if that is empty. Each folder is read once.
  const std::vector<Entry>& List(const std::string& folder, std::string* problem = nullptr);
  // The entry of `folder` named `lower` (lower case) without regard to
  // ASCII case, the first in List's order; null when there is none. The
  // folder's names are indexed once.
  const Entry* Find(const std::string& folder, std::string_view lower, std::string* problem = nullptr);
  // A regular file's size and date; nullopt for anything else or nothing.
  virtual std::optional<FileInfo> Stat(const std::string& file) = 0;
  // Up to `size` bytes of `file` from `offset`; fewer at its end, nullopt when
  // it cannot be read there.
  virtual std::optional<std::size_t> ReadAt(const std::string& file, std::uint64_t offset, char* buffer,
                                            std::size_t size) = 0;

  // The whole of a regular file, read where it lies, once; one larger than
  // `limit` bytes is refused before any of it is read. Throws SourceError
  // naming the file as the user knows it (Shown) and what is wrong.
  virtual MemoryFile ReadAll(const std::string& file, std::uint64_t limit) = 0;

  // Where a path is: on this machine its path here; in an image, the image,
  // the layers to the file system and the path on it.
  virtual Place PlaceOf(const std::string& path) const = 0;
  // How the user knows a path, as messages name it
  // ("disk.img, partition 1 (FAT32, at byte 1048576):/WINDOWS/SYSTEM.DAT").
  std::string Shown(const std::string& path) const { return Describe(PlaceOf(path)); }

  // The earlier copies of this tree that Windows keeps (the shadow copies
  // of an NTFS volume), newest first, each a tree of its own and this tree's
  // to keep; what keeps one from being read goes to `problems`. None where
  // there are none, and for a folder on this machine.
  virtual std::vector<FileTree*> EarlierCopies(std::vector<std::string>& problems) {
    (void)problems;
    return {};
  }

 protected:
  // A folder's entries as the tree keeps them, in any order.
  virtual std::vector<Entry> ReadFolder(const std::string& folder, std::string& problem) = 0;

 private:
  struct Folder {
    std::vector<Entry> entries;
    std::string problem;
    std::unordered_map<std::string, std::size_t> byLowerName;  // built when first looked up in
  };
  Folder& Listed(const std::string& folder);

  std::unordered_map<std::string, Folder> folders_;
};

}  // namespace taloveric
