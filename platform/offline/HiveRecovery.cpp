#include "platform/offline/HiveRecovery.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "platform/ByteOrder.h"

namespace taloveric {
namespace {

constexpr std::size_t kLogBase = 512;     // the copy of it a log starts with
constexpr std::size_t kEntryHeader = 40;  // of a new log's entry, before its page references
// Where a base block keeps what is read here.
constexpr std::size_t kSequence1 = 4, kSequence2 = 8, kWritten = 12, kFileType = 28, kBinsSize = 40,
                      kChecksum = 508;
constexpr std::uint32_t kNewLog = 6;

std::uint32_t Rotl(std::uint32_t value, int bits) { return value << bits | value >> (32 - bits); }

bool SignedRegf(std::string_view block) { return block.size() >= kLogBase && block.starts_with("regf"); }
bool ChecksumHolds(std::string_view block) {
  return SignedRegf(block) && BaseBlockChecksum(block) == Le32(block, kChecksum);
}

// What a log's copy of the base block says of it, when it can be used: whole
// (its checksum holds) and written to its end (both sequence numbers alike).
struct LogHead {
  const HiveLog* log = nullptr;
  std::uint32_t type = 0;
  std::uint32_t sequence = 0;
};

// A new log's entry whose hashes hold, and the page references in it.
struct Entry {
  const HiveLog* log = nullptr;
  std::uint32_t sequence = 0;
  std::uint32_t binsSize = 0;
  std::string_view bytes;  // the whole entry
  std::uint32_t pages = 0;
};

// Where a log's entries stop being usable, and whether they stop for damage
// rather than at the log's end.
struct EntryStop {
  std::size_t at = 0;
  std::optional<std::uint32_t> sequence;  // what the broken entry says it is, when it is one
  std::string why;
};

// The entries of a new log, in the order they lie, up to the first one that
// is not whole; `stop` says where and why that is.
std::vector<Entry> EntriesOf(const HiveLog& log, EntryStop& stop) {
  std::vector<Entry> out;
  const std::string_view bytes = log.bytes;
  std::size_t at = kLogBase;
  for (; at + kEntryHeader <= bytes.size() && bytes.substr(at, 4) == "HvLE"; ) {
    const std::uint32_t size = Le32(bytes, at + 4);
    stop = {at, Le32(bytes, at + 12), ""};
    if (size < kEntryHeader || size % 512 != 0 || size > bytes.size() - at) {
      stop.why = "an entry gives a size of " + std::to_string(size) + " bytes, which the log does not hold";
      return out;
    }
    const std::string_view entry = bytes.substr(at, size);
    if (Marvin32(entry.substr(kEntryHeader), kHiveLogSeed) != Le64(entry, 24) ||
        Marvin32(entry.substr(0, 32), kHiveLogSeed) != Le64(entry, 32)) {
      stop.why = "an entry's hashes do not hold (it was not written whole)";
      return out;
    }
    Entry found{&log, Le32(entry, 12), Le32(entry, 16), entry, Le32(entry, 20)};
    // Its pages, each within the hive bins the entry gives and within the entry.
    std::uint64_t data = kEntryHeader + static_cast<std::uint64_t>(found.pages) * 8;
    bool whole = found.binsSize != 0 && found.binsSize % kBaseBlock == 0 && data <= size;
    for (std::uint32_t i = 0; whole && i < found.pages; ++i) {
      const std::uint64_t offset = Le32(entry, kEntryHeader + 8 * i), length = Le32(entry, kEntryHeader + 8 * i + 4);
      whole = length != 0 && offset + length <= found.binsSize;
      data += length;
    }
    if (!whole || data > size) {
      stop.why = "an entry's pages lie outside the hive or the entry";
      return out;
    }
    out.push_back(found);
    at += size;
  }
  stop = {at, std::nullopt, ""};
  return out;
}

// Writes `size` bytes at `at` of the hive, keeping what they overwrite.
void Write(MemoryFile& hive, std::size_t at, const char* bytes, std::size_t size, HiveUndo& undo) {
  char* data = hive.data();
  if (at < undo.size) {
    const std::size_t kept = std::min(size, undo.size - at);
    undo.overwritten.emplace_back(at, kept);
    undo.was.append(data + at, kept);
  }
  std::memcpy(data + at, bytes, size);
}

// Grows the hive to hold `binsSize` bytes of hive bins; false past `limit`.
bool Grow(MemoryFile& hive, std::uint64_t binsSize, std::uint64_t limit) {
  const std::uint64_t needed = kBaseBlock + binsSize;
  if (needed > limit) return false;
  if (needed > hive.size()) hive.Resize(static_cast<std::size_t>(needed));
  return true;
}

// Writes one whole entry's pages into the hive.
void Apply(MemoryFile& hive, const Entry& entry, HiveUndo& undo) {
  std::size_t from = kEntryHeader + static_cast<std::size_t>(entry.pages) * 8;
  for (std::uint32_t i = 0; i < entry.pages; ++i) {
    const std::uint32_t offset = Le32(entry.bytes, kEntryHeader + 8 * i), length = Le32(entry.bytes, kEntryHeader + 8 * i + 4);
    Write(hive, kBaseBlock + offset, entry.bytes.data() + from, length, undo);
    from += length;
  }
}

// The base block as Windows leaves it once the hive is written: its hive
// bins' size, both sequence numbers alike, its checksum; a base block taken
// from a log is a primary file's again.
void MarkClean(MemoryFile& hive, std::uint32_t sequence, std::uint32_t binsSize, HiveUndo& undo) {
  std::string base(hive.data(), kLogBase);
  PutLe32(base.data() + kSequence1, sequence);
  PutLe32(base.data() + kSequence2, sequence);
  PutLe32(base.data() + kFileType, 0);
  PutLe32(base.data() + kBinsSize, binsSize);
  PutLe32(base.data() + kChecksum, BaseBlockChecksum(base));
  Write(hive, 0, base.data(), base.size(), undo);
}

// The new format: every log's entries from its own first sequence number on,
// applied in the order of their numbers across the logs until one is missing.
void ReplayEntries(MemoryFile& hive, std::vector<LogHead> heads, bool baseHolds, std::uint32_t written,
                   std::uint64_t limit, HiveRecovery& out, HiveUndo& undo) {
  if (!baseHolds) {
    // Its base block comes from the log with the latest entries, and only that log is read.
    const auto latest = std::max_element(heads.begin(), heads.end(),
                                         [](const LogHead& a, const LogHead& b) { return a.sequence < b.sequence; });
    Write(hive, 0, latest->log->bytes.data(), kLogBase, undo);
    heads = {*latest};
  } else {
    // A log from before the hive's last complete write holds nothing it lacks.
    std::erase_if(heads, [&](const LogHead& head) { return head.sequence < written; });
  }
  if (heads.empty()) return;
  std::sort(heads.begin(), heads.end(), [](const LogHead& a, const LogHead& b) { return a.sequence < b.sequence; });
  std::map<std::uint32_t, Entry> bySequence;
  std::vector<std::pair<const HiveLog*, EntryStop>> stops;
  for (const LogHead& head : heads) {
    EntryStop stop;
    for (const Entry& entry : EntriesOf(*head.log, stop)) {
      if (entry.sequence >= head.sequence) bySequence.try_emplace(entry.sequence, entry);
    }
    stops.emplace_back(head.log, stop);
  }
  std::uint32_t next = heads.front().sequence, binsSize = 0;
  std::set<const HiveLog*> used;
  for (auto entry = bySequence.find(next); entry != bySequence.end(); entry = bySequence.find(++next)) {
    if (!Grow(hive, entry->second.binsSize, limit)) {
      out.problems.push_back(entry->second.log->shown + ": an entry grows the hive past " + std::to_string(limit >> 20) +
                             " MiB; its changes from there on are not applied");
      break;
    }
    Apply(hive, entry->second, undo);
    binsSize = entry->second.binsSize;
    used.insert(entry->second.log);
  }
  // What stopped the replay, where it was not the logs' end.
  for (const auto& [log, stop] : stops) {
    if (!stop.why.empty() && stop.sequence == next) {
      out.problems.push_back(log->shown + ": " + stop.why + " at byte " + std::to_string(stop.at) +
                             "; the changes from there on are not applied");
    }
  }
  if (const auto later = bySequence.upper_bound(next); later != bySequence.end()) {
    out.problems.push_back(later->second.log->shown + ": its entries skip from sequence number " + std::to_string(next) +
                           " to " + std::to_string(later->first) + "; the changes after the gap are not applied");
  }
  for (const LogHead& head : heads) {
    if (used.count(head.log) != 0) out.applied.push_back(head.log->shown);
  }
  if (!used.empty()) MarkClean(hive, next - 1, binsSize, undo);
}

// The old format: a dirty vector, one bit for each 512 bytes of hive bins,
// and the pages it marks, in order. The first log that is whole and was
// written with the hive (their times of writing alike) is applied.
void ApplyDirtyPages(MemoryFile& hive, const std::vector<LogHead>& heads, std::optional<std::uint64_t> written,
                     bool baseHolds, std::uint64_t limit, HiveRecovery& out, HiveUndo& undo) {
  for (const LogHead& head : heads) {
    const std::string_view log = head.log->bytes;
    if (!written || Le64(log, kWritten) != *written) continue;  // of another write of the hive
    const std::uint32_t binsSize = Le32(log, kBinsSize);
    const std::uint64_t bits = binsSize / 512, vectorBytes = (bits + 7) / 8;
    const std::uint64_t pagesAt = kLogBase + (4 + vectorBytes + 511) / 512 * 512;
    std::string why;
    if (binsSize == 0 || binsSize % kBaseBlock != 0) {
      why = "it gives a size of the hive of " + std::to_string(binsSize) + " bytes";
    } else if (log.size() < kLogBase + 4 + vectorBytes || log.substr(kLogBase, 4) != "DIRT") {
      why = "its dirty vector is missing or cut short";
    }
    std::uint64_t marked = 0;
    for (std::uint64_t bit = 0; why.empty() && bit < bits; ++bit) {
      marked += (static_cast<unsigned char>(log[kLogBase + 4 + bit / 8]) >> (bit % 8)) & 1;
    }
    if (why.empty() && pagesAt + marked * 512 > log.size()) why = "it ends before the pages its dirty vector marks";
    if (why.empty() && !Grow(hive, binsSize, limit)) why = "it grows the hive past " + std::to_string(limit >> 20) + " MiB";
    if (!why.empty()) {
      out.problems.push_back(head.log->shown + ": " + why + "; it is not applied");
      continue;
    }
    if (!baseHolds) Write(hive, 0, log.data(), kLogBase, undo);
    std::uint64_t page = pagesAt;
    for (std::uint64_t bit = 0; bit < bits; ++bit) {
      if (((static_cast<unsigned char>(log[kLogBase + 4 + bit / 8]) >> (bit % 8)) & 1) == 0) continue;
      Write(hive, static_cast<std::size_t>(kBaseBlock + bit * 512), log.data() + page, 512, undo);
      page += 512;
    }
    MarkClean(hive, head.sequence, binsSize, undo);
    out.applied.push_back(head.log->shown);
    return;
  }
}

}  // namespace

std::uint32_t BaseBlockChecksum(std::string_view block) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at + 4 <= std::min<std::size_t>(block.size(), kChecksum); at += 4) sum ^= Le32(block, at);
  if (sum == 0xFFFFFFFF) sum = 0xFFFFFFFE;
  if (sum == 0) sum = 1;
  return sum;
}

