#pragma once
// A disk image or virtual disk of a machine that no longer boots, read without
// mounting it and without root: a raw image (dd), a partitioned or
// unpartitioned disk (MBR or GPT), VHD/VHDX, VMDK or E01, through The Sleuth
// Kit and libyal's container libraries. Only the registry files of the Windows
// installations found on its partitions are read out.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/PrivateFolder.h"

namespace taloveric {

class DiskImage {
 public:
  // Opens the image and copies the registry files of every Windows installation
  // on it into a private folder, laid out as on the disk. Throws SourceError
  // naming the image and what is wrong.
  explicit DiskImage(const std::filesystem::path& image);
  // The private folder goes with the object: the registry files stay readable
  // to whoever already opened them.
  DiskImage(const DiskImage&) = delete;
  DiskImage& operator=(const DiskImage&) = delete;

  struct Installation {
    std::string where;             // "partition 1 (FAT32, at byte 1048576)"
    std::filesystem::path folder;  // its files, read out
  };
  // Each partition that holds a Windows registry, in the disk's order.
  const std::vector<Installation>& Installations() const { return found_; }

 private:
  PrivateFolder folder_{"taloveric-image"};
  std::vector<Installation> found_;
};

// Whether a file's first bytes or name say it is a disk image or virtual disk.
bool LooksLikeDiskImage(const std::filesystem::path& file, const std::string& head);

}  // namespace taloveric
