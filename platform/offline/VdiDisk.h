#pragma once
// A VirtualBox disk (.vdi), fixed or dynamic, read as the disk it holds. No
// packaged library reads the format, so this does: a header and a map of
// blocks, each checked against the file before it is used.
//
// The layout (all numbers little-endian): a line of text in the first 64
// bytes, then the signature 0xBEDA107F at byte 64 and the version (1.1) at 68;
// the header from byte 72 gives, among others, the image's type (1 dynamic,
// 2 fixed) at 76, where the block map and the data start (340, 344), the
// disk's size in bytes (368), the block size (376), the extra bytes before
// each block's data (380), and the count of blocks (384) and of those stored
// (388). Map entry i names the stored block that holds the disk's block i, or
// is 0xFFFFFFFF (never written) or 0xFFFFFFFE (zeros): both read as zeros.

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace taloveric {

// Whether a file's first bytes are a VirtualBox disk's.
bool LooksLikeVdi(std::string_view head);

class VdiDisk {
 public:
  // Opens `file` read-only and reads its header and block map; throws
  // SourceError naming the file and what is wrong with it.
  explicit VdiDisk(const std::filesystem::path& file);
  VdiDisk(const VdiDisk&) = delete;
  VdiDisk& operator=(const VdiDisk&) = delete;
  ~VdiDisk();

  // The disk's size in bytes.
  std::uint64_t Size() const { return diskSize_; }
  // Reads `size` bytes at `offset` of the disk into `buffer`: the bytes read,
  // fewer at the disk's end, or -1 when the file cannot give them.
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) const;

 private:
  int fd_ = -1;
  std::uint64_t fileSize_ = 0, diskSize_ = 0, dataStart_ = 0;
  std::uint32_t blockSize_ = 0, blockExtra_ = 0;
  std::vector<std::uint32_t> map_;
};

}  // namespace taloveric
