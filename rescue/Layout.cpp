#include "rescue/Layout.h"

#include <algorithm>

#include "platform/HiveFile.h"
#include "platform/Unicode.h"

namespace taloveric {

bool NameIs(const std::filesystem::path& path, std::string_view name) {
  return AsciiLower(path.filename().string()) == name;
}

namespace {

// A path of the tree joined to a name in it.
std::string TreePath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// The folder at `names` (lower case) below `folder`, matched without regard
// to case, if there is one.
std::optional<std::string> FolderAt(FileTree& tree, std::string folder, std::initializer_list<std::string_view> names,
                                    std::string* problem = nullptr) {
  for (std::string_view name : names) {
    const FileTree::Entry* next = tree.Find(folder, name, problem);
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
    const FileTree::Entry* next = tree.Find(at, name, problem);
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

// Windows 95, 98 or Me in `windows`: with its live SYSTEM.DAT when `live`,
// else with only the backups it keeps in its own folder.
std::optional<Installation> Windows9x(FileTree& tree, const std::string& windows, bool live, std::string& unreadable) {
  Installation found;
  const auto system = FileAt(tree, windows, {"system.dat"}, &unreadable);
  if (system.has_value() != live) return std::nullopt;
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

// Windows NT in `windows`: with its live SOFTWARE when `live`, else a folder
// that is Windows' by its own structure (System32\config, or the repair
// copy in it) whose SOFTWARE is gone. A restore point is a backup of the
// installation found, never what makes a folder one. `root` is the disk's
// root, where XP keeps its restore points and its profiles; nullopt when the
// tree holds nothing above the Windows folder.
std::optional<Installation> WindowsNt(FileTree& tree, const std::string& windows,
                                      const std::optional<std::string>& root, bool live, std::string& unreadable) {
  Installation found;
  found.nt = true;
  const auto software = FileAt(tree, windows, {"system32", "config", "software"}, &unreadable);
  if (software.has_value() != live) return std::nullopt;
  const auto repair = FileAt(tree, windows, {"repair", "software"});
  if (!live && !repair && !FolderAt(tree, windows, {"system32", "config"})) return std::nullopt;
  if (const auto point = root ? NewestRestorePoint(tree, *root) : std::nullopt) found.machineBackups.push_back(*point);
  if (repair) found.machineBackups.push_back(*repair);
  if (!software && found.machineBackups.empty()) return std::nullopt;
  found.machine = software.value_or("");
  if (!software) found.expectedMachine = TreePath(windows, "System32/config/SOFTWARE");
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

bool IsWindowsFolder(FileTree& tree, const std::string& folder) {
  return FileAt(tree, folder, {"system.dat"}) || FileAt(tree, folder, {"system.da0"}) ||
         FolderAt(tree, folder, {"system32", "config"}) || FileAt(tree, folder, {"repair", "software"});
}

std::optional<std::string> SamePath(FileTree& tree, const std::string& path) {
  std::string at;
  for (std::size_t from = 0; from <= path.size();) {
    const std::size_t slash = std::min(path.find('/', from), path.size());
    const bool last = slash == path.size();
    const FileTree::Entry* entry = tree.Find(at, AsciiLower(path.substr(from, slash - from)));
    if (entry == nullptr || entry->folder == last) return std::nullopt;
    at = TreePath(at, entry->name);
    from = slash + 1;
  }
  return tree.Stat(at) ? std::optional(at) : std::nullopt;
}

std::vector<std::string> TransactionLogs(FileTree& tree, const std::string& hive) {
  const std::string folder = Parent(hive);
  const std::string name = AsciiLower(folder.empty() ? hive : hive.substr(folder.size() + 1));
  std::vector<std::string> out;
  for (const char* log : {".log1", ".log2", ".log"}) {
    const FileTree::Entry* entry = tree.Find(folder, name + log);
    if (entry != nullptr && !entry->folder) out.push_back(TreePath(folder, entry->name));
  }
  return out;
}

std::optional<std::string> PreviousInstallation(FileTree& tree, const std::string& root) {
  return FolderAt(tree, root, {"windows.old"});
}

Installation FindInstallation(FileTree& tree, const std::string& start, const std::string& named) {
  std::string unreadable;
  std::vector<std::string> candidates{start};
  for (const std::string& sub : SubFolders(tree, start, &unreadable)) candidates.push_back(TreePath(start, sub));
  // The Windows folder is the one that holds the live registry, however
  // the disk is named; only where none does is one whose live files are
  // gone read from the backups in it.
  for (const bool live : {true, false}) {
    for (const std::string& windows : candidates) {
      if (auto found = Windows9x(tree, windows, live, unreadable)) return *found;
      std::optional<std::string> root = start;
      if (windows == start) root = start.empty() ? std::nullopt : std::optional(Parent(start));
      if (auto found = WindowsNt(tree, windows, root, live, unreadable)) return *found;
    }
  }
  throw SourceError(named + ": no Windows registry here (looked for SYSTEM.DAT and System32\\config\\SOFTWARE in it "
                            "and in its folders)" + (unreadable.empty() ? "" : "; could not read " + unreadable));
}

}  // namespace taloveric
