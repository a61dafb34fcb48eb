#pragma once
// Reading the files a user names as sources, which may be anything: each is
// opened once, read-only, and checked on its descriptor to be a regular file
// or a disk before anything could wait on it (a FIFO, a socket, a folder are
// refused); what is read of it is read through that descriptor. Errors are
// SourceError, naming the file and the system's reason.

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/posix/MemoryFile.h"

namespace taloveric {

class SourceFile {
 public:
  // How many first bytes are read as it is opened: what tells its kind and
  // where a virtual disk keeps its descriptor.
  static constexpr std::size_t kHeadBytes = 64 << 10;

  explicit SourceFile(std::filesystem::path path);
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile();

  const std::filesystem::path& Path() const { return path_; }
  int Descriptor() const { return fd_; }
  bool IsDisk() const { return disk_; }  // a block device: a disk or partition itself
  std::uint64_t Size() const { return size_; }
  const std::string& Head() const { return head_; }

  // Up to `count` bytes at `offset`; fewer at the end.
  std::string ReadAt(std::uint64_t offset, std::size_t count) const;
  // The whole of a regular file, read by the system into memory, or as text;
  // one larger than `limit` bytes is refused, `what` saying what the limit
  // is for ("a .reg export").
  MemoryFile ReadAll(std::uint64_t limit, const std::string& what) const;
  std::string ReadText(std::uint64_t limit, const std::string& what) const;

 private:
  void CheckSize(std::uint64_t limit, const std::string& what) const;

  std::filesystem::path path_;
  int fd_ = -1;
  bool disk_ = false;
  std::uint64_t size_ = 0;
  std::string head_;
};

// The whole of the regular file `path`, as SourceFile reads it.
std::string ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what);
MemoryFile ReadIntoMemory(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what);

}  // namespace taloveric
