#pragma once
// A file system inside a disk, or inside a layer of one (a partition, a
// shadow copy), as a tree of files read through The Sleuth Kit, in place and
// never written. Names that may not stand for a name on this system ("." and
// "..", slashes, control characters, more than 255 bytes) are left out, as
// are deleted entries.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/FileTree.h"
#include "platform/offline/TskImage.h"

namespace taloveric {

class ShadowCopies;

class ImageTree : public FileTree {
 public:
  // `fileSystem` is the tree's to close; `place` is where it is. A tree of
  // NTFS that is not itself a shadow copy looks for its volume's shadow
  // copies when first asked for them.
  ImageTree(TSK_FS_INFO* fileSystem, Place place);
  ~ImageTree() override;

  std::optional<FileInfo> Stat(const std::string& file) override;
  std::optional<std::size_t> ReadAt(const std::string& file, std::uint64_t offset, char* buffer,
                                    std::size_t size) override;
  MemoryFile ReadAll(const std::string& file, std::uint64_t limit) override;
  Place PlaceOf(const std::string& path) const override { return place_.At("/" + path); }
  std::vector<FileTree*> EarlierCopies(std::vector<std::string>& problems) override;

 protected:
  std::vector<Entry> ReadFolder(const std::string& folder, std::string& problem) override;

 private:
  std::optional<TSK_INUM_T> InodeOf(const std::string& path);
  TSK_FS_FILE* Open(const std::string& file);

  UniqueFs fileSystem_;
  Place place_;  // of the file system: the image and its layers
  std::unique_ptr<TSK_FS_FILE, FileClose> open_;
  std::string openPath_;
  std::unordered_map<std::string, TSK_INUM_T> inodes_;  // of every path listed
  std::unique_ptr<ShadowCopies> copies_;               // once looked for
};

}  // namespace taloveric
