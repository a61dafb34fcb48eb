#pragma once

#include <string>

#include "collect/InstallInfo.h"

namespace taloveric {

// Values that the collection reads for the report alone and does not keep.
struct ReportExtras {
  std::u16string PlusProductId;
  std::u16string PlusVersionNumber;
  std::u16string SubVersionNumber;
};

// The twelve labelled report lines, joined by CR LF, each value as held.
std::u16string ComposeReportText(const InstallInfo& info, const ReportExtras& extras);

}  // namespace taloveric
