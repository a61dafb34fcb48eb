#pragma once
// The report in forms other than the Windows program's bytes: readable text
// and JSON, both UTF-8, for a terminal, a script or an inventory.

#include <optional>
#include <string>
#include <vector>

#include "collect/InstallInfo.h"
#include "collect/NtProductKey.h"

namespace taloveric {

// What one run found, for the forms below.
struct Findings {
  InstallInfo info;
  std::optional<NtInstallation> nt;
  std::vector<std::string> sources;   // the files read
  std::vector<std::string> warnings;  // what could not be read
};

// The report's lines and, on an NT-family installation, NT's section: UTF-8,
// LF line ends, control characters made visible.
std::string TextOutput(const Findings& found);

// Every field of the record by name, the report's lines, NT's own values with
// the decoded key, the sources and the warnings, as one JSON object.
std::string JsonOutput(const Findings& found);

}  // namespace taloveric
