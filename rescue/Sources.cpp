#include "rescue/Sources.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>

#include "collect/ReadReg.h"
#include "platform/Unicode.h"
#include "platform/memory/RegFile.h"
#include "platform/offline/Cabinet.h"
#include "platform/offline/CregFile.h"
#include "platform/offline/DiskImage.h"
#include "platform/offline/FileKinds.h"
#include "platform/offline/NtHiveFile.h"
#include "platform/posix/FileIdentity.h"
#include "platform/posix/HostTree.h"
#include "platform/posix/RegularFile.h"
#include "rescue/Layout.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

bool NameIs(const fs::path& path, std::string_view name) { return AsciiLower(path.filename().string()) == name; }

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

// A folder as an absolute path without "." or a trailing separator, so that
// its parent is the folder above it however the user named it.
fs::path Normal(const fs::path& folder) {
  std::error_code ec;
  fs::path out = fs::absolute(folder, ec).lexically_normal();
  if (ec) out = folder.lexically_normal();
  if (!out.has_filename() && out.has_relative_path()) out = out.parent_path();
  return out;
}

// The Windows folder that `folder` lies in when it is System32 or its config
// folder, however their names are cased; `folder` itself otherwise.
fs::path InstallationFolder(const fs::path& folder) {
  fs::path at = folder;
  if (NameIs(at, "config") && NameIs(at.parent_path(), "system32")) at = at.parent_path();
  if (NameIs(at, "system32") && at.parent_path().has_relative_path()) at = at.parent_path();
  return at;
}

// Which part of the registry a file holds.
enum class Role { Machine, User, System };

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

Role RoleByKeys(const fs::path& file, Kind kind, HiveFile& hive) {
  if (kind == Kind::Win9xRegistry) {
    if (OwnKey(hive, hive.Root(), ".DEFAULT")) return Role::User;
    if (OwnKey(hive, hive.Root(), "Enum") || OwnKey(hive, hive.Root(), "Config")) return Role::Machine;
    throw SourceError(file.string() + ": cannot tell whether this is SYSTEM.DAT or USER.DAT; name it so");
  }
  if (OwnKey(hive, hive.Root(), "Select")) return Role::System;
  if (OwnKey(hive, hive.Root(), "Microsoft") && !OwnKey(hive, hive.Root(), "Control Panel")) return Role::Machine;
  if (OwnKey(hive, hive.Root(), "Software") && OwnKey(hive, hive.Root(), "Control Panel")) return Role::User;
  throw SourceError(file.string() + ": an NT hive that is neither SOFTWARE nor NTUSER.DAT");
}