bool HiveIsDirty(std::string_view baseBlock) {
  if (!SignedRegf(baseBlock)) return false;
  return !ChecksumHolds(baseBlock) || Le32(baseBlock, kSequence1) != Le32(baseBlock, kSequence2);
}

std::uint64_t Marvin32(std::string_view bytes, std::uint64_t seed) {
  std::uint32_t low = static_cast<std::uint32_t>(seed), high = static_cast<std::uint32_t>(seed >> 32);
  const auto block = [&] {
    high ^= low;
    low = Rotl(low, 20) + high;
    high = Rotl(high, 9) ^ low;
    low = Rotl(low, 27) + high;
    high = Rotl(high, 19);
  };
  std::size_t at = 0;
  for (; at + 4 <= bytes.size(); at += 4) {
    static_assert(std::endian::native == std::endian::little, "the words are read as this machine keeps them");
    std::uint32_t word;
    std::memcpy(&word, bytes.data() + at, 4);
    low += word;
    block();
  }
  // The last 0 to 3 bytes, and a byte 0x80 after them.
  std::uint32_t last = 0x80;
  for (std::size_t i = bytes.size(); i-- > at;) last = last << 8 | static_cast<unsigned char>(bytes[i]);
  low += last;
  block();
  block();
  return static_cast<std::uint64_t>(high) << 32 | low;
}

