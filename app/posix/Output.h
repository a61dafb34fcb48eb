#pragma once
// The report in forms other than the Windows program's bytes, for a terminal,
// a script or an inventory: readable text, JSON (docs/report.schema.json),
// JSON Lines and CSV, all UTF-8.

#include <optional>
#include <string>
#include <vector>

#include "collect/InstallInfo.h"
#include "collect/NtProductKey.h"
#include "collect/ReadReg.h"
#include "platform/offline/Sources.h"

namespace taloveric {

// The JSON documents' schema version; a change that breaks a reader raises it.
inline constexpr int kSchemaVersion = 1;

// What one run found in one installation, for the forms below.
struct Findings {
  std::string named;      // the source as the user named it
  unsigned install = 1;   // which installation of the source
  InstallInfo info;
  Collected collected;
  Family family = Family::Windows9x;
  unsigned codePage = 1252;
  std::optional<NtInstallation> nt;  // NT family only
  std::vector<SourceFile> files;     // the files read
  std::vector<BackupRead> backups;
  std::vector<std::string> warnings;
};

// The report's lines and, on an NT-family installation, NT's section: UTF-8,
// LF line ends, control characters made visible.
std::string TextOutput(const Findings& found);

// One JSON document: every report value by name (null where the registry has
// none), the report's lines, the installation, the files read, the backups and
// the warnings. `oneLine` for JSON Lines.
std::string JsonOutput(const Findings& found, bool oneLine = false);
// A source that could not be read, as a JSON Lines entry.
std::string JsonError(const std::string& named, const std::string& error);

// CSV with a header row, for spreadsheets: one row per installation.
std::string CsvHeader();
std::string CsvRow(const Findings& found);
std::string CsvError(const std::string& named, const std::string& error);

}  // namespace taloveric