// Whether a registry holds NT's build number, which only the NT family writes
// (Windows Me has NT's key, but empty).
bool HasNtBuild(Registry& registry) {
  ScopedRegKey key(registry);
  return key.Open(kHkeyLocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion") == kErrorSuccess &&
         !ReadValueText(registry, key.get(), "CurrentBuildNumber").empty();
}

// A registry file of the family `kind` from its bytes; `shown` names it.
std::shared_ptr<HiveFile> OpenHive(Kind kind, MemoryFile bytes, const std::string& shown) {
  return kind == Kind::Win9xRegistry ? OpenCregFile(std::move(bytes), shown) : OpenNtHiveFile(std::move(bytes), shown);
}

// The user files of an installation's profiles, each opened once (or why it
// cannot be), by their path in the tree.
using OpenedProfiles = std::map<std::string, std::pair<std::shared_ptr<HiveFile>, std::string>>;

// Builds the one registry the sources make: .reg exports into a tree in
// memory, registry files mounted where Windows keeps them.
class Builder {
 public:
  // `given`: the code page the user says the installation used (--codepage).
  explicit Builder(std::optional<CodePage> given) : given_(std::move(given)) {}

  void AddExport(const fs::path& file) {
    unicodeExport_ = LoadRegFile(file, Memory(), given_.value_or(CodePage())) || unicodeExport_;
    files_.push_back(file.string());
    sourceFiles_.push_back({file.string(), {}, "", ""});
  }
  void AddExportText(std::string_view text, std::string_view name) {
    unicodeExport_ = LoadRegText(text, name, Memory(), given_.value_or(CodePage())) || unicodeExport_;
  }

  // The code page the installation's text is in: the one given, else the
  // one its registry names once its machine's files are added, else 1252.
  // Chosen once, when first asked.
  const CodePage& Ansi() {
    if (ansi_) return *ansi_;
    named_ = ReadAnsiCodePage(Mounted());
    if (given_) return ansi_.emplace(*given_);
    if (!named_) return ansi_.emplace();
    try {
      ansi_.emplace(*named_);
      if (*named_ != CodePage().Number()) {
        codePageNotes_.push_back("the installation's code page is " + std::to_string(*named_));
      }
    } catch (const std::invalid_argument& error) {
      warnings_.push_back(std::string(error.what()) + "; Windows-1252 stands for it");
      ansi_.emplace();
    }
    return *ansi_;
  }

  // A registry file, opened by `open` (read where it lies, once):
  // `shown` is how the user knows it and `where` how the files read list it;
  // `role` is known for the files found in a Windows folder.
  // Returns false when a user's or SYSTEM file could not be read, which is
  // then a warning: the machine's values do not depend on it.
  bool AddHive(const std::function<std::shared_ptr<HiveFile>()>& open, const std::string& shown, Place where,
               Kind kind, std::optional<Role> role = std::nullopt) {
    if (family_ && *family_ != kind) {
      throw SourceError(shown + ": Windows 95/98/Me files and NT hives cannot be read together");
    }
    family_ = kind;
    const fs::path file = shown;
    if (!role) role = RoleByName(file, kind);
    files_.push_back(shown);
    sourceFiles_.push_back(std::move(where));
    std::shared_ptr<HiveFile> hive;
    try {
      hive = open();
      for (const std::string& caveat : hive->Caveats()) warnings_.push_back(shown + ": " + caveat);
      for (std::string& note : hive->Notes()) notes_.push_back(std::move(note));
    } catch (const SourceError& error) {
      if (role != Role::User && role != Role::System) throw;
      // The machine's values, the product key among them, do not depend on it.
      warnings_.push_back(std::string(error.what()) + (role == Role::User ? "; the report's e-mail line is left empty"
                                                                          : "; its code page is not known"));
      seen_[*role] = file;
      lastRole_ = *role;
      return false;
    }
    if (!role) role = RoleByKeys(file, kind, *hive);
    if (const auto other = seen_.find(*role); other != seen_.end()) {
      throw SourceError(file.string() + ": " + other->second.string() + " already holds the same part of the registry");
    }
    seen_[*role] = file;
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
    } else {
      registry.Mount(kHkeyCurrentUser, "", hive, hive->Root());
    }
    return true;
  }

  void Warn(std::string warning) { warnings_.push_back(std::move(warning)); }
  void Backup(BackupRead backup, std::string warning) {
    backups_.push_back(std::move(backup));
    Warn(std::move(warning));
  }
  // Takes back the last warning, and the part of the registry it left unread.
  std::string TakeLastWarning() {
    std::string last = std::move(warnings_.back());
    warnings_.pop_back();
    seen_.erase(lastRole_);
    files_.pop_back();
    sourceFiles_.pop_back();
    return last;
  }

  OpenedSources Finish(std::vector<std::string> notes) {
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
    return opened;
  }

 private:
  MemoryRegistry& Memory() {
    if (memory_ == nullptr) {
      auto memory = std::make_unique<MemoryRegistry>();
      memory_ = memory.get();
      registry_ = std::move(memory);
    }
    return *memory_;
  }
  // The SYSTEM hive's current control set, where Windows NT has it.
  static void MountControlSet(MountedRegistry& registry, HiveFile& hive) {
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

  MountedRegistry& Mounted() {
    if (!registry_) registry_ = std::make_unique<MountedRegistry>();
    return *registry_;
  }

  std::optional<CodePage> given_, ansi_;
  std::optional<unsigned> named_;  // what the registry says
  std::vector<std::string> codePageNotes_, notes_;
  std::unique_ptr<MountedRegistry> registry_;
  MemoryRegistry* memory_ = nullptr;
  std::optional<Kind> family_;
  bool unicodeExport_ = false;
  std::vector<BackupRead> backups_;
  std::map<Role, fs::path> seen_;
  std::vector<std::string> warnings_;
  std::vector<std::string> files_;
  Role lastRole_ = Role::User;
  std::vector<Place> sourceFiles_;
};

// A moment as a backup's date is given, in `format` (UTC); empty when not known.
std::string Written(const std::optional<std::time_t>& when, const char* format) {
  if (!when) return "";
  std::tm utc{};
  char text[32] = {};
  if (::gmtime_r(&*when, &utc) == nullptr || std::strftime(text, sizeof text, format, &utc) == 0) return "";
  return text;
}

constexpr std::uint64_t kLargestHive = kLargestRegistryFile;

// A registry file of a tree, read where it lies; an NT hive's logs beside it
// are read only when it needs them.
// `shown` names it where the user named it otherwise than the tree does.
std::shared_ptr<HiveFile> ReadHive(FileTree& tree, const std::string& file, Kind kind, std::string shown = "") {
  if (shown.empty()) shown = tree.Shown(file);
  if (kind == Kind::Win9xRegistry) return OpenCregFile(tree.ReadAll(file, kLargestHive), shown);
  return OpenNtHiveFile(tree.ReadAll(file, kLargestHive), shown, [&tree, file] {
    std::vector<HiveLogFile> logs;
    for (const std::string& log : TransactionLogs(tree, file)) {
      try {
        logs.push_back({tree.Shown(log), tree.ReadAll(log, kLargestHive), ""});
      } catch (const SourceError& error) {
        logs.push_back({tree.Shown(log), MemoryFile(), error.what()});
      }
    }
    return logs;
  });
}

// Where a file of a tree is, as the files read list it.
Place Where(FileTree& tree, const std::string& file) { return tree.PlaceOf(file);
}

// A file to read for one part of the registry: the live one or a backup.
struct Candidate {
  std::string file;       // its path in the tree, or the cabinet's
  std::string inCabinet;  // the name in that cabinet; empty for a file of its own
  Place place;            // where it is
  std::string name;       // how the user knows it
  std::optional<std::time_t> date;  // the backup's own
  std::optional<std::string> extracted;  // what was taken out of the cabinet, once taken out
};

// Reads the first of `candidates` that can be read (the live file first,
// then the backups Windows kept) and says which file the report comes from.
// A cabinet is opened only when every file before it failed.
void AddFirstReadable(Builder& builder, std::vector<std::string>& notes, FileTree& tree,
                      std::vector<Candidate>& candidates, bool liveFirst, Kind kind, Role role,
                      const OpenedProfiles& profiles = {}) {
  std::string why = liveFirst ? "" : "no live file beside it";
  std::string cabinetProblem;  // a cabinet that is there but cannot be read
  // Whether the candidate is there to be read: a cabinet that cannot be read
  // or lacks the file is no backup.
  const auto there = [&](Candidate& candidate) {
    if (candidate.inCabinet.empty() || candidate.extracted) return true;
    try {
      candidate.extracted = ExtractFromCabinet(tree.ReadAll(candidate.file, kLargestHive).view(), candidate.inCabinet,
                                               kLargestHive, tree.Shown(candidate.file));
    } catch (const SourceError& error) {
      cabinetProblem = error.what();
    }
    return candidate.extracted.has_value();
  };
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    Candidate& candidate = candidates[i];
    if (!there(candidate)) continue;
    const auto last = [&] {
      return std::none_of(candidates.begin() + static_cast<std::ptrdiff_t>(i) + 1, candidates.end(), there);
    };
    try {
      bool read = false;
      if (candidate.inCabinet.empty()) {
        const auto open = [&] {
          // A profile's file was opened already, to list its address.
          if (const auto known = profiles.find(candidate.file); known != profiles.end()) {
            if (!known->second.first) throw SourceError(known->second.second);
            return known->second.first;
          }
          return ReadHive(tree, candidate.file, kind);
        };
        read = builder.AddHive(open, candidate.name, Where(tree, candidate.file), kind, role);
      } else {
        read = builder.AddHive([&] { return OpenHive(kind, MemoryFile(*candidate.extracted, candidate.name), candidate.name); },
                               candidate.name, Where(tree, candidate.file).Member(candidate.inCabinet), kind, role);
      }
      if (!read && !last()) {
        why = builder.TakeLastWarning();  // a user file that could not be read
        continue;
      }
    } catch (const SourceError& error) {
      if (last()) throw;
      why = error.what();
      continue;
    }
    if (i == 0 && liveFirst) {
      notes.push_back("found " + candidate.name);
    } else {
      const std::string written = Written(candidate.date, "%Y-%m-%d %H:%M UTC");
      builder.Backup({candidate.place, candidate.name, Written(candidate.date, "%Y-%m-%dT%H:%M:%SZ"), why},
                     "read the backup " + candidate.name + ", written " +
                         (written.empty() ? "on an unknown date" : written) + " (" + why + ")");
    }
    return;
  }
  // Nothing could be read; what was wrong with the last that is there is said.
  if (!cabinetProblem.empty()) {
    if (role != Role::Machine) {
      builder.Warn(cabinetProblem + "; the report's e-mail line is left empty");
      return;
    }
    throw SourceError(cabinetProblem);
  }
}

