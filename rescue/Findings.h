#pragma once
// What the collection finds in the sources once they are open, and what the
// user is told with it.

#include <optional>
#include <string>

#include "report/Findings.h"
#include "rescue/Sources.h"

namespace taloveric {

// Reads the registry's bytes in the code page the installation used (else
// 1252), unless `forced` (--codepage) names one; says so among the notes.
void UseCodePage(std::optional<unsigned> forced, OpenedSources& opened);

// Collects the report from `opened`, with the NT section on NT, and gathers
// what the user should be warned of: what could not be read, what came from
// NT's own key, where the product key was decoded from.
Findings Collect(OpenedSources& opened, std::string named, unsigned install);

}  // namespace taloveric
