#pragma once
// A folder on this machine as a tree of files, read and never written.

#include <filesystem>

#include "platform/FileTree.h"

namespace taloveric {

class HostTree : public FileTree {
 public:
  explicit HostTree(std::filesystem::path root) : root_(std::move(root)) {}

  std::optional<FileInfo> Stat(const std::string& file) override;
  std::optional<std::size_t> ReadAt(const std::string& file, std::uint64_t offset, char* buffer,
                                    std::size_t size) override;
  MemoryFile ReadAll(const std::string& file, std::uint64_t limit) override;
  Place PlaceOf(const std::string& path) const override { return {At(path).string(), {}, "", ""}; }

 protected:
  std::vector<Entry> ReadFolder(const std::string& folder, std::string& problem) override;

 private:
  std::filesystem::path At(const std::string& path) const { return path.empty() ? root_ : root_ / path; }

  std::filesystem::path root_;
};

}  // namespace taloveric
