#include "platform/posix/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/HiveFile.h"

namespace taloveric {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& what) {
  throw SourceError(path.string() + ": " + what);
}

// An open descriptor of a regular file, closed with the object.
class RegularFd {
 public:
  explicit RegularFd(const std::filesystem::path& path) {
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) Fail(path, std::string("cannot be opened for reading: ") + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0) Fail(path, std::string("cannot be read: ") + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) Fail(path, "is a folder, not a file");
    if (!S_ISREG(info.st_mode)) Fail(path, "is not a regular file (a FIFO, device or socket); copy it into a file");
    size_ = static_cast<std::uintmax_t>(info.st_size);
  }
  RegularFd(const RegularFd&) = delete;
  RegularFd& operator=(const RegularFd&) = delete;
  ~RegularFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  std::uintmax_t size() const { return size_; }

  int fd() const { return fd_; }

  // Reads up to `count` bytes; fewer only at the end of the file.
  std::string Read(const std::filesystem::path& path, std::size_t count) const {
    std::string bytes;
    char chunk[1 << 16];
    while (bytes.size() < count) {
      const ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, count - bytes.size()));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail(path, std::string("cannot be read: ") + std::strerror(errno));
      if (n == 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
  }

 private:
  int fd_ = -1;
  std::uintmax_t size_ = 0;
};

[[noreturn]] void TooLarge(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what) {
  Fail(path, "is larger than " + std::to_string(limit >> 20) + " MiB, the most " + what + " may be");
}

}  // namespace

void CheckRegularFile(const std::filesystem::path& path) { RegularFd file(path); }

std::string ReadHead(const std::filesystem::path& path, std::size_t count) { return RegularFd(path).Read(path, count); }

std::string ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what) {
  const RegularFd file(path);
  if (file.size() > limit) TooLarge(path, limit, what);
  // Up to one byte past the limit, for a file that grows while it is read.
  std::string bytes = file.Read(path, static_cast<std::size_t>(limit) + 1);
  if (bytes.size() > limit) TooLarge(path, limit, what);
  return bytes;
}

MemoryFile ReadIntoMemory(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what) {
  const RegularFd file(path);
  if (file.size() > limit) TooLarge(path, limit, what);
  // The size it has as it is opened: what it grows by while it is read is
  // not read, what it shrinks by is not kept.
  return MemoryFile::Copy(file.fd(), static_cast<std::size_t>(file.size()), path.string());
}

}  // namespace taloveric
