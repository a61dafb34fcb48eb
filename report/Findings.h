#pragma once
// What one run found in one installation, and where it was read from: what
// the report's forms other than the Windows program's bytes are written from.

#include <optional>
#include <string>
#include <vector>

#include "collect/InstallInfo.h"
#include "collect/NtProductKey.h"
#include "collect/ReadReg.h"
#include "platform/AcpiMsdm.h"
#include "platform/CodePage.h"
#include "platform/Place.h"

namespace taloveric {

// A backup Windows kept, read in place of a live file that is missing or damaged.
struct BackupRead {
  Place place;
  std::string file;  // as the user knows it
  std::string date;  // its own last change, "yyyy-mm-ddThh:mm:ssZ"; empty when not known
  std::string why;   // what was wrong with the files tried before it
};

// A person's profile in the installation, and the address their report
// would show.
struct ProfileFound {
  std::string name;
  Place place;
  std::string file;                  // as the user knows it
  std::optional<std::u16string> email;  // nullopt when it has none
  std::string problem;               // why its file could not be read
};

// A product key the machine holds, with what it belongs to and what kind it is.
struct FoundKey {
  std::string belongsTo;  // "Windows 11 Professional, build 22631"; "Microsoft Office Standard 2010 (14.0)"
  std::string file;       // the part of the registry it was read from: "machine" (SOFTWARE, SYSTEM.DAT),
                          // "system", "firmware"
  std::string path;       // the key and value in that file: "Microsoft\Windows NT\CurrentVersion\DigitalProductId"
  std::string kind;       // "installed", "generic", "removed", or "none kept"
  std::string key;        // empty for a removed key and for none kept
  std::string note;       // what a generic key installs, and who publishes it
  Place place;            // of the file it was read from
};

struct Findings {
  std::string named;     // the source as the user named it
  unsigned install = 1;  // which installation of the source
  std::string windows;   // as people call it: "Windows 11 Pro, version 23H2, build 22631"; empty when not said
  std::string installedOn;           // on a disk, its volume: "partition 3 (NTFS, 237.4 GiB, "Windows")"
  std::string previousInstallation;  // for the installation an upgrade kept, its folder: "Windows.old"
  InstallInfo info;
  Collected collected;
  Family family = Family::Windows9x;
  CodePage codePage;  // what the installation's text is in
  std::optional<NtInstallation> nt;  // NT family only
  std::vector<Place> files;          // the files read
  std::vector<BackupRead> backups;
  std::vector<ProfileFound> profiles;  // every profile of a Windows folder or disk
  std::vector<FoundKey> keys;         // every product key found, the installation's first
  std::optional<FirmwareKey> firmware;  // an MSDM table named among the sources
  std::string firmwareFile;
  // What is so of this installation and the user should know: where values
  // came from, what kind of key it keeps. Warnings are for what to act on.
  std::vector<std::string> notes;
  std::vector<std::string> warnings;
};

}  // namespace taloveric
