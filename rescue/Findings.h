#pragma once
// What the collection finds in the sources once they are open, and what the
// user is told with it.

#include <filesystem>
#include <optional>
#include <string>

#include "report/Findings.h"
#include "rescue/Sources.h"

namespace taloveric {

// Reads one installation into the one result every form of its report is
// written from: the sources `open` opens, their text in the code page
// `forced` gives (--codepage), else the one the registry names, else 1252;
// then the collection. Throws what opening
// throws (SourceError, RegFileError) and std::invalid_argument for a code
// page this system cannot convert.
Findings ReadInstallation(const OpenOne& open, std::optional<unsigned> forced,
                          std::string named, unsigned install);

// Where Linux shows the running computer's firmware table of its OEM key.
inline constexpr char kThisComputersMsdm[] = "/sys/firmware/acpi/tables/MSDM";

// Collects the report from `opened`, with the NT section on NT, and gathers
// (`install` is which installation it is, where the sources do not say)
// what the user should know (where values came from, what kind of key it is)
// and be warned of (what could not be read). A firmware's OEM key stands on
// the saved report's code line for a key that is generic, removed or none.
// `thisComputersMsdm`: where this computer's own table would be; it is never
// read unasked, only said to be there when the key is of no use.
Findings Collect(OpenedSources& opened, std::string named, unsigned install,
                 const std::filesystem::path& thisComputersMsdm = kThisComputersMsdm);

}  // namespace taloveric
