#include "rescue/Sources.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "collect/ReadReg.h"
#include "platform/Unicode.h"
#include "platform/offline/DiskImage.h"
#include "platform/offline/ImageParts.h"
#include "platform/posix/BlockDevices.h"
#include "platform/posix/FileIdentity.h"
#include "platform/posix/HostTree.h"
#include "platform/posix/RegularFile.h"
#include "rescue/Backups.h"
#include "rescue/Installations.h"
#include "rescue/Layout.h"
#include "rescue/RegistryBuilder.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

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

// Whether every source but `source` is a firmware table, which goes with any.
bool AloneButForFirmware(const std::vector<fs::path>& sources, const fs::path& source) {
  for (const fs::path& other : sources) {
    std::error_code ec;
    if (other == source) continue;
    if (fs::is_directory(other, ec) || KindOfSource(SourceFile(other)) != Kind::FirmwareTable) return false;
  }
  return true;
}

std::optional<std::string> Nobody(const std::string&, const std::vector<std::string>&) { return std::nullopt; }

// The tree a folder's installation is read from, and where in it to look:
// the folder above a Windows folder, where an NT installation keeps its
// profiles and restore points beside it; a folder one or two levels inside
// the Windows folder (System32, System32\config) is read as the installation
// it belongs to.
std::pair<fs::path, std::string> TreeOfFolder(const fs::path& folder) {
  const fs::path at = InstallationFolder(Normal(folder));
  if (!at.has_relative_path()) return {at, ""};
  return {at.parent_path(), at.filename().string()};
}

bool HoldsWindows(const fs::path& folder) {
  const auto [root, start] = TreeOfFolder(folder);
  HostTree tree(root);
  try {
    FindInstallation(tree, start, folder.string());
    return true;
  } catch (const SourceError&) {
    return false;
  }
}

}  // namespace

namespace {

// The one virtual disk a virtual machine's folder holds (a VirtualBox VM's
// .vdi, a VMware VM's .vmdk with its extents), read as that disk where the
// folder holds no Windows itself; nullopt for a folder with none. Throws
// SourceError for one with several, naming them.
std::optional<fs::path> VirtualDiskIn(const fs::path& folder) {
  std::vector<fs::path> disks;
  std::vector<std::string> parts;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!NamedAsVirtualDisk(it->path()) || !it->is_regular_file(ec)) continue;
    disks.push_back(it->path());
    try {
      const SourceFile disk(it->path());
      for (std::string& part : OtherPartsOf(disk.Path(), disk.Head())) parts.push_back(std::move(part));
    } catch (const SourceError&) {
      // read, and said, as the disk it is
    }
  }
  std::erase_if(disks, [&](const fs::path& disk) {
    return std::find(parts.begin(), parts.end(), disk.filename().string()) != parts.end();
  });
  if (disks.size() <= 1) return disks.empty() ? std::nullopt : std::optional(disks.front());
  std::sort(disks.begin(), disks.end());
  std::string names;
  for (const fs::path& disk : disks) names += (names.empty() ? "" : ", ") + disk.filename().string();
  throw SourceError(folder.string() + ": no Windows registry here, and several virtual disks (" + names +
                    "): name the one to read");
}

// A disk named among the sources, opened, with the Windows installations on it.
struct DiskRead {
  fs::path source;
  DiskImageHandle disk;
  std::vector<InstallationOn> found;
};

}  // namespace

