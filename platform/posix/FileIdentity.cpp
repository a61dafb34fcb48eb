#include "platform/posix/FileIdentity.h"

#include <sys/stat.h>

namespace taloveric {
namespace fs = std::filesystem;

std::optional<FileId> IdOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileId{info.st_dev, info.st_ino};
}

bool IsWithin(const fs::path& path, const FileId& folder) {
  std::error_code ec;
  fs::path at = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) at = fs::absolute(path, ec).lexically_normal();
  for (;; at = at.parent_path()) {
    if (IdOf(at) == folder) return true;
    if (at == at.parent_path() || at.empty()) return false;
  }
}

std::optional<fs::path> RegularFileBeside(const fs::path& path) {
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0) return std::nullopt;
  if (S_ISREG(link.st_mode)) return path;
  if (!S_ISLNK(link.st_mode)) return std::nullopt;
  std::error_code ec;
  const fs::path target = fs::canonical(path, ec);
  const fs::path folder = fs::canonical(fs::absolute(path, ec).parent_path(), ec);
  struct stat info {};
  if (ec || ::stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || target.parent_path() != folder) {
    return std::nullopt;
  }
  return target;
}

}  // namespace taloveric
