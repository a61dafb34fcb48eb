#include "rescue/Installations.h"

#include "collect/ReadReg.h"
#include "platform/Unicode.h"
#include "rescue/Backups.h"
#include "rescue/ProductKeys.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
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
                                       OpenedFiles& opened) {
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
void WarnOfHibernation(RegistryBuilder& builder, FileTree& tree, const Installation& found) {
  if (found.hibernationFile.empty()) return;
  if (AsciiLower(HeadOf(tree, found.hibernationFile, 4)) == "hibr") {
    builder.Warn(tree.Shown(found.hibernationFile) +
                 ": Windows was hibernated or shut down with fast start-up, so changes made since it started "
                 "may be missing from the registry files");
  }
}

// The candidates for one file of an installation: the live `file` (or,
// where it is missing, the path it would have, `expected`), the same file in
// each of the tree's shadow copies, then `backups` and `cabinet`'s `member`.
CandidateStages Stages(FileTree& tree, const std::string& file, const std::string& expected,
                       const std::vector<std::string>& backups, const std::optional<std::string>& cabinet,
                       const std::string& member) {
  CandidateStages stages;
  if (!file.empty()) {
    stages.push_back([&tree, file](std::vector<std::string>&) { return std::vector<Candidate>{{&tree, file, ""}}; });
  }
  const std::string path = file.empty() ? expected : file;
  if (!path.empty()) {
    stages.push_back([&tree, path](std::vector<std::string>& problems) {
      std::vector<Candidate> out;
      for (FileTree* copy : tree.EarlierCopies(problems)) {
        if (const auto there = SamePath(*copy, path)) out.push_back({copy, *there, ""});
      }
      return out;
    });
  }
  stages.push_back([&tree, backups, cabinet, member](std::vector<std::string>&) {
    std::vector<Candidate> out;
    for (const std::string& backup : backups) out.push_back({&tree, backup, ""});
    if (cabinet) out.push_back({&tree, *cabinet, member});
    return out;
  });
  return stages;
}

// The keys of the installation an upgrade kept in `previous` (Windows.old),
// for the user to have the one the machine was bought with. What cannot be
// read of it is a note: it is not the installation asked for.
void ReadPreviousKeys(RegistryBuilder& builder, FileTree& tree, const std::string& previous,
                      const OpenedFiles& opened) {
  try {
    const Installation old = FindInstallation(tree, previous, tree.Shown(previous));
    if (!old.nt || old.machine.empty()) return;
    MountedRegistry registry;
    const auto known = opened.find(old.machine);
    if (known != opened.end() && !known->second.first) throw SourceError(known->second.second);
    const auto software = known != opened.end() ? known->second.first : ReadHive(tree, old.machine, Kind::NtHive);
    registry.Mount(kHkeyLocalMachine, "Software", software, software->Root());
    for (FoundKey key : ReadProductKeys(registry).keys) {
      key.belongsTo = "the previous installation in " + tree.Shown(previous) + ": " + key.belongsTo;
      key.place = tree.PlaceOf(old.machine);
      builder.PreviousKey(std::move(key));
    }
  } catch (const SourceError& error) {
    builder.Note(std::string(error.what()) + "; the previous installation's keys are not listed");
  }
}

// Opens the machine's file of `on` to name its Windows; what keeps it from
// being read is kept for when it is read for the report.
void Name(InstallationOn& on) {
  const Installation& found = on.installation;
  if (found.machine.empty()) return;
  try {
    const auto hive = ReadHive(*on.tree, found.machine, found.nt ? Kind::NtHive : Kind::Win9xRegistry);
    on.opened[found.machine] = {hive, ""};
    {
      MountedRegistry registry;
      registry.Mount(kHkeyLocalMachine, found.nt ? "Software" : "", hive, hive->Root());
      on.windows = WindowsOf(registry, found.nt ? Family::WindowsNt : Family::Windows9x);
    }
    // Every installation's file is kept while one is chosen: only its bytes.
    hive->Rest();
  } catch (const SourceError& error) {
    on.opened[found.machine] = {nullptr, error.what()};
  }
}

// " is an EFI system partition"; empty for nothing known.
std::string Is(const std::string& purpose) {
  if (purpose.empty()) return "";
  const bool vowel = std::string_view("AEIOU").find(purpose[0]) != std::string_view::npos;
  return std::string(vowel ? " is an " : " is a ") + purpose + " partition";
}

// What a disk holds where none of it is Windows: each volume as a person
// picks it, and what it is; and where the source is one partition of a
// disk, to give the whole disk.
std::string NoWindowsOn(const DiskImage& disk) {
  std::string what;
  const auto add = [&](const std::string& volume) { what += (what.empty() ? "" : "; ") + volume; };
  for (std::size_t i = 0; i < disk.FileSystems().size(); ++i) {
    FileTree& tree = *disk.FileSystems()[i];
    std::string purpose = i < disk.Purposes().size() ? disk.Purposes()[i] : "";
    // What it holds says it, where its type does not (a partition's copy).
    const FileTree::Entry* efi = tree.Find("", "efi");
    if (purpose.empty() && efi != nullptr && efi->folder) purpose = "EFI system";
    add(DescribeVolume(tree.PlaceOf("").layers.back()) + Is(purpose));
  }
  for (const DiskImage::Other& other : disk.Others()) {
    add(DescribeVolume(other.place.layers.back()) + (other.what.empty() ? " holds no file system read" : Is(other.what)));
  }
  std::string out = "no Windows registry on this disk (looked on every partition for SYSTEM.DAT and "
                    "System32\\config\\SOFTWARE" + (what.empty() ? std::string() : "; " + what) + ")";
  if (const auto& part = disk.PartitionOfDisk()) {
    out += "; it is partition " + std::to_string(part->number) + " of " + part->disk + Is(part->purpose) +
           ": give the whole disk, " + part->disk + ", for every partition on it to be looked at";
  }
  return out;
}

}  // namespace