void ForEachInstallation(const fs::path& source, const std::optional<std::string>& user,
                         const std::function<void(unsigned, const OpenOne&)>& each) {
  std::error_code ec;
  fs::path image = source;
  if (fs::is_directory(source, ec)) {
    const auto disk = HoldsWindows(source) ? std::nullopt : VirtualDiskIn(source);
    if (!disk) {
      each(1, [&](const std::optional<CodePage>& given) {
        return OpenSources({source}, user, Nobody, std::nullopt, given, true);
      });
      return;
    }
    image = *disk;
  } else if (!IsDisk(DetectKind(source))) {
    each(1, [&](const std::optional<CodePage>& given) {
      return OpenSources({source}, user, Nobody, std::nullopt, given, true);
    });
    return;
  }
  const DiskImageHandle disk = OpenDiskImage(image);
  std::vector<std::string> notes, warnings;
  if (image != source) notes.push_back("no Windows registry in the folder " + source.string() +
                                       ": reading the virtual disk in it, " + image.filename().string());
  std::vector<InstallationOn> found = InstallationsOn(*disk, image, notes, warnings);
  for (std::size_t i = 0; i < found.size(); ++i) {
    each(static_cast<unsigned>(i + 1), [&](const std::optional<CodePage>& given) {
      RegistryBuilder builder(given);
      for (const std::string& note : notes) builder.Note(note);
      for (const std::string& warning : warnings) builder.Warn(warning);
      std::vector<ProfileFound> profiles;
      ReadInstallationFiles(builder, profiles, *found[i].tree, found[i].installation,
                            image.string() + ", " + found[i].place, user, Nobody, found[i].opened, true);
      OpenedSources opened = builder.Finish({});
      opened.installations = static_cast<unsigned>(found.size());
      opened.installation = static_cast<unsigned>(i + 1);
      opened.installedOn = found[i].volume;
      opened.previousInstallation = found[i].previous;
      opened.profiles = std::move(profiles);
      return opened;
    });
    found[i].opened.clear();  // its files are read: what they held is the report's now
  }
}

