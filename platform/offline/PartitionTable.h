#pragma once
// A disk's partition table, MBR or GPT, read as Linux reads it and numbered
// as Linux numbers it: an MBR's primary partitions by their slots 1 to 4,
// its logical partitions from 5 in the order of their chain; a GPT's by
// their entries, the unused ones counted. Every number in the table is
// untrusted: sizes and offsets are checked, the chain of logical partitions
// is followed at most once around, and a partition that lies past the disk's
// end is kept, for the user to be told.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/TskImage.h"

namespace taloveric {

struct Partition {
  unsigned number = 0;       // as Linux numbers it (sdb5, nvme0n1p3)
  std::uint64_t offset = 0;  // its first byte on the disk
  std::uint64_t size = 0;    // in bytes
  unsigned mbrType = 0;      // an MBR's type byte; 0 on a GPT
  std::string gptType;       // a GPT's type GUID, "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7"; empty on an MBR
  std::string name;          // a GPT's name for it, UTF-8
};

struct PartitionTable {
  enum class Scheme { None, Mbr, Gpt };
  Scheme scheme = Scheme::None;
  std::vector<Partition> partitions;  // in the order of their numbers
  std::vector<std::string> problems;  // what of the table could not be read
};

// The table at the disk's start; Scheme::None where there is none (a file
// system that is the whole disk, or nothing known).
PartitionTable ReadPartitionTable(ByteSource& disk);

// What a partition is, as people know it, by its type: "EFI system",
// "Microsoft reserved", "Windows recovery", "Microsoft basic data" ...; empty
// when the type is none of those.
std::string PartitionPurpose(const Partition& partition);

}  // namespace taloveric