// The live file, the backups Windows kept of it and, on Windows 98 and Me,
// the copy in the newest registry cabinet, in the order they are tried.
std::vector<Candidate> Candidates(FileTree& tree, const std::string& live,
                                  const std::vector<std::string>& backups, const std::optional<std::string>& cabinet,
                                  const std::string& name) {
  std::vector<Candidate> out;
  const auto add = [&](const std::string& file, const std::string& inCabinet) {
    const auto info = tree.Stat(file);
    const Place place = tree.PlaceOf(file).Member(inCabinet);
    out.push_back({file, inCabinet, place, Describe(place), info ? info->modified : std::nullopt, std::nullopt});
  };
  if (!live.empty()) add(live, "");
  for (const std::string& backup : backups) add(backup, "");
  if (cabinet) add(*cabinet, name);
  return out;
}

// The first bytes of a file of the tree; fewer where it is shorter or cannot be read.
std::string HeadOf(FileTree& tree, const std::string& file, std::size_t count) {
  std::string head(count, '\0');
  const auto got = tree.ReadAt(file, 0, head.data(), count);
  head.resize(got.value_or(0));
  return head;
}

// Every profile of an installation with the address its report would show,
// each read on its own; one that cannot be read says why.
std::vector<ProfileFound> EveryProfile(FileTree& tree, const Installation& found, const CodePage& ansi,
                                       OpenedProfiles& opened) {
  std::vector<ProfileFound> out;
  for (const auto& [name, file] : found.profiles) {
    ProfileFound profile{name, tree.PlaceOf(file), tree.Shown(file), std::nullopt, ""};
    try {
      const auto hive = ReadHive(tree, file, found.nt ? Kind::NtHive : Kind::Win9xRegistry);
      MountedRegistry user;
      user.UseCodePage(ansi);
      user.Mount(kHkeyCurrentUser, "", hive, hive->Root());
      profile.email = DefaultMailAddress(user);
      opened[file] = {hive, ""};
    } catch (const SourceError& error) {
      profile.problem = error.what();
      opened[file] = {nullptr, error.what()};
    }
    out.push_back(std::move(profile));
  }
  return out;
}

