#pragma once
// A Windows NT, 2000 or XP registry hive (SOFTWARE or NTUSER.DAT), read with hivex.

#include <filesystem>
#include <memory>

#include "platform/HiveFile.h"

namespace taloveric {

// Opens `file` read-only; throws SourceError naming it when it is not a
// readable NT registry hive.
std::shared_ptr<HiveFile> OpenNtHiveFile(const std::filesystem::path& file);

}  // namespace taloveric