std::vector<fs::path> ThisComputersSources(std::vector<std::string>& notes, const fs::path& sysBlock,
                                           const fs::path& dev, const fs::path& msdm) {
  std::vector<fs::path> sources;
  for (const BlockDisk& disk : ThisComputersDisks(sysBlock, dev, notes)) sources.push_back(disk.device);
  std::error_code ec;
  if (fs::exists(msdm, ec)) {
    if (::access(msdm.c_str(), R_OK) == 0) {
      sources.push_back(msdm);
    } else {
      notes.push_back(msdm.string() + ": this computer's firmware holds a product key, which only root can read");
    }
  }
  return sources;
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

std::optional<std::string> SourceWrittenOnto(const std::vector<fs::path>& sources, const fs::path& target) {
  const auto within = [&](const fs::path& place) {
    const auto id = IdOf(place);
    return id && IsWithin(target, *id);
  };
  for (const fs::path& source : sources) {
    std::error_code ec;
    struct stat info {};
    const bool disk = ::stat(source.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
    if (fs::is_directory(source, ec)) {
      if (within(source)) return "into the source folder " + source.string();
      // The folder its installation is read from too, as OpenSources reads
      // it: above a Windows folder.
      const fs::path at = InstallationFolder(Normal(source));
      HostTree tree(at);
      if (at.has_relative_path() && IsWindowsFolder(tree, "") && within(at.parent_path())) {
        return "into " + at.parent_path().string() + ", which the installation named at " + source.string() +
               " is read from";
      }
    } else if (within(source)) {
      return "onto the source " + source.string();
    } else if (disk) {
      const auto device = DeviceOf(target);
      const std::vector<dev_t> devices = DevicesOfDisk(info.st_rdev);
      if (device && std::find(devices.begin(), devices.end(), *device) != devices.end()) {
        return "onto the disk " + source.string() + ", on a file system of its";
      }
    }
  }
  return std::nullopt;
}

std::vector<std::string> OpenedSources::AllWarnings() const {
  std::vector<std::string> all = warnings;
  if (registry) all.insert(all.end(), registry->Problems().begin(), registry->Problems().end());
  return all;
}

Kind KindOfSource(const SourceFile& file) {
  // A disk or partition itself is read as an image is, read-only.
  if (file.IsDisk()) return Kind::RawDisk;
  const Kind kind = KindOf(file.Head(), file.Path().filename().string());
  if (const std::string what = NotReadBecause(kind); !what.empty()) throw SourceError(file.Path().string() + ": " + what);
  if (kind == Kind::Unknown) {
    throw SourceError(file.Path().string() + ": neither a .reg export nor a Windows registry file nor a disk image");
  }
  return kind;
}

Kind DetectKind(const fs::path& file) { return KindOfSource(SourceFile(file)); }

OpenedSources OpenSources(const std::vector<fs::path>& sources, const std::optional<std::string>& user,
                          const Chooser& choose, std::optional<unsigned> install,
                          const std::optional<CodePage>& given, bool userMayLack) {
  RegistryBuilder builder(given);
  std::optional<fs::path> firstExport, firstHive;
  std::optional<FirmwareKey> firmware;
  std::string firmwareFile;
  std::vector<ProfileFound> profiles;
  bool folder = false;
  std::vector<fs::path> diskSources;
  std::vector<std::string> others;  // the sources that are neither disks nor firmware tables
  unsigned installations = 1, installation = 0;
  std::string installedOn, previousInstallation;
  for (const fs::path& source : sources) {
    std::error_code ec;
    if (fs::is_directory(source, ec)) {
      if (!AloneButForFirmware(sources, source)) {
        throw SourceError(source.string() + ": a Windows folder goes with no other source but a firmware table");
      }
      const auto [root, start] = TreeOfFolder(source);
      HostTree tree(root);
      Installation found;
      try {
        found = FindInstallation(tree, start, source.string());
      } catch (const SourceError&) {
        // A virtual machine's folder: its disk is read.
        const auto disk = VirtualDiskIn(source);
        if (!disk) throw;
        builder.Note("no Windows registry in the folder " + source.string() + ": reading the virtual disk in it, " +
                     disk->filename().string());
        diskSources.push_back(*disk);
        continue;
      }
      folder = true;
      // Windows.old is at the disk's root: the folder named, or above the Windows folder named.
      const auto previous = PreviousInstallation(tree, !start.empty() && IsWindowsFolder(tree, start) ? "" : start);
      if (previous) found.previous = *previous;
      ReadInstallationFiles(builder, profiles, tree, found, source.string(), user, choose, {}, userMayLack);
      if (previous) {
        builder.Note("an earlier installation is kept in " + tree.Shown(*previous) + "; name that folder to read it");
      }
      continue;
    }
    // Opened once: what it is, and all that is read of it, come through this.
    const SourceFile file(source);
    const Kind kind = KindOfSource(file);
    if (IsDisk(kind)) {
      diskSources.push_back(source);
      continue;
    }
    if (kind == Kind::FirmwareTable) {
      if (firmware) throw SourceError(source.string() + ": a second firmware table; name one");
      // A table is a hundred bytes; far less than this.
      firmware = ReadMsdm(file.ReadText(64u << 10, "an ACPI table"));
      firmwareFile = source.string();
      if (!firmware->problem.empty()) {
        builder.Warn(source.string() + ": an ACPI MSDM table that is not trusted: " + firmware->problem);
      } else {
        builder.Note("found the firmware's OEM product key in " + source.string());
      }
      continue;
    }
    others.push_back(source.string());
    (kind == Kind::RegExport ? firstExport : firstHive).emplace(source);
    if (firstExport && firstHive) {
      throw SourceError(firstExport->string() + ": .reg exports and registry files cannot be read together");
    }
    if (kind == Kind::RegExport) {
      builder.AddExport(file);
    } else {
      builder.AddNamed(
          [&] {
            // Its logs are read in the folder it is in.
            HostTree beside(source.has_parent_path() ? source.parent_path() : fs::path("."));
            return ReadHive(beside, source.filename().string(), kind, source.string(),
                            file.ReadAll(kLargestRegistryFile, "a registry file"));
          },
          source.string(), {source.string(), {}, "", ""}, kind);
    }
  }
  if (!diskSources.empty() && (folder || !others.empty())) {
    throw SourceError(diskSources.front().string() + ": a disk goes with no other source but other disks and a "
                      "firmware table (" + (folder ? std::string("a Windows folder") : others.front()) + " is named too)");
  }
  if (!diskSources.empty()) {
    folder = true;
    // Every disk's installations, offered together; a disk with none is said
    // and the others read, unless none has any.
    std::vector<DiskRead> disks;
    std::vector<std::string> failures;
    for (const fs::path& source : diskSources) {
      try {
        DiskRead read{source, OpenDiskImage(source), {}};
        std::vector<std::string> notes, warnings;
        read.found = InstallationsOn(*read.disk, source, notes, warnings);
        for (std::string& note : notes) builder.Note(std::move(note));
        for (std::string& warning : warnings) builder.Warn(std::move(warning));
        disks.push_back(std::move(read));
      } catch (const SourceError& error) {
        if (diskSources.size() == 1) throw;
        failures.push_back(error.what());
      }
    }
    if (disks.empty()) {
      std::string all;
      for (const std::string& failure : failures) all += (all.empty() ? "" : "; ") + failure;
      throw SourceError("no Windows installation on any of the " + std::to_string(diskSources.size()) +
                        " disks: " + all);
    }
    for (std::string& failure : failures) builder.Note(std::move(failure));
    // As a person picks them: the Windows, where it is, and on which disk where there are several.
    std::vector<std::pair<DiskRead*, InstallationOn*>> all;
    std::vector<std::string> names;
    for (DiskRead& read : disks) {
      for (InstallationOn& on : read.found) {
        all.emplace_back(&read, &on);
        names.push_back(diskSources.size() > 1 ? read.source.string() + ": " + on.Name() : on.Name());
      }
    }
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) list += (i ? "; " : "") + std::to_string(i + 1) + ". " + names[i];
    const std::string where = diskSources.size() > 1 ? "these disks" : "this disk";
    if (!install && all.size() > 1) {
      const auto picked = choose("There are several Windows installations on " + where + ". Which one?", names);
      if (picked) {
        install = static_cast<unsigned>(std::find(names.begin(), names.end(), *picked) - names.begin() + 1);
      } else {
        builder.Warn((diskSources.size() > 1 ? std::string("the disks") : diskSources.front().string()) +
                     ": several Windows installations (" + list + ") and none picked: the first is read; pick one "
                     "with --install N");
      }
    }
    installations = static_cast<unsigned>(all.size());
    const unsigned pick = install.value_or(1);
    if (pick < 1 || pick > all.size()) {
      throw SourceError((diskSources.size() > 1 ? std::string("the disks") : diskSources.front().string()) +
                        ": no installation " + std::to_string(pick) + " (there are: " + list + ")");
    }
    const auto& [read, picked] = all[pick - 1];
    installation = pick;
    installedOn = picked->volume;
    previousInstallation = picked->previous;
    if (all.size() > 1) builder.Note("read installation " + std::to_string(pick) + ", " + names[pick - 1]);
    ReadInstallationFiles(builder, profiles, *picked->tree, picked->installation,
                          read->source.string() + ", " + picked->place, user, choose, picked->opened, userMayLack);
    install.reset();  // it named one of these
  }
  if (user && !folder) {
    throw SourceError("--user picks a profile in a Windows folder; name the folder rather than files");
  }
  if (install) throw SourceError("--install picks an installation on a disk image; name the image");
  const bool firmwareAlone = firmware && sources.size() == 1;
  OpenedSources opened = builder.Finish({});
  opened.installations = installations;
  opened.installation = installation;
  opened.installedOn = std::move(installedOn);
  opened.previousInstallation = std::move(previousInstallation);
  opened.firmware = std::move(firmware);
  opened.profiles = std::move(profiles);
  opened.firmwareFile = std::move(firmwareFile);
  if (firmwareAlone) opened.family = Family::WindowsNt;  // only Windows 8 and later are sold with such a key
  return opened;
}

OpenedSources OpenRegText(std::string_view text, std::string_view name, const std::optional<CodePage>& given) {
  RegistryBuilder builder(given);
  builder.AddExportText(text, name);
  return builder.Finish({});
}

}  // namespace taloveric
