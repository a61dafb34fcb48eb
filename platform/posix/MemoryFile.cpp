#include "platform/posix/MemoryFile.h"

#include <sys/mman.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/HiveFile.h"

namespace taloveric {

namespace {

[[noreturn]] void Fail(const std::string& shown) {
  throw SourceError(shown + ": cannot be held in memory (" + std::strerror(errno) + ")");
}

}  // namespace

MemoryFile::MemoryFile(std::size_t size, const std::string& shown) : shown_(shown) {
  fd_ = ::memfd_create("taloveric", MFD_CLOEXEC);
  if (fd_ < 0) Fail(shown_);
  Resize(size);
}

MemoryFile::MemoryFile(std::string_view bytes, const std::string& shown) : MemoryFile(bytes.size(), shown) {
  if (!bytes.empty()) std::memcpy(data(), bytes.data(), bytes.size());
}

MemoryFile MemoryFile::Copy(int fd, std::size_t size, const std::string& shown) {
  MemoryFile copy(0, shown);
  std::size_t done = 0;
  while (done < size) {
    off_t from = static_cast<off_t>(done);  // from the file's start, wherever it stands
    const ssize_t n = ::sendfile(copy.fd_, fd, &from, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SourceError(shown + ": cannot be read: " + std::strerror(errno));
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  copy.size_ = done;
  return copy;
}

char* MemoryFile::data() {
  if (data_ == nullptr && size_ > 0) {
    void* at = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (at == MAP_FAILED) Fail(shown_);
    data_ = static_cast<char*>(at);
  }
  return data_;
}

std::string MemoryFile::Head(std::size_t count) const {
  std::string head(std::min(count, size_), '\0');
  std::size_t done = 0;
  while (done < head.size()) {
    const ssize_t n = ::pread(fd_, head.data() + done, head.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  head.resize(done);
  return head;
}

MemoryFile::MemoryFile(MemoryFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      shown_(std::move(other.shown_)) {}

MemoryFile& MemoryFile::operator=(MemoryFile&& other) noexcept {
  // What this held goes with `other`.
  std::swap(fd_, other.fd_);
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(shown_, other.shown_);
  return *this;
}

MemoryFile::~MemoryFile() {
  Unmap();
  if (fd_ >= 0) ::close(fd_);
}

void MemoryFile::Unmap() {
  if (data_ != nullptr) ::munmap(data_, size_);
  data_ = nullptr;
}

void MemoryFile::Resize(std::size_t size) {
  if (size == size_) return;
  Unmap();
  // The file's pages are taken as they are written: a file of holes costs nothing.
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail(shown_);
  size_ = size;
}

std::string MemoryFile::Name() const { return "/proc/self/fd/" + std::to_string(fd_); }

}  // namespace taloveric
