#include "platform/posix/FileIdentity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <sstream>

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

namespace {

// A mount's point and source in /proc/self/mountinfo, which escapes blanks
// and backslashes as octal.
std::string Unescaped(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

}  // namespace

std::optional<dev_t> DeviceOf(const fs::path& path) {
  std::error_code ec;
  fs::path at = fs::absolute(path, ec).lexically_normal();
  struct stat info {};
  while (::stat(at.c_str(), &info) != 0) {
    if (at == at.parent_path() || at.empty()) return std::nullopt;
    at = at.parent_path();
  }
  // The mount the file system is: the one of the same device whose point
  // holds `at`, the longest.
  const fs::path real = fs::canonical(at, ec);
  std::ifstream mounts("/proc/self/mountinfo");
  std::size_t longest = 0;
  std::optional<dev_t> disk;
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point;
    fields >> id >> parent >> numbers >> root >> point;
    std::string field;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    fields >> type >> source;
    const std::string mounted = Unescaped(point);
    const std::string there = real.string();
    if (!there.starts_with(mounted) || (there.size() > mounted.size() && mounted != "/" && there[mounted.size()] != '/') ||
        mounted.size() < longest) {
      continue;
    }
    longest = mounted.size();
    struct stat device {};
    disk = ::stat(Unescaped(source).c_str(), &device) == 0 && S_ISBLK(device.st_mode) ? device.st_rdev : info.st_dev;
  }
  return disk ? disk : std::optional<dev_t>(info.st_dev);
}

std::vector<dev_t> DevicesOfDisk(dev_t device) {
  std::vector<dev_t> out{device};
  std::error_code ec;
  // A partition's folder lies in its disk's, beside the others.
  fs::path disk = fs::canonical("/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)), ec);
  if (ec) return out;
  if (fs::exists(disk / "partition", ec)) disk = disk.parent_path();
  const auto add = [&](const fs::path& folder) {
    std::ifstream in(folder / "dev");
    unsigned long high = 0, low = 0;
    char colon = 0;
    if (in >> high >> colon >> low && colon == ':') {
      const dev_t found = makedev(high, low);
      if (std::find(out.begin(), out.end(), found) == out.end()) out.push_back(found);
    }
  };
  add(disk);
  for (fs::directory_iterator it(disk, ec), end; !ec && it != end; it.increment(ec)) {
    if (fs::exists(it->path() / "partition", ec)) add(it->path());
  }
  return out;
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
