#pragma once
// A disk image or virtual disk of a machine that no longer boots, or a disk
// itself, read without mounting it and without root: a raw image (dd), a
// partitioned or unpartitioned disk (MBR or GPT), VHD/VHDX, VMDK, QCOW2, VDI
// or E01, through The Sleuth Kit and libyal's container libraries. Its file
// systems are trees of files, read in place and never written.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileTree.h"
#include "platform/posix/RegularFile.h"

namespace taloveric {

class DiskImage {
 public:
  // Reads the image, opened once as `image`, and each file system on it.
  // Throws SourceError naming the image and what is wrong.
  explicit DiskImage(const SourceFile& image);
  ~DiskImage();
  DiskImage(const DiskImage&) = delete;
  DiskImage& operator=(const DiskImage&) = delete;

  // Each file system The Sleuth Kit can read, in the disk's order; each tree's
  // places name the image and the layers to it.
  const std::vector<std::unique_ptr<FileTree>>& FileSystems() const { return trees_; }
  // The partitions that BitLocker encrypts, which cannot be read until they
  // are unlocked.
  const std::vector<Place>& Encrypted() const { return encrypted_; }
  // Every volume that is no file system read, and what it is as people know
  // it ("EFI system", "Microsoft reserved", "BitLocker"; empty when nothing
  // says).
  struct Other {
    Place place;
    std::string what;
  };
  const std::vector<Other>& Others() const { return others_; }
  // What each of FileSystems() is by its partition's type ("EFI system",
  // "Windows recovery"); empty where its type says nothing.
  const std::vector<std::string>& Purposes() const { return purposes_; }
  // Where the source is a partition of a disk of this computer rather than
  // the disk (/dev/nvme0n1p1): the disk, its number and what its type says
  // it is (empty where the disk cannot be read to say).
  struct PartOfDisk {
    std::string disk;
    unsigned number = 0;
    std::string purpose;
  };
  const std::optional<PartOfDisk>& PartitionOfDisk() const { return partOf_; }
  // What keeps part of the disk from being read: partitions past the
  // image's end, a file system that cannot be opened, a table that lies.
  const std::vector<std::string>& Problems() const { return problems_; }

 private:
  struct Opened;
  std::unique_ptr<Opened> opened_;  // the image and its volumes, which the trees read through
  std::vector<std::unique_ptr<FileTree>> trees_;
  std::vector<Place> encrypted_, pastTheEnd_, cutShort_;
  std::vector<Other> others_;
  std::vector<std::string> purposes_;
  std::optional<PartOfDisk> partOf_;
  std::vector<std::string> problems_;
};

// Opens a disk image, as DiskImage's constructor does, through the image
// libraries: linked into the tests, loaded by the program only when it reads
// an image, so that reading registry files costs none of their loading.
using DiskImageHandle = std::unique_ptr<DiskImage, void (*)(DiskImage*)>;
DiskImageHandle OpenDiskImage(const SourceFile& image);
// The same for a file not yet opened.
DiskImageHandle OpenDiskImage(const std::filesystem::path& image);

}  // namespace taloveric
