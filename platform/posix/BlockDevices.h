#pragma once
// This computer's disks as Linux lists them in /sys/block, and what a disk
// device is there: every name read from /sys is the kernel's, but an entry
// may vanish while it is read (a disk unplugged), and each is checked.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace taloveric {

struct BlockDisk {
  std::string name;              // "nvme0n1", "sda"
  std::filesystem::path device;  // "/dev/nvme0n1"
  std::uint64_t size = 0;        // bytes
};

// Every disk listed in `sysBlock` (/sys/block) with a device in `dev` (/dev)
// and a medium in it, in the order of their names: partitions are read as
// part of their disk; loop devices, optical drives, RAM disks and floppies
// are left out. An entry that vanishes or has no device goes to `problems`,
// a line each.
std::vector<BlockDisk> ThisComputersDisks(const std::filesystem::path& sysBlock, const std::filesystem::path& dev,
                                          std::vector<std::string>& problems);

// Where `device` is a partition of a disk (/dev/nvme0n1p1 of /dev/nvme0n1),
// that disk's device and the partition's number, as /sys/dev/block says;
// nullopt for a whole disk and for what it does not list.
struct PartitionOfDisk {
  std::filesystem::path disk;
  unsigned number = 0;
};
std::optional<PartitionOfDisk> PartitionOf(dev_t device, const std::filesystem::path& sysDevBlock = "/sys/dev/block",
                                           const std::filesystem::path& dev = "/dev");

}  // namespace taloveric
