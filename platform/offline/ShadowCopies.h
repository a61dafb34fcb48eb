#pragma once
// The volume shadow copies Windows keeps on an NTFS volume (System Restore
// and previous versions, where Windows 10 and 11 keep the registry's earlier
// copies), read through libvshadow over the volume's own bytes: each copy a
// tree of files of its own, its file system opened when it is first read.

#include <memory>
#include <string>
#include <vector>

#include "platform/FileTree.h"
#include "platform/offline/TskImage.h"

namespace taloveric {

class ShadowCopies {
 public:
  // The most copies read: Windows keeps 64 a volume, 512 at most.
  static constexpr std::size_t kMost = 512;

  // Looks for the copies on `volume`, which outlives this; `place` names it.
  ShadowCopies(TSK_FS_INFO* volume, const Place& place);
  ~ShadowCopies();
  ShadowCopies(const ShadowCopies&) = delete;
  ShadowCopies& operator=(const ShadowCopies&) = delete;

  std::vector<FileTree*> NewestFirst() const;
  // What kept the copies, or some of them, from being read.
  const std::vector<std::string>& Problems() const { return problems_; }

  struct Volume;  // libvshadow's, and the volume's bytes it reads

 private:
  std::shared_ptr<Volume> volume_;
  std::vector<std::unique_ptr<FileTree>> copies_;  // newest first
  std::vector<std::string> problems_;
};

}  // namespace taloveric
