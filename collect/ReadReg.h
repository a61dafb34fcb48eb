#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "collect/InstallInfo.h"
#include "collect/NtProductKey.h"
#include "collect/PadControls.h"
#include "platform/Registry.h"
#include "report/ReportText.h"

namespace taloveric {

// What the collection learnt beyond the record, for the forms other than the
// report's lines to say.
struct Collected {
  ReportExtras extras;  // the three values the report alone shows
  // The names (under the Windows key) of the values that were read, from
  // either key; a report value not among them was found nowhere.
  std::set<std::u16string, std::less<>> read;
  // The NT key's values that stand in for missing ones, by their NT names.
  std::vector<std::string> fromNtKey;
  std::string keySource;  // the NT value the product key was decoded from
  // What NT's own key holds, read once, on the NT family.
  std::optional<NtInstallation> nt;
  // What NT's key held that could not stand in: a product key that does not
  // decode, a value that would break the report's lines.
  std::vector<std::string> problems;
};

// Reads the installation's identification and the default mail account's address
// into `info`, composes the report into info.ReportText and shows it in the
// report box. On Windows 95, 98 and Me only the Windows key is read, and when
// it does not open, nothing at all is read. On the NT family, a value missing
// under the Windows key is read where NT keeps it, and the product key decoded
// from its DigitalProductId; when the Windows key does not open there, the
// report is composed from NT's key alone.
void ReadReg(Registry& registry, PadControls& controls, InstallInfo& info, Family family = Family::Windows9x,
             Collected* collected = nullptr);

// The default mail account's address of the user whose tree is
// HKEY_CURRENT_USER, found as the report finds it; nullopt when it has none.
std::optional<std::u16string> DefaultMailAddress(Registry& registry);

}  // namespace taloveric
