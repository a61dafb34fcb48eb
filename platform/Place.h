#pragma once
// Where a file is, as the user knows it, in the way of a path through layers:
// the source the user named, each layer read over the one below it (the
// container, the partition, a shadow copy of it), the path in the file
// system, and a cabinet's member. Every message and every JSON place is
// made from one; a new kind of layer is one more entry here and nowhere else.

#include <cstdint>
#include <string>
#include <vector>

namespace taloveric {

struct Layer {
  enum class Kind {
    Container,   // a virtual disk or forensic image: `format` is "VHDX", "VMDK", "E01" ...
    Partition,   // `number` as Linux numbers it, `offset` its first byte, `format` its file system (empty: unread)
    Volume,      // a file system that is the whole disk, without a partition table
    ShadowCopy,  // a volume shadow copy: `number` (1 the oldest), `date` of its making
  };
  Kind kind = Kind::Partition;
  std::string format;
  unsigned number = 0;
  std::uint64_t offset = 0;
  std::string date;  // "yyyy-mm-ddThh:mm:ssZ"; empty when not known
  std::uint64_t size = 0;  // a partition's or volume's bytes; 0 when not known
  std::string label;       // a file system's volume label, as it holds it (UTF-8); empty for none
};

struct Place {
  std::string source;         // as the user named it; for a file here, its own path
  std::vector<Layer> layers;  // from the source down; none for a file here
  std::string path;           // in the file system, from its root ("/WINDOWS/SYSTEM.DAT"); empty for a file here
  std::string member;         // in a cabinet; empty for a file of its own

  // The same place one level down: a file in this file system, a member of this cabinet.
  Place At(std::string inFileSystem) const;
  Place Member(std::string name) const;
};

// The layers as a message names them, from the source down: "partition 2
// (NTFS, at byte 1048576), shadow copy 3 (made 2024-05-01 10:00 UTC)"; empty
// for a file here. A container is not named: the user named it.
std::string DescribeLayers(const std::vector<Layer>& layers);

// A partition or volume as a person picks it among others, by its number,
// file system, size and label: "partition 3 (NTFS, 237.4 GiB, "Windows")",
// "the disk's file system (FAT32, 2 GiB)". The label is as the disk holds
// it: shown, it is escaped as every name read from a disk is.
std::string DescribeVolume(const Layer& layer);

// A size as people read it: "512 bytes", "100 KiB", "237.4 GiB".
std::string SizeText(std::uint64_t bytes);

// The whole place as a message names it:
// "disk.img, partition 2 (NTFS, at byte 1048576):/Windows/System32/config/SOFTWARE",
// a cabinet's member after a backslash, a file here by its path.
std::string Describe(const Place& place);

}  // namespace taloveric
