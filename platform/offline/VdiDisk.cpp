#include "platform/ByteOrder.h"
#include "platform/offline/VdiDisk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/HiveFile.h"

namespace taloveric {
namespace {

constexpr std::uint32_t kSignature = 0xBEDA107F;
constexpr std::uint32_t kNeverWritten = 0xFFFFFFFF, kZeros = 0xFFFFFFFE;
constexpr std::size_t kHeaderEnd = 392;  // through the count of stored blocks

// Reads exactly `size` bytes at `offset`; false when the file has fewer.
bool ReadAt(int fd, std::uint64_t offset, char* buffer, std::size_t size) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace

bool LooksLikeVdi(std::string_view head) { return head.size() >= 72 && Le32(head, 64) == kSignature; }

VdiDisk::VdiDisk(const std::filesystem::path& file) {
  const auto fail = [&](const std::string& what) {
    throw SourceError(file.string() + ": not a VirtualBox disk that can be read (" + what + ")");
  };
  fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) throw SourceError(file.string() + ": cannot be opened for reading: " + std::strerror(errno));
  try {
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) fail("not a regular file");
    fileSize_ = static_cast<std::uint64_t>(info.st_size);
    std::string header(kHeaderEnd, '\0');
    if (!ReadAt(fd_, 0, header.data(), header.size())) fail("shorter than its header");
    if (!LooksLikeVdi(header)) fail("no VirtualBox signature");
    if (Le32(header, 68) >> 16 != 1) fail("header version " + std::to_string(Le32(header, 68) >> 16) + ", not 1");
    const std::uint32_t type = Le32(header, 76);
    if (type != 1 && type != 2) fail("image type " + std::to_string(type) + ", neither dynamic nor fixed");
    const std::uint32_t mapStart = Le32(header, 340);
    dataStart_ = Le32(header, 344);
    diskSize_ = Le64(header, 368);
    blockSize_ = Le32(header, 376);
    blockExtra_ = Le32(header, 380);
    const std::uint32_t blocks = Le32(header, 384), stored = Le32(header, 388);
    if (blockSize_ < 512 || blockSize_ > (256u << 20) || (blockSize_ & (blockSize_ - 1)) != 0) {
      fail("a block size of " + std::to_string(blockSize_) + " bytes");
    }
    if (blockExtra_ > (1u << 20)) fail("block headers larger than 1 MiB");
    // The map must cover the disk and lie within the file, which bounds what it takes in memory.
    if (diskSize_ == 0 || (diskSize_ + blockSize_ - 1) / blockSize_ > blocks) fail("a block map shorter than the disk");
    if (mapStart < kHeaderEnd || mapStart > fileSize_ || std::uint64_t{blocks} * 4 > fileSize_ - mapStart) {
      fail("a block map outside the file");
    }
    if (dataStart_ > fileSize_) fail("data outside the file");
    map_.resize(blocks);
    std::string raw(std::size_t{blocks} * 4, '\0');
    if (!ReadAt(fd_, mapStart, raw.data(), raw.size())) fail("a block map outside the file");
    for (std::uint32_t i = 0; i < blocks; ++i) {
      map_[i] = Le32(raw, std::size_t{i} * 4);
      if (map_[i] != kNeverWritten && map_[i] != kZeros && map_[i] >= stored) fail("a block beyond those stored");
    }
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

VdiDisk::~VdiDisk() { ::close(fd_); }

long long VdiDisk::Read(std::uint64_t offset, char* buffer, std::size_t size) const {
  if (offset >= diskSize_) return 0;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, diskSize_ - offset));
  std::size_t done = 0;
  while (done < size) {
    const std::uint64_t at = offset + done;
    const std::uint64_t block = at / blockSize_, within = at % blockSize_;
    const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, blockSize_ - within));
    const std::uint32_t stored = map_[block];
    if (stored == kNeverWritten || stored == kZeros) {
      std::memset(buffer + done, 0, part);
    } else {
      const std::uint64_t from = dataStart_ + std::uint64_t{stored} * (std::uint64_t{blockSize_} + blockExtra_) +
                                 blockExtra_ + within;
      // A block the file was cut short in reads as far as the file goes.
      if (from >= fileSize_ || !ReadAt(fd_, from, buffer + done, std::min<std::uint64_t>(part, fileSize_ - from))) {
        return done > 0 ? static_cast<long long>(done) : -1;
      }
      if (fileSize_ - from < part) return static_cast<long long>(done + (fileSize_ - from));
    }
    done += part;
  }
  return static_cast<long long>(done);
}

}  // namespace taloveric
