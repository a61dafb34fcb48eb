#pragma once
// What Windows does with an NT hive that it finds dirty as it loads it: the
// changes it had kept in the hive's transaction logs (NAME.LOG1 and
// NAME.LOG2, or NAME.LOG) but not yet written into the hive are written into
// it, in memory, before anything reads it. Both formats of log: the one of
// Windows 8.1 and later (log entries, each checked by its hashes, applied in
// the order of their sequence numbers across both logs), and the older one
// (a dirty vector and the pages it marks). Logs are untrusted: every size,
// offset and number is checked before it is used, and a log that fails its
// checks is not applied, or applied only as far as it holds.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/MemoryFile.h"

namespace taloveric {

// A hive's base block, its header; its hive bins follow.
inline constexpr std::size_t kBaseBlock = 4096;

// A transaction log found beside a hive.
struct HiveLog {
  std::string shown;  // as the user knows it
  std::string_view bytes;
};

struct HiveRecovery {
  bool dirty = false;                 // the hive said Windows had not finished writing it
  std::vector<std::string> applied;   // the logs whose changes were written into it
  std::vector<std::string> problems;  // what of a log could not be applied, and why
};

// The checksum of a base block: the XOR of its first 508 bytes' dwords.
std::uint32_t BaseBlockChecksum(std::string_view block);

// Whether a hive's base block (its first 4096 bytes, or fewer) says Windows
// had not finished writing it: its two sequence numbers differ, or its
// checksum is wrong.
bool HiveIsDirty(std::string_view baseBlock);

// Microsoft's Marvin32 hash of `bytes` with `seed`, all 64 bits of it, with
// which the new format's log entries are checked.
std::uint64_t Marvin32(std::string_view bytes, std::uint64_t seed);
inline constexpr std::uint64_t kHiveLogSeed = 0xC5554E7A884DEF82;  // the bytes 82 EF 4D 88 7A 4E 55 C5

// What the logs wrote over, to undo it: the hive's size, and the bytes as
// they were where they were written.
struct HiveUndo {
  std::size_t size = 0;
  std::vector<std::pair<std::size_t, std::size_t>> overwritten;  // where, and how many bytes of `was`
  std::string was;

  // `hive` as it was before the logs were applied.
  void Apply(MemoryFile& hive) const;
};

// Writes into `hive`, a dirty hive's bytes (grown where the logs grow it, to
// `limit` bytes at most), what its logs hold that Windows had not written
// into it, and marks it clean; what it overwrites goes to `undo`. Nothing is
// done to a hive that is not dirty.
HiveRecovery RecoverHive(MemoryFile& hive, const std::vector<HiveLog>& logs, std::uint64_t limit, HiveUndo& undo);

}  // namespace taloveric