void HiveUndo::Apply(MemoryFile& hive) const {
  hive.Resize(size);
  std::size_t from = was.size();
  for (auto it = overwritten.rbegin(); it != overwritten.rend(); ++it) {
    from -= it->second;
    std::memcpy(hive.data() + it->first, was.data() + from, it->second);
  }
}

HiveRecovery RecoverHive(MemoryFile& hive, const std::vector<HiveLog>& logs, std::uint64_t limit, HiveUndo& undo) {
  HiveRecovery out;
  undo = HiveUndo{hive.size(), {}, ""};
  undo.was.reserve(hive.size());  // taken from the system only as it is written: never moved as it grows
  const std::string base = hive.Head(kBaseBlock);
  if (base.size() < kBaseBlock || !SignedRegf(base)) return out;  // not a hive: its reader says so
  out.dirty = HiveIsDirty(base);
  if (!out.dirty) return out;
  const bool baseHolds = ChecksumHolds(base);
  std::vector<LogHead> newLogs, oldLogs;
  for (const HiveLog& log : logs) {
    if (log.bytes.empty()) continue;  // a log of a scheme this hive does not use
    const std::string_view head = log.bytes.substr(0, std::min(log.bytes.size(), kLogBase));
    if (!ChecksumHolds(head)) {
      out.problems.push_back(log.shown + ": not a transaction log that can be read (its header is damaged); "
                                         "it is not applied");
      continue;
    }
    if (Le32(head, kSequence1) != Le32(head, kSequence2)) {
      out.problems.push_back(log.shown + ": Windows had not finished writing this log either; it is not applied");
      continue;
    }
    const LogHead read{&log, Le32(head, kFileType), Le32(head, kSequence1)};
    if (read.type == kNewLog) {
      newLogs.push_back(read);
    } else if (read.type == 1 || read.type == 2) {
      oldLogs.push_back(read);
    } else {
      out.problems.push_back(log.shown + ": not a transaction log (its file type is " + std::to_string(read.type) +
                             "); it is not applied");
    }
  }
  if (!newLogs.empty()) {
    ReplayEntries(hive, newLogs, baseHolds, Le32(base, kSequence2), limit, out, undo);
  } else if (!oldLogs.empty()) {
    // A damaged base block's time of writing is kept in the first hive bin too.
    std::optional<std::uint64_t> written;
    if (baseHolds) {
      written = Le64(base, kWritten);
    } else if (const std::string bin = hive.Head(kBaseBlock + 32); bin.size() == kBaseBlock + 32 &&
                                                                       bin.compare(kBaseBlock, 4, "hbin") == 0) {
      written = Le64(bin, kBaseBlock + 20);
    }
    ApplyDirtyPages(hive, oldLogs, written, baseHolds, limit, out, undo);
  }
  return out;
}

}  // namespace taloveric
