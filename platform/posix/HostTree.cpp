#include "platform/posix/HostTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/RegularFile.h"

namespace taloveric {
namespace fs = std::filesystem;

std::vector<FileTree::Entry> HostTree::ReadFolder(const std::string& folder, std::string& problem) {
  std::vector<Entry> out;
  std::error_code ec;
  const fs::path at = At(folder);
  for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    out.push_back({it->path().filename().string(), it->is_directory(typeError)});
  }
  if (ec) {
    out.clear();
    problem = at.string() + ": " + ec.message();
  }
  return out;
}

std::optional<FileTree::FileInfo> HostTree::Stat(const std::string& file) {
  struct stat info {};
  if (::stat(At(file).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return FileInfo{static_cast<std::uint64_t>(info.st_size), info.st_mtime};
}

std::optional<std::size_t> HostTree::ReadAt(const std::string& file, std::uint64_t offset, char* buffer,
                                            std::size_t size) {
  // Never waits on a FIFO or a device that took a file's name.
  const int fd = ::open(At(file).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::size_t> got;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    std::size_t done = 0;
    ssize_t n = 1;
    while (done < size && n > 0) {
      n = ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) n = 1;
      else if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (n >= 0) got = done;
  }
  ::close(fd);
  return got;
}

MemoryFile HostTree::ReadAll(const std::string& file, std::uint64_t limit) {
  // Opened once, checked on its descriptor to be a regular file, read whole.
  return ReadIntoMemory(At(file), limit, "a registry file");
}

}  // namespace taloveric
