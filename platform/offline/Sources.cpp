#include "platform/offline/Sources.h"

#include <algorithm>
#include <fstream>
#include <map>

#include "platform/memory/RegFile.h"
#include "platform/offline/CregFile.h"
#include "platform/offline/NtHiveFile.h"
#include "platform/offline/OfflineRegistry.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

bool NameIs(const fs::path& path, std::string_view name) { return Lower(path.filename().string()) == name; }

// The entry of `folder` named `name` without regard to case, if there is one.
std::optional<fs::path> Entry(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (NameIs(it->path(), name)) return it->path();
  }
  return std::nullopt;
}

std::optional<fs::path> FileAt(const fs::path& folder, std::initializer_list<std::string_view> names) {
  fs::path at = folder;
  for (std::string_view name : names) {
    const auto next = Entry(at, name);
    if (!next) return std::nullopt;
    at = *next;
  }
  std::error_code ec;
  return fs::is_regular_file(at, ec) ? std::optional(at) : std::nullopt;
}

std::vector<fs::path> SubFolders(const fs::path& folder) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code dirEc;
    if (it->is_directory(dirEc)) out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Profiles of Windows itself rather than of a person.
bool IsSystemProfile(const std::string& name) {
  static const char* const kSystem[] = {"all users", "default", "default user", "public", "localservice",
                                        "networkservice"};
  for (const char* system : kSystem) {
    if (Lower(name) == system) return true;
  }
  return false;
}

void AddProfiles(Installation& found, const fs::path& profilesFolder, std::string_view hiveName) {
  for (const fs::path& profile : SubFolders(profilesFolder)) {
    const std::string name = profile.filename().string();
    if (IsSystemProfile(name)) continue;
    if (const auto hive = FileAt(profile, {hiveName})) found.profiles.emplace_back(name, *hive);
  }
}

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

// Which part of the registry a file holds.
enum class Role { Machine, User };

Role RoleOf(const fs::path& file, FileKind kind, HiveFile& hive) {
  if (kind == FileKind::Win9xRegistry) {
    if (NameIs(file, "system.dat")) return Role::Machine;
    if (NameIs(file, "user.dat")) return Role::User;
    if (hive.Child(hive.Root(), ".DEFAULT")) return Role::User;
    if (hive.Child(hive.Root(), "Enum") || hive.Child(hive.Root(), "Config")) return Role::Machine;
    throw SourceError(file.string() + ": cannot tell whether this is SYSTEM.DAT or USER.DAT; name it so");
  }
  if (NameIs(file, "software")) return Role::Machine;
  if (NameIs(file, "ntuser.dat")) return Role::User;
  if (hive.Child(hive.Root(), "Microsoft") && !hive.Child(hive.Root(), "Control Panel")) return Role::Machine;
  if (hive.Child(hive.Root(), "Software") && hive.Child(hive.Root(), "Control Panel")) return Role::User;
  throw SourceError(file.string() + ": an NT hive that is neither SOFTWARE nor NTUSER.DAT");
}

OpenedSources OpenRegExports(const std::vector<fs::path>& files) {
  auto registry = std::make_unique<MemoryRegistry>();
  for (const fs::path& file : files) LoadRegFile(file, *registry);
  OpenedSources opened;
  opened.registry = std::move(registry);
  opened.problems = [] { return std::vector<std::string>(); };
  return opened;
}

OpenedSources OpenHives(const std::vector<std::pair<fs::path, FileKind>>& files) {
  auto registry = std::make_unique<OfflineRegistry>();
  OpenedSources opened;
  std::map<Role, fs::path> seen;
  std::optional<FileKind> family;
  for (const auto& [file, kind] : files) {
    if (family && *family != kind) {
      throw SourceError(file.string() + ": Windows 95/98/Me files and NT hives cannot be read together");
    }
    family = kind;
    const std::shared_ptr<HiveFile> hive = kind == FileKind::Win9xRegistry ? OpenCregFile(file) : OpenNtHiveFile(file);
    const Role role = RoleOf(file, kind, *hive);
    if (const auto other = seen.find(role); other != seen.end()) {
      throw SourceError(file.string() + ": " + other->second.string() + " already holds the same part of the registry");
    }
    seen[role] = file;
    if (kind == FileKind::Win9xRegistry && role == Role::Machine) {
      registry->Mount(kHkeyLocalMachine, "", hive, hive->Root());
    } else if (kind == FileKind::Win9xRegistry) {
      // Windows' own USER.DAT holds the default user under .DEFAULT; a
      // profile's USER.DAT is the user's tree itself.
      const auto defaultUser = hive->Child(hive->Root(), ".DEFAULT");
      registry->Mount(kHkeyCurrentUser, "", hive, defaultUser ? *defaultUser : hive->Root());
      if (defaultUser) registry->Mount(kHkeyUsers, "", hive, hive->Root());
    } else if (role == Role::Machine) {
      registry->Mount(kHkeyLocalMachine, "Software", hive, hive->Root());
    } else {
      registry->Mount(kHkeyCurrentUser, "", hive, hive->Root());
    }
  }
  if (!seen.count(Role::Machine)) {
    opened.notes.push_back(std::string("no ") + (family == FileKind::NtHive ? "SOFTWARE hive" : "SYSTEM.DAT") +
                           " among the sources: the Windows values cannot be read");
  }
  if (!seen.count(Role::User)) {
    opened.notes.push_back(std::string("no ") + (family == FileKind::NtHive ? "NTUSER.DAT" : "USER.DAT") +
                           " among the sources: the e-mail address cannot be read");
  }
  OfflineRegistry* offline = registry.get();
  opened.problems = [offline] { return offline->Problems(); };
  opened.registry = std::move(registry);
  return opened;
}

