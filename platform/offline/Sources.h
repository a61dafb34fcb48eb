#pragma once
// Turns what the user names (.reg exports, registry files of a Windows
// installation, or the installation's folder) into one registry.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/offline/HiveFile.h"

namespace taloveric {

enum class FileKind { RegExport, Win9xRegistry, NtHive };

// Tells a file's kind by its first bytes; throws SourceError for any other file.
FileKind DetectKind(const std::filesystem::path& file);

// The registry files found in the folder of a Windows installation.
struct Installation {
  bool nt = false;
  std::filesystem::path machine;      // SYSTEM.DAT or SOFTWARE
  std::filesystem::path defaultUser;  // Windows 9x: the Windows folder's USER.DAT
  std::vector<std::pair<std::string, std::filesystem::path>> profiles;  // name, USER.DAT or NTUSER.DAT
};

// Looks in `folder` (a disk's root or its Windows folder), matching names
// without regard to case; throws SourceError when it holds no registry.
Installation FindInstallation(const std::filesystem::path& folder);

// Asked to pick one of several user profiles; nullopt when nobody can answer.
using ProfileChooser = std::function<std::optional<std::string>(const std::vector<std::string>& names)>;

struct OpenedSources {
  std::unique_ptr<Registry> registry;
  std::vector<std::string> notes;  // what the user should know about the sources
  // What could not be read from damaged files; call once the collection is done.
  std::function<std::vector<std::string>()> problems;
};

// Opens the sources read-only. With none, nothing is opened: the caller decides.
// Throws SourceError (or RegFileError) naming the file and what is wrong.
OpenedSources OpenSources(const std::vector<std::filesystem::path>& sources, const std::optional<std::string>& user,
                          const ProfileChooser& choose);

}  // namespace taloveric
