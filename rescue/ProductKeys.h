#pragma once
// Every product key an installation's registry keeps, each with what it
// belongs to and what kind it is: Windows' own (NT's DigitalProductId, and
// the text copy Windows keeps of its installed key), the Windows it was
// upgraded from (one SYSTEM\Setup\Source OS key an upgrade, newest first),
// and Office XP, 2003, 2007 and 2010 in both registry views (Office 2013 and
// later keep none, which is said).

#include <string>
#include <vector>

#include "collect/ReadReg.h"
#include "platform/MountedRegistry.h"
#include "report/Findings.h"

namespace taloveric {

struct KeysRead {
  std::vector<FoundKey> keys;
  std::vector<std::string> problems;  // a value that is there and holds no key, and why
};

// The most Source OS keys read: far more upgrades than a machine goes through.
inline constexpr std::size_t kMostUpgrades = 64;

KeysRead ReadProductKeys(MountedRegistry& registry);

// The Windows a registry is of, as people call it: "Windows 11 Pro, version
// 23H2, build 22631" from NT's key; "Windows 98 Second Edition, version
// 4.10.2222" from the Windows key of 95, 98 and Me. Empty when it does not say.
std::string WindowsOf(Registry& registry, Family family);

// "2021-05-04" of "Source OS (Updated on 5/4/2021 10:12:34)", which Windows
// names in the month/day/year of its own setup; empty for any other name.
std::string UpgradeDate(std::string_view keyName);

}  // namespace taloveric
