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

namespace taloveric {

// A file the registry was read from: on this machine, or inside a disk image.
struct SourceFile {
  std::string file;       // its path; inside an image, its path there
  std::string image;      // the disk image it is on; empty for a file here
  std::string partition;  // where on the image: "partition 1 (FAT32, at byte 1048576)"
};

// A backup Windows kept, read in place of a live file that is missing or damaged.
struct BackupRead {
  std::string file;  // as the user knows it
  std::string date;  // its own last change, "yyyy-mm-ddThh:mm:ssZ"; empty when not known
  std::string why;   // what was wrong with the files tried before it
};

// A person's profile in the installation, and the address their report
// would show.
struct ProfileFound {
  std::string name;
  std::string file;                  // as the user knows it
  std::optional<std::u16string> email;  // nullopt when it has none
  std::string problem;               // why its file could not be read
};

struct Findings {
  std::string named;     // the source as the user named it
  unsigned install = 1;  // which installation of the source
  InstallInfo info;
  Collected collected;
  Family family = Family::Windows9x;
  CodePage codePage;  // what the installation's text is in
  std::optional<NtInstallation> nt;  // NT family only
  std::vector<SourceFile> files;     // the files read
  std::vector<BackupRead> backups;
  std::vector<ProfileFound> profiles;  // every profile of a Windows folder or disk
  std::optional<FirmwareKey> firmware;  // an MSDM table named among the sources
  std::string firmwareFile;
  // What is so of this installation and the user should know: where values
  // came from, what kind of key it keeps. Warnings are for what to act on.
  std::vector<std::string> notes;
  std::vector<std::string> warnings;
};

}  // namespace taloveric
