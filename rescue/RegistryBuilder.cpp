#include "rescue/RegistryBuilder.h"

#include <cstdio>
#include <stdexcept>

#include "collect/ReadReg.h"
#include "platform/Unicode.h"
#include "platform/memory/RegFile.h"
#include "rescue/Layout.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

std::optional<Role> RoleByName(const fs::path& file, Kind kind) {
  if (kind == Kind::Win9xRegistry) {
    if (NameIs(file, "system.dat")) return Role::Machine;
    if (NameIs(file, "user.dat")) return Role::User;
  } else {
    if (NameIs(file, "software")) return Role::Machine;
    if (NameIs(file, "ntuser.dat")) return Role::User;
    if (NameIs(file, "system")) return Role::System;
  }
  return std::nullopt;
}

// A key or value Windows names itself: its names are ASCII, alike in every
// code page.
std::optional<HiveFile::Node> OwnKey(HiveFile& hive, HiveFile::Node key, std::string_view name) {
  return hive.Child(key, name, CodePage());
}
std::optional<RegValue> OwnValue(HiveFile& hive, HiveFile::Node key, std::string_view name) {
  return hive.Value(key, name, CodePage());
}

// Whether the machine's file holds either key the report is read from.
bool HoldsWindowsKeys(HiveFile& hive, Kind kind) {
  const auto path = [&](std::initializer_list<std::string_view> names) {
    HiveFile::Node at = hive.Root();
    for (std::string_view name : names) {
      const auto child = OwnKey(hive, at, name);
      if (!child) return false;
      at = *child;
    }
    return true;
  };
  if (kind == Kind::Win9xRegistry) return path({"Software", "Microsoft", "Windows", "CurrentVersion"});
  return path({"Microsoft", "Windows", "CurrentVersion"}) || path({"Microsoft", "Windows NT", "CurrentVersion"});
}

Role RoleByKeys(const std::string& file, Kind kind, HiveFile& hive) {
  if (kind == Kind::Win9xRegistry) {
    if (OwnKey(hive, hive.Root(), ".DEFAULT")) return Role::User;
    if (OwnKey(hive, hive.Root(), "Enum") || OwnKey(hive, hive.Root(), "Config")) return Role::Machine;
    throw SourceError(file + ": cannot tell whether this is SYSTEM.DAT or USER.DAT; name it so");
  }
  if (OwnKey(hive, hive.Root(), "Select")) return Role::System;
  if (OwnKey(hive, hive.Root(), "Microsoft") && !OwnKey(hive, hive.Root(), "Control Panel")) return Role::Machine;
  if (OwnKey(hive, hive.Root(), "Software") && OwnKey(hive, hive.Root(), "Control Panel")) return Role::User;
  throw SourceError(file + ": an NT hive that is neither SOFTWARE nor NTUSER.DAT");
}

// Whether a registry holds NT's build number, which only the NT family writes
// (Windows Me has NT's key, but empty).
bool HasNtBuild(Registry& registry) {
  ScopedRegKey key(registry);
  return key.Open(kHkeyLocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion") == kErrorSuccess &&
         !ReadValueText(registry, key.get(), "CurrentBuildNumber").empty();
}

// The SYSTEM hive's current control set, where Windows NT has it.
void MountControlSet(MountedRegistry& registry, HiveFile& hive) {
  const auto select = OwnKey(hive, hive.Root(), "Select");
  const auto current = select ? OwnValue(hive, *select, "Current") : std::nullopt;
  if (!current || current->data.size() != 4) return;
  const unsigned number = static_cast<unsigned char>(current->data[0]);
  char name[16];
  std::snprintf(name, sizeof name, "ControlSet%03u", number);
  if (const auto set = OwnKey(hive, hive.Root(), name)) {
    registry.Mount(kHkeyLocalMachine, "System\\CurrentControlSet", hive.shared_from_this(), *set);
  }
}

}  // namespace

void RegistryBuilder::AddExport(const SourceFile& file) {
  const std::string name = file.Path().string();
  unicodeExport_ = LoadRegText(file.ReadText(kRegFileLimit, "a .reg export"), name, Memory(), given_.value_or(CodePage())) ||
                   unicodeExport_;
  files_.push_back(name);
  sourceFiles_.push_back({name, {}, "", ""});
  parts_["machine"] = parts_["system"] = {name, {}, "", ""};
}

void RegistryBuilder::AddExportText(std::string_view text, std::string_view name) {
  unicodeExport_ = LoadRegText(text, name, Memory(), given_.value_or(CodePage())) || unicodeExport_;
}

const CodePage& RegistryBuilder::Ansi() {
  if (ansi_) return *ansi_;
  named_ = ReadAnsiCodePage(Mounted());
  if (given_) return ansi_.emplace(*given_);
  if (!named_) return ansi_.emplace();
  try {
    ansi_.emplace(*named_);
    if (*named_ != CodePage().Number()) codePageNotes_.push_back("the installation's code page is " + std::to_string(*named_));
  } catch (const std::invalid_argument& error) {
    warnings_.push_back(std::string(error.what()) + "; Windows-1252 stands for it");
    ansi_.emplace();
  }
  return *ansi_;
}

void RegistryBuilder::SameFamily(Kind kind, const std::string& shown) {
  if (family_ && *family_ != kind) throw SourceError(shown + ": Windows 95/98/Me files and NT hives cannot be read together");
  family_ = kind;
}

