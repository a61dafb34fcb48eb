#pragma once
// A Windows NT, 2000 or XP registry hive (SOFTWARE or NTUSER.DAT), read with hivex.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/HiveFile.h"
#include "platform/posix/MemoryFile.h"

namespace taloveric {

// A transaction log beside a hive, as read.
struct HiveLogFile {
  std::string shown;  // as the user knows it
  MemoryFile bytes;
  std::string problem;  // why it could not be read; then it has no bytes
};
// Reads the logs beside a hive, asked for only when the hive needs them.
using HiveLogReader = std::function<std::vector<HiveLogFile>()>;

// Reads a hive from its bytes, in memory: nothing is opened by name that
// anyone could swap. A hive Windows did not finish writing has the changes
// its logs keep applied first, as Windows applies them when it loads it.
// `name` is how messages name it (the file as the user knows it); throws
// SourceError naming it when it is not a readable NT registry hive.
std::shared_ptr<HiveFile> OpenNtHiveFile(MemoryFile bytes, const std::string& name, const HiveLogReader& logs = {});

}  // namespace taloveric