// What says that the registry files hold less than Windows last knew: a
// hibernation file in use (hibernated, or shut down with fast start-up). A
// hive Windows did not finish writing says so of itself, when it is read.
void WarnOfHibernation(Builder& builder, FileTree& tree, const Installation& found) {
  if (!found.hibernationFile.empty()) {
    const std::string head = AsciiLower(HeadOf(tree, found.hibernationFile, 4));
    if (head == "hibr") {
      builder.Warn(tree.Shown(found.hibernationFile) +
                   ": Windows was hibernated or shut down with fast start-up, so changes made since it started "
                   "may be missing from the registry files");
    }
  }
}

// The files of an installation to read: the machine's, and the chosen user's
// (the only profile, the one named, or the one picked among several), or on
// Windows 9x without profiles the default user's.
void AddInstallation(Builder& builder, std::vector<std::string>& notes, std::vector<ProfileFound>& profiles,
                     FileTree& tree, const Installation& found, const std::string& named,
                     const std::optional<std::string>& user, const Chooser& choose) {
  const Kind kind = found.nt ? Kind::NtHive : Kind::Win9xRegistry;
  if (found.nt) WarnOfHibernation(builder, tree, found);
  auto machine = Candidates(tree, found.machine, found.machineBackups, found.cabinet, "SYSTEM.DAT");
  AddFirstReadable(builder, notes, tree, machine, !found.machine.empty(), kind, Role::Machine);
  if (!found.system.empty()) {
    builder.AddHive([&] { return ReadHive(tree, found.system, kind); },
                    tree.Shown(found.system), Where(tree, found.system), kind, Role::System);
  }
  std::vector<std::string> names;
  for (const auto& profile : found.profiles) names.push_back(profile.first);
  OpenedProfiles opened;
  profiles = EveryProfile(tree, found, builder.Ansi(), opened);
  std::optional<std::string> chosen = user;
  if (!chosen && names.size() == 1) chosen = names[0];
  std::string userFile = found.defaultUser, userBackup = found.defaultUserBackup;
  if (!chosen && names.size() > 1) {
    chosen = choose("Several people use this installation. Whose report?", names);
    if (!chosen) {
      // The machine's values, the product key among them, do not wait on it.
      builder.Warn(named + ": several user profiles (" + Join(names) +
                   ") and none picked: the e-mail line is left empty; pick one with --user NAME");
      return;
    }
  }
  if (chosen) {
    // The name as given; without regard to case only where that is not ambiguous.
    auto it = std::find_if(found.profiles.begin(), found.profiles.end(),
                           [&](const auto& profile) { return profile.first == *chosen; });
    if (it == found.profiles.end()) {
      const auto sameName = [&](const auto& profile) { return AsciiLower(profile.first) == AsciiLower(*chosen); };
      if (std::count_if(found.profiles.begin(), found.profiles.end(), sameName) > 1) {
        throw SourceError(named + ": several user profiles are named \"" + *chosen +
                          "\" but for case (there are: " + Join(names) + "); give the name exactly");
      }
      it = std::find_if(found.profiles.begin(), found.profiles.end(), sameName);
    }
    if (it == found.profiles.end()) {
      throw SourceError(named + ": no user profile \"" + *chosen + "\"" +
                        (names.empty() ? std::string(" (there are none)") : " (there are: " + Join(names) + ")"));
    }
    userFile = it->second;
    userBackup.clear();
  }
  const auto userCabinet = userBackup.empty() && userFile != found.defaultUser ? std::nullopt : found.cabinet;
  std::vector<std::string> userBackups;
  if (!userBackup.empty()) userBackups.push_back(userBackup);
  auto users = Candidates(tree, userFile, userBackups, userCabinet, "USER.DAT");
  if (!users.empty()) AddFirstReadable(builder, notes, tree, users, !userFile.empty(), kind, Role::User, opened);
}

