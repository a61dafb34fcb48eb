#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "collect/InstallInfo.h"

namespace taloveric {

// Values that the collection reads for the report alone and does not keep.
struct ReportExtras {
  std::u16string PlusProductId;
  std::u16string PlusVersionNumber;
  std::u16string SubVersionNumber;
};

// The report's labels, line by line.
inline constexpr std::array<std::u16string_view, 12> kReportLabels = {
    u"Def. e-mail for this user: ", u"Registered Owner: ", u"Registered Organization: ", u"Product: ",
    u"Version: ", u"Version Number: ", u"Sub Version: ", u"System Root Directory: ", u"Plus! Id: ",
    u"Plus! Version: ", u"Registration ID: ", u"Registration Code: "};

// The twelve labelled report lines, joined by CR LF, each value as held.
std::u16string ComposeReportText(const InstallInfo& info, const ReportExtras& extras);

// A composed report's lines again, broken only at the CR LF before each next
// label, so that a CR or LF inside a value stays in its own line (and cannot
// pass for a line of the report). An empty report has no lines.
std::vector<std::u16string> ReportLines(std::u16string_view text);

}  // namespace taloveric
