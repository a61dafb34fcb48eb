#pragma once
// Turns what the user names (.reg exports, registry files of a Windows
// installation, the installation's folder, or a disk that holds it) into one
// registry, and says what was read and what the user should know of it.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AcpiMsdm.h"
#include "platform/MountedRegistry.h"
#include "platform/offline/FileKinds.h"
#include "platform/posix/RegularFile.h"
#include "report/Findings.h"

namespace taloveric {

// What a source is, by its first bytes (a disk itself is a raw disk): a
// registry file, an export, a firmware table or a disk. Throws SourceError
// for what is named but not read (an archive, a locked BitLocker volume),
// for any other file, and for FIFOs and folders before reading them.
Kind DetectKind(const std::filesystem::path& file);
// The same of a source already open.
Kind KindOfSource(const SourceFile& file);

// Asked to pick one of several (user profiles, installations on a disk),
// `question` saying of what; nullopt when nobody can answer.
using Chooser =
    std::function<std::optional<std::string>(const std::string& question, const std::vector<std::string>& names)>;

struct OpenedSources {
  std::unique_ptr<MountedRegistry> registry;
  std::vector<std::string> files;     // the files read, in order
  std::vector<Place> sourceFiles;     // the same, where they are
  std::map<std::string, Place> parts;  // where the machine's and SYSTEM's files are: "machine", "system"
  std::vector<FoundKey> previousKeys;   // of the installation an upgrade kept in Windows.old
  std::vector<BackupRead> backups;    // each is among the warnings too
  std::vector<std::string> notes;     // what the user should know about the sources
  std::vector<std::string> warnings;  // what could not be read, and what the report lacks for it
  // Which Windows the registry is of: told by its files' format (CREG is 95,
  // 98 or Me; regf and version 5 exports are NT), and for a REGEDIT4 export,
  // which NT 4.0 writes too, by whether it holds NT's build number.
  Family family = Family::Windows9x;
  // The ANSI code page the installation says it used, where it says so; the
  // registry's own (Ansi()) is the one its text is read in.
  std::optional<unsigned> codePage;
  // How many Windows installations the disk image holds (1 for other sources),
  // and which of them was read: 0 where the sources do not say.
  unsigned installations = 1;
  unsigned installation = 0;
  // For an installation on a disk: the volume it is on, as a person picks it
  // ("partition 3 (NTFS, 237.4 GiB, "Windows")"), and where it is the one an
  // upgrade kept, its folder ("Windows.old").
  std::string installedOn;
  std::string previousInstallation;
  // Every profile of the installation, each with its e-mail address.
  std::vector<ProfileFound> profiles;
  // An ACPI MSDM table named among the sources: the computer's OEM key.
  std::optional<FirmwareKey> firmware;
  std::string firmwareFile;

  // The warnings and what the collection could not read from damaged files;
  // call once the collection is done.
  std::vector<std::string> AllWarnings() const;
};

// Opens the sources read-only. With none, nothing is opened: the caller decides.
// Their text is read in the code page `given` (--codepage), else the one the
// installation's registry names, else 1252; a note says which.
// Throws SourceError naming the file and what is wrong. A user file that cannot
// be read is a warning: the machine's values are still reported.
// Disks (images, virtual disks, this computer's disks) go together: their
// installations are offered as one list, each named by its Windows and where
// it is; a disk without any is a note, unless none has one. Of several, the
// `install`th is read (1 for the first), else the one `choose` picks, else
// the first, with a warning. A folder that holds no Windows but one virtual
// disk (a virtual machine's) is read as that disk. A `user` the installation
// has no profile of throws, unless `userMayLack` (a warning then).
OpenedSources OpenSources(const std::vector<std::filesystem::path>& sources, const std::optional<std::string>& user,
                          const Chooser& choose, std::optional<unsigned> install = std::nullopt,
                          const std::optional<CodePage>& given = std::nullopt, bool userMayLack = false);

// What of the sources writing `target` (a file that need not exist yet, or
// a folder) would write onto, said as "into the source folder X", "onto the
// source X", "into X, which the installation named at Y is read from" or
// "onto the disk X"; nullopt when it is none. Everything read counts: each
// source however named, a folder source and the folder its installation is
// read from (the disk's root above a Windows folder, or above System32), and
// any file system on a disk that is a source or holds one.
std::optional<std::string> SourceWrittenOnto(const std::vector<std::filesystem::path>& sources,
                                             const std::filesystem::path& target);

// Hands each installation of one source to `each`, by its number, with what
// opens it (throwing SourceError when it cannot be read): an inventory's
// way, which reads every installation and asks no one. A disk image (or a
// virtual machine's folder) is opened once and each of its installations
// read from it; any other source is one installation. `user` is read where
// an installation has that profile; elsewhere its absence is a warning.
// What opens one is given the code page the user names, if any.
using OpenOne = std::function<OpenedSources(const std::optional<CodePage>& given)>;
void ForEachInstallation(const std::filesystem::path& source, const std::optional<std::string>& user,
                         const std::function<void(unsigned, const OpenOne&)>& each);

// This computer's own disks, as /sys/block (`sysBlock`) lists them with
// their devices in `dev` (partitions are read as part of their disk; loop
// devices and optical drives left out), and its firmware's table `msdm`
// where there is one; what keeps one from being listed goes to `notes`.
std::vector<std::filesystem::path> ThisComputersSources(std::vector<std::string>& notes,
                                                        const std::filesystem::path& sysBlock = "/sys/block",
                                                        const std::filesystem::path& dev = "/dev",
                                                        const std::filesystem::path& msdm =
                                                            "/sys/firmware/acpi/tables/MSDM");

// The ANSI code page an installation's registry names
// (HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Nls\CodePage "ACP").
std::optional<unsigned> ReadAnsiCodePage(Registry& registry);

// A registry from the text of a .reg export, such as the bundled sample.
OpenedSources OpenRegText(std::string_view text, std::string_view name,
                          const std::optional<CodePage>& given = std::nullopt);

}  // namespace taloveric