// An installation on a disk image: its file system, where its files are,
// and how the user is told of it.
struct OnDisk {
  FileTree* tree;
  Installation installation;
  std::string place;
};

// Each file system of `disk` that holds a Windows registry, in the disk's
// order, and after each the installation an upgrade left in Windows.old.
// Throws SourceError when there is none, naming BitLocker where it is why.
std::vector<OnDisk> InstallationsOn(const DiskImage& disk, const fs::path& source, std::vector<std::string>& notes) {
  std::vector<OnDisk> found;
  for (const auto& tree : disk.FileSystems()) {
    try {
      found.push_back({tree.get(), FindInstallation(*tree, "", source.string()), DescribeLayers(tree->PlaceOf("").layers)});
    } catch (const SourceError&) {
      // no Windows here
    }
    if (const auto previous = PreviousInstallation(*tree, "")) {
      try {
        found.push_back({tree.get(), FindInstallation(*tree, *previous, source.string()),
                         DescribeLayers(tree->PlaceOf("").layers) + ", the previous installation in " + *previous});
      } catch (const SourceError&) {
        // an upgrade's leftovers without a registry
      }
    }
  }
  std::string encrypted;
  for (const std::string& where : disk.Encrypted()) encrypted += (encrypted.empty() ? "" : ", ") + where;
  if (found.empty() && !encrypted.empty()) {
    throw SourceError(source.string() + ": " + encrypted + " is encrypted with BitLocker and cannot be read "
                      "until it is unlocked: unlock it with its recovery key (for example: sudo cryptsetup open "
                      "--type bitlk /dev/sdXN windows, or on an image through a loop device: sudo losetup -r -P "
                      "-f --show DISK) and give the unlocked device (/dev/mapper/windows)");
  }
  if (found.empty()) {
    throw SourceError(source.string() + ": no Windows registry on this disk (looked on every partition for "
                                        "SYSTEM.DAT and System32\\config\\SOFTWARE)");
  }
  if (!encrypted.empty()) {
    notes.push_back(source.string() + ": " + encrypted + " is encrypted with BitLocker and was not read");
  }
  return found;
}

}  // namespace