void RegistryBuilder::Add(const std::shared_ptr<HiveFile>& hive, const std::string& shown, Place where, Kind kind,
                          std::optional<Role> role) {
  SameFamily(kind, shown);
  if (!role) role = RoleByName(shown, kind);
  if (!role) role = RoleByKeys(shown, kind, *hive);
  if (const auto other = seen_.find(*role); other != seen_.end()) {
    throw SourceError(shown + ": " + other->second + " already holds the same part of the registry");
  }
  seen_[*role] = shown;
  files_.push_back(shown);
  if (role != Role::User) parts_[role == Role::Machine ? "machine" : "system"] = where;
  sourceFiles_.push_back(std::move(where));
  for (const std::string& caveat : hive->Caveats()) warnings_.push_back(shown + ": " + caveat);
  if (role == Role::Machine && !HoldsWindowsKeys(*hive, kind)) {
    warnings_.push_back(shown + ": holds neither of the keys a report is read from (" +
                        (kind == Kind::Win9xRegistry ? "Software\\Microsoft\\Windows\\CurrentVersion), so it is no "
                                                       "Windows 95/98/Me SYSTEM.DAT"
                                                     : "Microsoft\\Windows\\CurrentVersion, Microsoft\\Windows "
                                                       "NT\\CurrentVersion), so it is no Windows SOFTWARE hive"));
  }
  for (std::string& note : hive->Notes()) notes_.push_back(std::move(note));
  MountedRegistry& registry = Mounted();
  if (kind == Kind::Win9xRegistry && role == Role::Machine) {
    registry.Mount(kHkeyLocalMachine, "", hive, hive->Root());
  } else if (kind == Kind::Win9xRegistry) {
    // Windows' own USER.DAT holds the default user under .DEFAULT; a
    // profile's USER.DAT is the user's tree itself.
    const auto defaultUser = OwnKey(*hive, hive->Root(), ".DEFAULT");
    registry.Mount(kHkeyCurrentUser, "", hive, defaultUser ? *defaultUser : hive->Root());
    if (defaultUser) registry.Mount(kHkeyUsers, "", hive, hive->Root());
  } else if (role == Role::Machine) {
    registry.Mount(kHkeyLocalMachine, "Software", hive, hive->Root());
  } else if (role == Role::System) {
    MountControlSet(registry, *hive);
    // The rest of it (Setup, where upgrades keep the Windows before them) where Windows has it.
    registry.Mount(kHkeyLocalMachine, "System", hive, hive->Root());
  } else {
    registry.Mount(kHkeyCurrentUser, "", hive, hive->Root());
  }
}

void RegistryBuilder::Unreadable(const SourceError& error, const std::string& shown, Place where, Kind kind, Role role) {
  if (role == Role::Machine) throw error;
  SameFamily(kind, shown);
  // The machine's values, the product key among them, do not depend on it.
  warnings_.push_back(std::string(error.what()) +
                      (role == Role::User ? "; the report's e-mail line is left empty" : "; its code page is not known"));
  seen_[role] = shown;
  files_.push_back(shown);
  sourceFiles_.push_back(std::move(where));
}

void RegistryBuilder::AddNamed(const std::function<std::shared_ptr<HiveFile>()>& open, const std::string& shown,
                               Place where, Kind kind) {
  std::shared_ptr<HiveFile> hive;
  try {
    hive = open();
  } catch (const SourceError& error) {
    Unreadable(error, shown, std::move(where), kind, RoleByName(shown, kind).value_or(Role::Machine));
    return;
  }
  Add(hive, shown, std::move(where), kind, std::nullopt);
}

void RegistryBuilder::Backup(BackupRead backup, std::string warning) {
  backups_.push_back(std::move(backup));
  Warn(std::move(warning));
}

OpenedSources RegistryBuilder::Finish(std::vector<std::string> notes) {
  if (family_) {
    const bool nt = family_ == Kind::NtHive;
    if (!seen_.count(Role::Machine)) {
      notes.push_back(std::string("no ") + (nt ? "SOFTWARE hive" : "SYSTEM.DAT") +
                      " among the sources: the Windows values cannot be read");
    }
    if (!seen_.count(Role::User) && warnings_.empty()) {
      notes.push_back(std::string("no ") + (nt ? "NTUSER.DAT" : "USER.DAT") +
                      " among the sources: the e-mail address cannot be read");
    }
  }
  const CodePage ansi = Ansi();
  notes.insert(notes.end(), notes_.begin(), notes_.end());
  notes.insert(notes.end(), codePageNotes_.begin(), codePageNotes_.end());
  OpenedSources opened;
  opened.registry = registry_ ? std::move(registry_) : std::make_unique<MountedRegistry>();
  opened.registry->UseCodePage(ansi);
  opened.codePage = named_;
  opened.family = family_ == Kind::NtHive || unicodeExport_ || (!family_ && HasNtBuild(*opened.registry))
                      ? Family::WindowsNt
                      : Family::Windows9x;
  opened.files = std::move(files_);
  opened.notes = std::move(notes);
  opened.warnings = std::move(warnings_);
  opened.backups = std::move(backups_);
  opened.sourceFiles = std::move(sourceFiles_);
  opened.parts = std::move(parts_);
  opened.previousKeys = std::move(previousKeys_);
  return opened;
}

MemoryRegistry& RegistryBuilder::Memory() {
  if (memory_ == nullptr) {
    auto memory = std::make_unique<MemoryRegistry>();
    memory_ = memory.get();
    registry_ = std::move(memory);
  }
  return *memory_;
}

MountedRegistry& RegistryBuilder::Mounted() {
  if (!registry_) registry_ = std::make_unique<MountedRegistry>();
  return *registry_;
}

}  // namespace taloveric
