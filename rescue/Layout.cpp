#include "rescue/Layout.h"

#include "platform/HiveFile.h"
#include "platform/Unicode.h"

namespace taloveric {
namespace {

// A path of the tree joined to a name in it.
std::string TreePath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// The entry of `folder` named `name` without regard to case, if there is one.
std::optional<FileTree::Entry> Find(FileTree& tree, const std::string& folder, std::string_view name,
                                    std::string* problem = nullptr) {
  for (FileTree::Entry& entry : tree.List(folder, problem)) {
    if (AsciiLower(entry.name) == name) return entry;
  }
  return std::nullopt;
}

// The folder at `names` below `folder`, if there is one.
std::optional<std::string> FolderAt(FileTree& tree, std::string folder, std::initializer_list<std::string_view> names,
                                    std::string* problem = nullptr) {
  for (std::string_view name : names) {
    const auto next = Find(tree, folder, name, problem);
    if (!next || !next->folder) return std::nullopt;
    folder = TreePath(folder, next->name);
  }
  return folder;
}

// The regular file at `names` below `folder` (the last is the file's), if there is one.
std::optional<std::string> FileAt(FileTree& tree, const std::string& folder,
                                  std::initializer_list<std::string_view> names, std::string* problem = nullptr) {
  std::string at = folder;
  std::size_t left = names.size();
  for (std::string_view name : names) {
    const auto next = Find(tree, at, name, problem);
    if (!next || next->folder != (--left > 0)) return std::nullopt;
    at = TreePath(at, next->name);
  }
  return tree.Stat(at) ? std::optional(at) : std::nullopt;
}

std::vector<std::string> SubFolders(FileTree& tree, const std::string& folder, std::string* problem = nullptr) {
  std::vector<std::string> out;
  for (const FileTree::Entry& entry : tree.List(folder, problem)) {
    if (entry.folder) out.push_back(entry.name);
  }
  return out;
}

// Profiles of Windows itself rather than of a person.
bool IsSystemProfile(const std::string& name) {
  for (const char* system : {"all users", "default", "default user", "public", "localservice", "networkservice"}) {
    if (AsciiLower(name) == system) return true;
  }
  return false;
}

void AddProfiles(FileTree& tree, Installation& found, const std::string& profiles, std::string_view hive) {
  for (const std::string& name : SubFolders(tree, profiles)) {
    if (IsSystemProfile(name)) continue;
    const std::string folder = TreePath(profiles, name);
    std::string unreadable;
    if (const auto file = FileAt(tree, folder, {hive}, &unreadable)) {
      found.profiles.emplace_back(name, *file);
    } else if (!unreadable.empty()) {
      // Listed all the same: reading it then says why it cannot be read.
      found.profiles.emplace_back(name, TreePath(folder, hive == "user.dat" ? "USER.DAT" : "NTUSER.DAT"));
    }
  }
}

// The newest cabinet in which Windows 98 and Me keep the registry of a good
// start (SYSBCKUP\RB0nn.CAB), by its own date: the numbers go round. Of two
// with the same date, the higher number.
std::optional<std::string> NewestRegistryCabinet(FileTree& tree, const std::string& windows) {
  const auto backups = FolderAt(tree, windows, {"sysbckup"});
  if (!backups) return std::nullopt;
  std::optional<std::string> newest;
  std::time_t newestTime = 0;
  for (const FileTree::Entry& entry : tree.List(*backups)) {
    const std::string name = AsciiLower(entry.name);
    if (entry.folder || name.size() != 9 || !name.starts_with("rb") || !name.ends_with(".cab")) continue;
    const std::string cabinet = TreePath(*backups, entry.name);
    const auto info = tree.Stat(cabinet);
    if (!info) continue;
    const std::time_t when = info->modified.value_or(0);
    if (!newest || when > newestTime || (when == newestTime && name > AsciiLower(*newest))) {
      newest = cabinet;
      newestTime = when;
    }
  }
  return newest;
}

// The SOFTWARE hive of the newest of XP's restore points that has one:
// System Volume Information\_restore{...}\RPnnn\snapshot\_REGISTRY_MACHINE_SOFTWARE.
std::optional<std::string> NewestRestorePoint(FileTree& tree, const std::string& root) {
  std::optional<std::string> newest;
  unsigned long newestNumber = 0;
  const auto volume = FolderAt(tree, root, {"system volume information"});
  if (!volume) return std::nullopt;
  for (const std::string& restore : SubFolders(tree, *volume)) {
    if (!AsciiLower(restore).starts_with("_restore")) continue;
    const std::string points = TreePath(*volume, restore);
    for (const std::string& point : SubFolders(tree, points)) {
      const std::string name = AsciiLower(point);
      const auto number = name.starts_with("rp") ? WholeNumber(name.substr(2)) : std::nullopt;
      if (!number || (newest && *number <= newestNumber)) continue;
      if (const auto snapshot = FileAt(tree, TreePath(points, point), {"snapshot", "_registry_machine_software"})) {
        newest = snapshot;
        newestNumber = *number;
      }
    }
  }
  return newest;
}

std::optional<Installation> Windows9x(FileTree& tree, const std::string& windows, std::string& unreadable) {
  Installation found;
  const auto system = FileAt(tree, windows, {"system.dat"}, &unreadable);
  const auto systemBackup = FileAt(tree, windows, {"system.da0"});
  found.cabinet = NewestRegistryCabinet(tree, windows);
  if (!system && !systemBackup && !found.cabinet) return std::nullopt;
  found.machine = system.value_or("");
  if (systemBackup) found.machineBackups.push_back(*systemBackup);
  found.defaultUser = FileAt(tree, windows, {"user.dat"}).value_or("");
  found.defaultUserBackup = FileAt(tree, windows, {"user.da0"}).value_or("");
  if (const auto profiles = FolderAt(tree, windows, {"profiles"})) AddProfiles(tree, found, *profiles, "user.dat");
  return found;
}

// `root` is the disk's root, where XP keeps its restore points and its profiles;
// nullopt when the tree holds nothing above the Windows folder.
std::optional<Installation> WindowsNt(FileTree& tree, const std::string& windows,
                                      const std::optional<std::string>& root, std::string& unreadable) {
  Installation found;
  found.nt = true;
  const auto software = FileAt(tree, windows, {"system32", "config", "software"}, &unreadable);
  if (const auto point = root ? NewestRestorePoint(tree, *root) : std::nullopt) found.machineBackups.push_back(*point);
  if (const auto repair = FileAt(tree, windows, {"repair", "software"})) found.machineBackups.push_back(*repair);
  if (!software && found.machineBackups.empty()) return std::nullopt;
  found.machine = software.value_or("");
  found.system = FileAt(tree, windows, {"system32", "config", "system"}).value_or("");
  if (root) found.hibernationFile = FileAt(tree, *root, {"hiberfil.sys"}).value_or("");
  for (std::string_view profiles : {"documents and settings", "users"}) {
    if (const auto at = root ? FolderAt(tree, *root, {profiles}) : std::nullopt) AddProfiles(tree, found, *at, "ntuser.dat");
  }
  return found;
}

// The folder above a path of the tree ("" above a top folder).
std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> PreviousInstallation(FileTree& tree, const std::string& root) {
  return FolderAt(tree, root, {"windows.old"});
}

Installation FindInstallation(FileTree& tree, const std::string& start, const std::string& named) {
  std::string unreadable;
  std::vector<std::string> candidates{start};
  for (const std::string& sub : SubFolders(tree, start, &unreadable)) candidates.push_back(TreePath(start, sub));
  for (const std::string& windows : candidates) {
    if (auto found = Windows9x(tree, windows, unreadable)) return *found;
    std::optional<std::string> root = start;
    if (windows == start) root = start.empty() ? std::nullopt : std::optional(Parent(start));
    if (auto found = WindowsNt(tree, windows, root, unreadable)) return *found;
  }
  throw SourceError(named + ": no Windows registry here (looked for SYSTEM.DAT and System32\\config\\SOFTWARE in it "
                            "and in its folders)" + (unreadable.empty() ? "" : "; could not read " + unreadable));
}

}  // namespace taloveric
