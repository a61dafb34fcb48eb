#pragma once
// A Windows NT, 2000 or XP registry hive (SOFTWARE or NTUSER.DAT), read with hivex.

#include <string>
#include <memory>

#include "platform/HiveFile.h"
#include "platform/posix/MemoryFile.h"

namespace taloveric {

// Reads a hive from its bytes, in memory: nothing is opened by name that
// anyone could swap. `name` is how messages name it (the file as the user
// knows it); throws SourceError naming it when it is not a readable NT
// registry hive.
std::shared_ptr<HiveFile> OpenNtHiveFile(MemoryFile bytes, const std::string& name);

}  // namespace taloveric
