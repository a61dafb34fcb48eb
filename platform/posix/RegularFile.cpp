#include "platform/posix/RegularFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/HiveFile.h"

namespace taloveric {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& what) {
  throw SourceError(path.string() + ": " + what);
}

}  // namespace

SourceFile::SourceFile(std::filesystem::path path) : path_(std::move(path)) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) {
    struct stat info {};
    const int why = errno;
    const bool disk = ::stat(path_.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
    Fail(path_, std::string("cannot be opened for reading: ") + std::strerror(why) +
                    (disk ? " (reading a disk needs read permission on it: root, or the disk group)" : ""));
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0) Fail(path_, std::string("cannot be read: ") + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) Fail(path_, "is a folder, not a file");
  disk_ = S_ISBLK(info.st_mode);
  if (!disk_ && !S_ISREG(info.st_mode)) {
    Fail(path_, "is not a regular file (a FIFO, device or socket); copy it into a file");
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
  if (disk_ && ::ioctl(fd_, BLKGETSIZE64, &size_) != 0) Fail(path_, std::string("cannot be read: ") + std::strerror(errno));
  head_ = ReadAt(0, kHeadBytes);
}

SourceFile::~SourceFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::string SourceFile::ReadAt(std::uint64_t offset, std::size_t count) const {
  std::string bytes(count, '\0');
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, bytes.data() + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(path_, std::string("cannot be read: ") + std::strerror(errno));
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

void SourceFile::CheckSize(std::uint64_t limit, const std::string& what) const {
  if (disk_) Fail(path_, "is a disk, not " + what);
  if (size_ > limit) {
    Fail(path_, "is larger than " + (limit >= (1u << 20) ? std::to_string(limit >> 20) + " MiB"
                                                          : std::to_string(limit >> 10) + " KiB") +
                    ", the most " + what + " may be");
  }
}

MemoryFile SourceFile::ReadAll(std::uint64_t limit, const std::string& what) const {
  CheckSize(limit, what);
  // The size it had as it was opened: what it grows by while it is read is
  // not read, what it shrinks by is not kept.
  return MemoryFile::Copy(fd_, static_cast<std::size_t>(size_), path_.string());
}

std::string SourceFile::ReadText(std::uint64_t limit, const std::string& what) const {
  CheckSize(limit, what);
  return ReadAt(0, static_cast<std::size_t>(size_));
}

std::string ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what) {
  return SourceFile(path).ReadText(limit, what);
}

MemoryFile ReadIntoMemory(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what) {
  return SourceFile(path).ReadAll(limit, what);
}

}  // namespace taloveric
