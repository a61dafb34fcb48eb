#include "platform/posix/BlockDevices.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "platform/Unicode.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

// The first line of a small attribute file of /sys; nullopt when it cannot be read.
std::optional<std::string> Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::array<char, 64> line{};
  if (!in || !in.getline(line.data(), line.size())) return std::nullopt;
  return std::string(line.data());
}

// Devices that hold no disk of this computer's own: loop devices (an image
// the user may name itself), optical drives, RAM disks, compressed swap,
// floppies.
bool LeftOut(const std::string& name) {
  for (const char* prefix : {"loop", "sr", "ram", "zram", "fd"}) {
    if (name.starts_with(prefix)) return true;
  }
  return false;
}

}  // namespace

std::vector<BlockDisk> ThisComputersDisks(const fs::path& sysBlock, const fs::path& dev,
                                          std::vector<std::string>& problems) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(sysBlock, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) {
    problems.push_back(sysBlock.string() + " cannot be listed (" + ec.message() + ")");
    return {};
  }
  std::sort(names.begin(), names.end());
  std::vector<BlockDisk> disks;
  for (const std::string& name : names) {
    if (LeftOut(name)) continue;
    const auto sectors = Attribute(sysBlock / name / "size");
    const auto count = sectors ? WholeNumber(*sectors, 19) : std::nullopt;
    if (!count) {
      problems.push_back(name + ": listed in " + sysBlock.string() + ", but its size cannot be read (it may have "
                         "been removed)");
      continue;
    }
    if (*count == 0) continue;  // a drive without a medium, an unused device
    const fs::path device = dev / name;
    if (!fs::exists(device, ec)) {
      problems.push_back(name + ": listed in " + sysBlock.string() + ", but " + device.string() + " is not there");
      continue;
    }
    disks.push_back({name, device, *count * 512});
  }
  return disks;
}

std::optional<PartitionOfDisk> PartitionOf(dev_t device, const fs::path& sysDevBlock, const fs::path& dev) {
  std::error_code ec;
  const fs::path entry =
      fs::canonical(sysDevBlock / (std::to_string(major(device)) + ":" + std::to_string(minor(device))), ec);
  if (ec) return std::nullopt;
  const auto number = Attribute(entry / "partition");
  const auto partition = number ? WholeNumber(*number, 9) : std::nullopt;
  if (!partition) return std::nullopt;
  // A partition's folder lies in its disk's.
  return PartitionOfDisk{dev / entry.parent_path().filename(), static_cast<unsigned>(*partition)};
}

}  // namespace taloveric
