#pragma once
// A Windows 95/98/Me registry file (SYSTEM.DAT or USER.DAT), read with libcreg.

#include <string>
#include <memory>

#include "platform/HiveFile.h"
#include "platform/posix/MemoryFile.h"

namespace taloveric {

// Reads a registry file from its bytes, in memory: nothing is opened by
// name. `name` is how messages name it (the file as the user knows it);
// throws SourceError naming it when it is not a readable Windows 9x
// registry file.
std::shared_ptr<HiveFile> OpenCregFile(MemoryFile bytes, const std::string& name);

}  // namespace taloveric
