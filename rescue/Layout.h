#pragma once
// Where a Windows installation keeps its registry, its users' and the backups
// of them, on whatever tree of files it is read from.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/FileTree.h"

namespace taloveric {

// Whether `path` names a file called `name` (lower case), in any case, as
// Windows' file systems match names.
bool NameIs(const std::filesystem::path& path, std::string_view name);

// The registry files of one Windows installation, as paths in its tree.
struct Installation {
  bool nt = false;
  std::string machine;  // SYSTEM.DAT or SOFTWARE; empty when only its backups are left
  std::string expectedMachine;  // NT: where SOFTWARE would be, when it is not there
  // What Windows kept of it, in the order they are tried when the live file is
  // missing or cannot be read: SYSTEM.DA0 (95, 98, Me); the newest restore
  // point's snapshot that has one, then repair\SOFTWARE (XP).
  std::vector<std::string> machineBackups;
  std::string defaultUser;        // Windows 9x: the Windows folder's USER.DAT
  std::string defaultUserBackup;  // and its USER.DA0
  // Windows 98 and Me: the newest SYSBCKUP\RB0nn.CAB by its own date, tried last.
  std::optional<std::string> cabinet;
  std::string system;  // NT: the SYSTEM hive, which names the code page
  // NT: hiberfil.sys at the disk's root, where Windows keeps what it was
  // running when it hibernated or shut down with fast start-up.
  std::string hibernationFile;
  // Name and USER.DAT or NTUSER.DAT; a profile whose folder cannot be read is
  // listed too, so that asking for it says why.
  std::vector<std::pair<std::string, std::string>> profiles;
  // Windows.old beside it, where an upgrade kept the installation before it;
  // empty when there is none, and for that installation itself.
  std::string previous;
};

// Looks in `start` (a disk's root or its Windows folder) and in its folders,
// matching names without regard to case; an NT installation's profiles are
// beside its Windows folder. Throws SourceError when there is no registry,
// saying what could not be read; `named` is how the user named `start`.
Installation FindInstallation(FileTree& tree, const std::string& start, const std::string& named);

// Whether `folder` is a Windows folder itself (it holds SYSTEM.DAT, its
// backups, or System32\config), whose installation is read from the folder
// above it too.
bool IsWindowsFolder(FileTree& tree, const std::string& folder);

// The regular file at `path` of another tree, its names matched without
// regard to case: the same file in an earlier copy of the tree.
std::optional<std::string> SamePath(FileTree& tree, const std::string& path);

// The transaction logs Windows keeps beside an NT hive (`hive`.LOG1,
// .LOG2 and .LOG, in any case), in the order they are read.
std::vector<std::string> TransactionLogs(FileTree& tree, const std::string& hive);

// The folder in which an upgrade of Windows Vista or later kept the
// installation before it (Windows.old, beside the Windows folder at `root`);
// nullopt when there is none.
std::optional<std::string> PreviousInstallation(FileTree& tree, const std::string& root);

}  // namespace taloveric