void ForEachInstallation(const fs::path& source, const std::function<void(unsigned, const OpenOne&)>& each) {
  const DiskImageHandle disk = OpenDiskImage(source);
  std::vector<std::string> notes;
  const std::vector<OnDisk> found = InstallationsOn(*disk, source, notes);
  const auto nobody = [](const std::string&, const std::vector<std::string>&) { return std::optional<std::string>(); };
  for (std::size_t i = 0; i < found.size(); ++i) {
    each(static_cast<unsigned>(i + 1), [&](const std::optional<CodePage>& given) {
      Builder builder(given);
      std::vector<std::string> own = notes;
      std::vector<ProfileFound> profiles;
      AddInstallation(builder, own, profiles, *found[i].tree, found[i].installation,
                      source.string() + ", " + found[i].place, std::nullopt, nobody);
      OpenedSources opened = builder.Finish(std::move(own));
      opened.installations = static_cast<unsigned>(found.size());
      opened.profiles = std::move(profiles);
      return opened;
    });
  }
}

std::optional<unsigned> ReadAnsiCodePage(Registry& registry) {
  ScopedRegKey key(registry);
  if (key.Open(kHkeyLocalMachine, "System\\CurrentControlSet\\Control\\Nls\\CodePage") != kErrorSuccess) {
    return std::nullopt;
  }
  const auto number = WholeNumber(ReadValueText(registry, key.get(), "ACP"), 5);
  if (!number) return std::nullopt;
  return static_cast<unsigned>(*number);
}


std::optional<fs::path> SourceWrittenOnto(const std::vector<fs::path>& sources, const fs::path& target) {
  for (const fs::path& source : sources) {
    const auto id = IdOf(source);
    if (id && IsWithin(target, *id)) return source;
  }
  return std::nullopt;
}

std::vector<std::string> OpenedSources::AllWarnings() const {
  std::vector<std::string> all = warnings;
  if (registry) all.insert(all.end(), registry->Problems().begin(), registry->Problems().end());
  return all;
}

