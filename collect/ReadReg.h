#pragma once

#include "collect/InstallInfo.h"
#include "collect/PadControls.h"
#include "platform/Registry.h"

namespace taloveric {

// Reads the installation's identification and the default mail account's address
// into `info`, composes the report into info.ReportText and shows it in the
// report box. When the Windows key does not open, nothing at all is read.
void ReadReg(Registry& registry, PadControls& controls, InstallInfo& info);

}  // namespace taloveric