std::string InstallationOn::Name() const {
  std::string name = windows.empty() ? "Windows (its registry does not say which)" : windows;
  if (!previous.empty()) name += ", the previous installation in " + previous;
  return volume.empty() ? name : name + " on " + volume;
}

void ReadInstallationFiles(RegistryBuilder& builder, std::vector<ProfileFound>& profiles, FileTree& tree,
                           const Installation& found, const std::string& named, const std::optional<std::string>& user,
                           const Chooser& choose, const OpenedFiles& already, bool userMayLack) {
  const Kind kind = found.nt ? Kind::NtHive : Kind::Win9xRegistry;
  if (found.nt) WarnOfHibernation(builder, tree, found);
  ReadFirstOf(builder, Stages(tree, found.machine, found.expectedMachine, found.machineBackups, found.cabinet,
                              "SYSTEM.DAT"),
              !found.machine.empty(), kind, Role::Machine, already);
  if (!found.system.empty()) {
    ReadFirstOf(builder, Stages(tree, found.system, "", {}, std::nullopt, ""), true, kind, Role::System);
  }
  std::vector<std::string> names;
  for (const auto& profile : found.profiles) names.push_back(profile.first);
  OpenedFiles opened = already;
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
    bool ambiguous = false;
    const auto at = FindName(names, *chosen, &ambiguous);
    if (ambiguous) {
      throw SourceError(named + ": several user profiles are named \"" + *chosen + "\" but for case (there are: " +
                        Join(names) + "); give the name exactly");
    }
    if (!at) {
      const std::string none = named + ": no user profile \"" + *chosen + "\"" +
                               (names.empty() ? std::string(" (there are none)") : " (there are: " + Join(names) + ")");
      if (!userMayLack) throw SourceError(none);
      builder.Warn(none + ": the e-mail line is left empty");
      if (!found.previous.empty()) ReadPreviousKeys(builder, tree, found.previous, opened);
      return;
    }
    userFile = found.profiles[*at].second;
    userBackup.clear();
  }
  if (!found.previous.empty()) ReadPreviousKeys(builder, tree, found.previous, opened);
  const auto userCabinet = userBackup.empty() && userFile != found.defaultUser ? std::nullopt : found.cabinet;
  std::vector<std::string> userBackups;
  if (!userBackup.empty()) userBackups.push_back(userBackup);
  if (userFile.empty() && userBackups.empty() && !userCabinet) return;
  ReadFirstOf(builder, Stages(tree, userFile, "", userBackups, userCabinet, "USER.DAT"), !userFile.empty(),
              kind, Role::User, opened);
}

std::vector<InstallationOn> InstallationsOn(const DiskImage& disk, const fs::path& source,
                                            std::vector<std::string>& notes, std::vector<std::string>& warnings) {
  std::vector<InstallationOn> found;
  for (const auto& tree : disk.FileSystems()) {
    const std::vector<Layer> layers = tree->PlaceOf("").layers;
    const std::string place = DescribeLayers(layers);
    const std::string volume = layers.empty() ? "" : DescribeVolume(layers.back());
    const auto previous = PreviousInstallation(*tree, "");
    InstallationOn* current = nullptr;
    try {
      found.push_back({tree.get(), FindInstallation(*tree, "", source.string()), place, volume, "", "", {}});
      current = &found.back();
      current->installation.previous = previous.value_or("");
      Name(*current);
    } catch (const SourceError&) {
      // no Windows here
    }
    if (previous) {
      try {
        InstallationOn old{tree.get(), FindInstallation(*tree, *previous, source.string()),
                           place + ", the previous installation in " + *previous, volume, "", *previous, {}};
        Name(old);
        // Its keys are listed with the installation that replaced it, from the same file.
        if (current != nullptr) current->opened.insert(old.opened.begin(), old.opened.end());
        found.push_back(std::move(old));
      } catch (const SourceError&) {
        // an upgrade's leftovers without a registry
      }
    }
  }
  std::string encrypted;
  for (const Place& where : disk.Encrypted()) encrypted += (encrypted.empty() ? "" : ", ") + DescribeLayers(where.layers);
  if (found.empty() && !encrypted.empty()) {
    throw SourceError(source.string() + ": " + encrypted + " is encrypted with BitLocker and cannot be read "
                      "until it is unlocked: unlock it with its recovery key (for example: sudo cryptsetup open "
                      "--type bitlk /dev/sdXN windows, or on an image through a loop device: sudo losetup -r -P "
                      "-f --show DISK) and give the unlocked device (/dev/mapper/windows)");
  }
  std::string problems;
  for (const std::string& problem : disk.Problems()) problems += "; " + problem;
  if (found.empty()) throw SourceError(source.string() + ": " + NoWindowsOn(disk) + problems);
  warnings.insert(warnings.end(), disk.Problems().begin(), disk.Problems().end());
  if (!encrypted.empty()) notes.push_back(source.string() + ": " + encrypted + " is encrypted with BitLocker and was not read");
  return found;
}

}  // namespace taloveric
