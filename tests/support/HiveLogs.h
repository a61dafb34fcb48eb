#pragma once
// A hive as Windows leaves it when it stops before writing its changes into
// it: the file as last written, marked dirty, and transaction logs holding
// the changes since, in either format, as the public description of them
// has them.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/offline/HiveRecovery.h"

namespace taloveric::testing {

inline void Resign(std::string& block) {
  PutLe32(block.data() + 508, BaseBlockChecksum(block));
}

// The pages of 4096 bytes of hive bins in which `after` differs from `before`.
inline std::vector<std::size_t> ChangedPages(const std::string& before, const std::string& after, std::size_t page) {
  std::vector<std::size_t> out;
  for (std::size_t at = 4096; at < after.size(); at += page) {
    if (at + page > before.size() || before.compare(at, page, after, at, page) != 0) out.push_back(at - 4096);
  }
  return out;
}

struct DirtyHive {
  std::string primary;
  std::vector<std::string> logs;  // LOG1 and LOG2 (new format), or one LOG (old format)
};

// `states[0]` as Windows last wrote it into the file, each later state after
// one more write that went only into the logs: a log entry each, entry i in
// log `placement[i]` (0 for LOG1, 1 for LOG2). The file's sequence numbers are
// 7 written and 8 begun; the entries are numbered from 7 on, as Windows
// numbers the first after the file's last complete write.
inline DirtyHive NewFormatLogs(const std::vector<std::string>& states, const std::vector<int>& placement) {
  DirtyHive out{states.front(), {"", ""}};
  PutLe32(out.primary.data() + 4, 8);
  PutLe32(out.primary.data() + 8, 7);
  Resign(out.primary);
  for (std::size_t i = 1; i < states.size(); ++i) {
    const std::string& before = states[i - 1];
    const std::string& after = states[i];
    const std::vector<std::size_t> pages = ChangedPages(before, after, 4096);
    std::string entry(40 + 8 * pages.size(), '\0');
    entry.replace(0, 4, "HvLE");
    PutLe32(entry.data() + 12, static_cast<std::uint32_t>(6 + i));
    PutLe32(entry.data() + 16, static_cast<std::uint32_t>(after.size() - 4096));
    PutLe32(entry.data() + 20, static_cast<std::uint32_t>(pages.size()));
    for (std::size_t p = 0; p < pages.size(); ++p) {
      PutLe32(entry.data() + 40 + 8 * p, static_cast<std::uint32_t>(pages[p]));
      PutLe32(entry.data() + 44 + 8 * p, 4096);
      entry += after.substr(4096 + pages[p], 4096);
    }
    entry.resize((entry.size() + 511) / 512 * 512, '\0');
    PutLe32(entry.data() + 4, static_cast<std::uint32_t>(entry.size()));
    PutLe64(entry.data() + 24, Marvin32(std::string_view(entry).substr(40), kHiveLogSeed));
    PutLe64(entry.data() + 32, Marvin32(std::string_view(entry).substr(0, 32), kHiveLogSeed));
    std::string& log = out.logs[static_cast<std::size_t>(placement[i - 1])];
    if (log.empty()) {
      // Its copy of the base block, numbered as its first entry.
      log = states.front().substr(0, 512);
      PutLe32(log.data() + 4, static_cast<std::uint32_t>(6 + i));
      PutLe32(log.data() + 8, static_cast<std::uint32_t>(6 + i));
      PutLe32(log.data() + 28, 6);
      Resign(log);
    }
    log += entry;
  }
  return out;
}

// The older format: the changes from `before` to `after` in one log's dirty
// vector and its pages, written with the file (their times of writing alike).
inline DirtyHive OldFormatLog(const std::string& before, const std::string& after) {
  DirtyHive out{before, {}};
  PutLe32(out.primary.data() + 4, 8);
  PutLe32(out.primary.data() + 8, 7);
  Resign(out.primary);
  std::string log = before.substr(0, 512);
  PutLe32(log.data() + 4, 7);
  PutLe32(log.data() + 8, 7);
  PutLe32(log.data() + 28, 1);
  PutLe32(log.data() + 40, static_cast<std::uint32_t>(after.size() - 4096));
  Resign(log);
  const std::vector<std::size_t> pages = ChangedPages(before, after, 512);
  std::string vector = "DIRT" + std::string((after.size() - 4096) / 512 / 8, '\0');
  for (std::size_t page : pages) vector[4 + page / 512 / 8] = static_cast<char>(vector[4 + page / 512 / 8] | 1 << (page / 512 % 8));
  vector.resize((vector.size() + 511) / 512 * 512, '\0');
  log += vector;
  for (std::size_t page : pages) log += after.substr(4096 + page, 512);
  out.logs.push_back(log);
  return out;
}

}  // namespace taloveric::testing
