#pragma once

#include <string>

#include "collect/InstallInfo.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

namespace taloveric {

// The first three characters of the system folder's path (its drive's root), or
// all of it when it is shorter.
std::u16string SystemDriveRoot(const std::u16string& systemRootDir);

// Where the report's copy goes: the system drive's root, as `files` locates it.
std::u16string BackupPath(const std::u16string& systemRootDir, Files& files);

// Writes the report file in the program folder, copies it to the system drive's
// root and confirms both places, its text in `ansi`, the code page of the
// registry it was read from. A disk error asks the user once whether to
// retry; when the retry fails too, the user is told which file was not saved.
// A save never leaves a half-written file in place of an earlier one. Returns
// whether both files were written.
bool SaveReport(const InstallInfo& info, const CodePage& ansi, Files& files, Dialogs& dialogs);

}  // namespace taloveric
