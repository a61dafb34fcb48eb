#pragma once
// A Windows 95/98/Me registry file (SYSTEM.DAT or USER.DAT), read with libcreg.

#include <filesystem>
#include <memory>

#include "platform/HiveFile.h"

namespace taloveric {

// Opens `file` read-only; throws SourceError naming it when it is not a
// readable Windows 9x registry file.
std::shared_ptr<HiveFile> OpenCregFile(const std::filesystem::path& file);

}  // namespace taloveric