// The files of an installation to read: the machine's, and the chosen user's
// (the only profile, the one named, or the one picked among several), or on
// Windows 9x without profiles the default user's.
std::vector<fs::path> ChosenFiles(const fs::path& folder, const Installation& found,
                                  const std::optional<std::string>& user, const ProfileChooser& choose) {
  std::vector<fs::path> files{found.machine};
  std::vector<std::string> names;
  for (const auto& profile : found.profiles) names.push_back(profile.first);
  std::optional<std::string> chosen = user;
  if (!chosen && names.size() == 1) chosen = names[0];
  if (!chosen && names.size() > 1) {
    chosen = choose(names);
    if (!chosen) {
      throw SourceError(folder.string() + ": several user profiles (" + Join(names) + "); pick one with --user NAME");
    }
  }
  if (chosen) {
    const auto it = std::find_if(found.profiles.begin(), found.profiles.end(),
                                 [&](const auto& profile) { return Lower(profile.first) == Lower(*chosen); });
    if (it == found.profiles.end()) {
      throw SourceError(folder.string() + ": no user profile \"" + *chosen + "\"" +
                        (names.empty() ? std::string(" (there are none)") : " (there are: " + Join(names) + ")"));
    }
    files.push_back(it->second);
  } else if (!found.defaultUser.empty()) {
    files.push_back(found.defaultUser);
  }
  return files;
}

}  // namespace

FileKind DetectKind(const fs::path& file) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) throw SourceError(file.string() + ": is a folder");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SourceError(file.string() + ": cannot be opened for reading");
  char head[4] = {};
  in.read(head, sizeof head);
  const std::string_view magic(head, static_cast<std::size_t>(in.gcount()));
  if (magic == "CREG") return FileKind::Win9xRegistry;
  if (magic == "regf") return FileKind::NtHive;
  if (magic.starts_with("\xFF\xFE") || magic.starts_with("\xEF\xBB\xBF") || magic.starts_with("REGE") ||
      magic.starts_with("Wind") || Lower(file.extension().string()) == ".reg") {
    return FileKind::RegExport;
  }
  throw SourceError(file.string() + ": neither a .reg export nor a Windows registry file");
}

Installation FindInstallation(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw SourceError(folder.string() + ": is not a folder that can be read");
  std::vector<fs::path> candidates{folder};
  for (const fs::path& sub : SubFolders(folder)) candidates.push_back(sub);
  for (const fs::path& windows : candidates) {
    Installation found;
    if (const auto system = FileAt(windows, {"system.dat"})) {
      found.machine = *system;
      found.defaultUser = FileAt(windows, {"user.dat"}).value_or(fs::path());
      if (const auto profiles = Entry(windows, "profiles")) AddProfiles(found, *profiles, "user.dat");
      return found;
    }
    if (const auto software = FileAt(windows, {"system32", "config", "software"})) {
      found.nt = true;
      found.machine = *software;
      const fs::path root = windows == folder ? folder.parent_path() : folder;
      for (std::string_view profiles : {"documents and settings", "users"}) {
        if (const auto at = Entry(root, profiles)) AddProfiles(found, *at, "ntuser.dat");
      }
      return found;
    }
  }
  throw SourceError(folder.string() +
                    ": no Windows registry here (looked for SYSTEM.DAT and System32\\config\\SOFTWARE in it and "
                    "in its folders)");
}

OpenedSources OpenSources(const std::vector<fs::path>& sources, const std::optional<std::string>& user,
                          const ProfileChooser& choose) {
  std::vector<std::pair<fs::path, FileKind>> hives;
  std::vector<fs::path> exports;
  std::vector<std::string> notes;
  bool folder = false;
  for (const fs::path& source : sources) {
    std::error_code ec;
    if (!fs::is_directory(source, ec)) {
      const FileKind kind = DetectKind(source);
      if (kind == FileKind::RegExport) {
        exports.push_back(source);
      } else {
        hives.emplace_back(source, kind);
      }
      continue;
    }
    if (sources.size() > 1) throw SourceError(source.string() + ": a Windows folder must be the only source");
    folder = true;
    const Installation found = FindInstallation(source);
    for (const fs::path& file : ChosenFiles(source, found, user, choose)) {
      hives.emplace_back(file, found.nt ? FileKind::NtHive : FileKind::Win9xRegistry);
      notes.push_back("found " + file.string());
    }
  }
  if (!exports.empty() && !hives.empty()) {
    throw SourceError(exports.front().string() + ": .reg exports and registry files cannot be read together");
  }
  if (user && !folder) {
    throw SourceError("--user picks a profile in a Windows folder; name the folder rather than files");
  }
  OpenedSources opened = exports.empty() ? OpenHives(hives) : OpenRegExports(exports);
  opened.notes.insert(opened.notes.begin(), notes.begin(), notes.end());
  return opened;
}

}  // namespace taloveric
