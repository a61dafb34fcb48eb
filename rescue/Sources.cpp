#include "rescue/Sources.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "collect/ReadReg.h"
#include "platform/Unicode.h"
#include "platform/offline/DiskImage.h"
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

bool NameIs(const fs::path& path, std::string_view name) { return AsciiLower(path.filename().string()) == name; }

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

}  // namespace

void ForEachInstallation(const fs::path& source, const std::function<void(unsigned, const OpenOne&)>& each) {
  const DiskImageHandle disk = OpenDiskImage(source);
  std::vector<std::string> notes, warnings;
  const std::vector<InstallationOn> found = InstallationsOn(*disk, source, notes, warnings);
  for (std::size_t i = 0; i < found.size(); ++i) {
    each(static_cast<unsigned>(i + 1), [&](const std::optional<CodePage>& given) {
      RegistryBuilder builder(given);
      for (const std::string& note : notes) builder.Note(note);
      for (const std::string& warning : warnings) builder.Warn(warning);
      std::vector<ProfileFound> profiles;
      ReadInstallationFiles(builder, profiles, *found[i].tree, found[i].installation,
                            source.string() + ", " + found[i].place, std::nullopt, Nobody);
      OpenedSources opened = builder.Finish({});
      opened.installations = static_cast<unsigned>(found.size());
      opened.installation = static_cast<unsigned>(i + 1);
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
                          const std::optional<CodePage>& given) {
  RegistryBuilder builder(given);
  std::optional<fs::path> firstExport, firstHive;
  std::optional<FirmwareKey> firmware;
  std::string firmwareFile;
  std::vector<ProfileFound> profiles;
  bool folder = false, image = false;
  unsigned installations = 1, installation = 0;
  for (const fs::path& source : sources) {
    std::error_code ec;
    if (fs::is_directory(source, ec)) {
      if (!AloneButForFirmware(sources, source)) {
        throw SourceError(source.string() + ": a Windows folder goes with no other source but a firmware table");
      }
      folder = true;
      // Read from the folder above it, where an NT installation keeps its
      // profiles and restore points beside its Windows folder. A folder one
      // or two levels inside the Windows folder (System32, System32\config)
      // is read as the installation it belongs to.
      const fs::path at = InstallationFolder(Normal(source));
      const bool top = !at.has_relative_path();
      HostTree tree(top ? at : at.parent_path());
      const std::string start = top ? "" : at.filename().string();
      Installation found = FindInstallation(tree, start, source.string());
      // Windows.old is at the disk's root: the folder named, or above the Windows folder named.
      const auto previous = PreviousInstallation(tree, !start.empty() && IsWindowsFolder(tree, start) ? "" : start);
      if (previous) found.previous = *previous;
      ReadInstallationFiles(builder, profiles, tree, found, source.string(), user, choose);
      if (previous) {
        builder.Note("an earlier installation is kept in " + tree.Shown(*previous) + "; name that folder to read it");
      }
      continue;
    }
    // Opened once: what it is, and all that is read of it, come through this.
    const SourceFile file(source);
    const Kind kind = KindOfSource(file);
    if (IsDisk(kind)) {
      if (!AloneButForFirmware(sources, source)) {
        throw SourceError(source.string() + ": a disk image goes with no other source but a firmware table");
      }
      folder = image = true;
      const DiskImageHandle disk = OpenDiskImage(file);
      std::vector<std::string> notes, warnings;
      const std::vector<InstallationOn> found = InstallationsOn(*disk, source, notes, warnings);
      for (std::string& note : notes) builder.Note(std::move(note));
      for (std::string& warning : warnings) builder.Warn(std::move(warning));
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
      const InstallationOn& picked = found[pick - 1];
      installation = pick;
      ReadInstallationFiles(builder, profiles, *picked.tree, picked.installation,
                            source.string() + ", " + picked.place, user, choose);
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
  if (user && !folder) {
    throw SourceError("--user picks a profile in a Windows folder; name the folder rather than files");
  }
  if (install && !image) throw SourceError("--install picks an installation on a disk image; name the image");
  const bool firmwareAlone = firmware && sources.size() == 1;
  OpenedSources opened = builder.Finish({});
  opened.installations = installations;
  opened.installation = installation;
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