Kind DetectKind(const fs::path& file) {
  // A disk or partition itself is read as an image is, read-only.
  struct stat info {};
  if (::stat(file.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
    if (::access(file.c_str(), R_OK) != 0) {
      throw SourceError(file.string() + ": cannot be opened for reading: " + std::strerror(errno) +
                        " (reading a disk needs read permission on it: root, or the disk group)");
    }
    return Kind::RawDisk;
  }
  const Kind kind = KindOf(ReadHead(file, kKindBytes), file.filename().string());
  if (const std::string what = NotReadBecause(kind); !what.empty()) throw SourceError(file.string() + ": " + what);
  if (kind == Kind::Unknown) {
    throw SourceError(file.string() + ": neither a .reg export nor a Windows registry file nor a disk image");
  }
  return kind;
}

OpenedSources OpenSources(const std::vector<fs::path>& sources, const std::optional<std::string>& user,
                          const Chooser& choose, std::optional<unsigned> install,
                          const std::optional<CodePage>& given) {
  Builder builder(given);
  std::vector<std::string> notes;
  std::optional<fs::path> firstExport, firstHive;
  std::optional<FirmwareKey> firmware;
  std::string firmwareFile;
  std::vector<ProfileFound> profiles;
  bool folder = false, image = false;
  unsigned installations = 1;
  const auto addInstallation = [&](FileTree& tree, const Installation& found, const std::string& named) {
    AddInstallation(builder, notes, profiles, tree, found, named, user, choose);
  };
  for (const fs::path& source : sources) {
    std::error_code ec;
    if (fs::is_directory(source, ec)) {
      if (sources.size() > 1) throw SourceError(source.string() + ": a Windows folder must be the only source");
      folder = true;
      // Read from the folder above it, where an NT installation keeps its
      // profiles and restore points beside its Windows folder. A folder one
      // or two levels inside the Windows folder (System32, System32\config)
      // is read as the installation it belongs to.
      const fs::path at = InstallationFolder(Normal(source));
      const bool top = !at.has_relative_path();
      HostTree tree(top ? at : at.parent_path());
      const std::string start = top ? "" : at.filename().string();
      addInstallation(tree, FindInstallation(tree, start, source.string()), source.string());
      if (const auto previous = PreviousInstallation(tree, start)) {
        notes.push_back("an earlier installation is kept in " + tree.Shown(*previous) + "; name that folder to read it");
      }
      continue;
    }
    const Kind kind = DetectKind(source);
    if (IsDisk(kind)) {
      if (sources.size() > 1) throw SourceError(source.string() + ": a disk image must be the only source");
      folder = image = true;
      const DiskImageHandle disk = OpenDiskImage(source);
      const std::vector<OnDisk> found = InstallationsOn(*disk, source, notes);
      std::string list;
      std::vector<std::string> places;
      for (std::size_t i = 0; i < found.size(); ++i) {
        list += (i ? "; " : "") + std::to_string(i + 1) + ". " + found[i].place;
        places.push_back(found[i].place);
      }
      if (!install && found.size() > 1) {
        const auto picked = choose("There are several Windows installations on this disk. Which one?", places);
        if (picked) {
          install = static_cast<unsigned>(std::find(places.begin(), places.end(), *picked) - places.begin() + 1);
        } else {
          builder.Warn(source.string() + ": several Windows installations (" + list +
                       ") and none picked: the first is read; pick one with --install N");
        }
      }
      installations = static_cast<unsigned>(found.size());
      const unsigned pick = install.value_or(1);
      if (pick < 1 || pick > found.size()) {
        throw SourceError(source.string() + ": no installation " + std::to_string(pick) + " (there are: " + list + ")");
      }
      const OnDisk& picked = found[pick - 1];
      addInstallation(*picked.tree, picked.installation, source.string() + ", " + picked.place);
      continue;
    }
    if (kind == Kind::FirmwareTable) {
      if (firmware) throw SourceError(source.string() + ": a second firmware table; name one");
      // A table is a hundred bytes; far less than this.
      firmware = ReadMsdm(ReadRegularFile(source, 64u << 10, "an ACPI table"));
      firmwareFile = source.string();
      if (!firmware->problem.empty()) {
        builder.Warn(source.string() + ": an ACPI MSDM table that is not trusted: " + firmware->problem);
      } else {
        notes.push_back("found the firmware's OEM product key in " + source.string());
      }
      continue;
    }
    (kind == Kind::RegExport ? firstExport : firstHive).emplace(source);
    if (firstExport && firstHive) {
      throw SourceError(firstExport->string() + ": .reg exports and registry files cannot be read together");
    }
    if (kind == Kind::RegExport) {
      builder.AddExport(source);
    } else {
      builder.AddHive([&] {
                        // Read in the folder it is in, where its logs are.
                        HostTree beside(source.has_parent_path() ? source.parent_path() : fs::path("."));
                        return ReadHive(beside, source.filename().string(), kind, source.string());
                      },
                      source.string(), {source.string(), {}, "", ""}, kind);
    }
  }
  if (user && !folder) {
    throw SourceError("--user picks a profile in a Windows folder; name the folder rather than files");
  }
  if (install && !image) throw SourceError("--install picks an installation on a disk image; name the image");
  const bool firmwareAlone = firmware && sources.size() == 1;
  OpenedSources opened = builder.Finish(std::move(notes));
  opened.installations = installations;
  opened.firmware = std::move(firmware);
  opened.profiles = std::move(profiles);
  opened.firmwareFile = std::move(firmwareFile);
  if (firmwareAlone) opened.family = Family::WindowsNt;  // only Windows 8 and later are sold with such a key
  return opened;
}

OpenedSources OpenRegText(std::string_view text, std::string_view name, const std::optional<CodePage>& given) {
  Builder builder(given);
  builder.AddExportText(text, name);
  return builder.Finish({});
}

}  // namespace taloveric
