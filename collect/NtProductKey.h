#pragma once
// The Windows NT family (2000, XP, Vista, 7 and later) keeps its product key
// encoded in "DigitalProductId" under Software\Microsoft\Windows NT\CurrentVersion,
// where the report's own key (Software\Microsoft\Windows\CurrentVersion) has
// none. The Linux program shows it beside the report; the report itself stays
// what the Windows program would have written.

#include <optional>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace taloveric {

// Where the 15 key bytes stand in each of the two values that hold them.
inline constexpr std::size_t kDigitalProductIdKey = 52;    // DigitalProductId
inline constexpr std::size_t kDigitalProductId4Key = 808;  // DigitalProductId4 (Vista and later)

// The product key encoded in a DigitalProductId value: 15 bytes at `offset`
// read as a number in base 24 over "BCDFGHJKMPQRTVWXY2346789", 25 characters in
// groups of five. A flag in the last byte marks the form of Windows 8 and
// later, where the first digit says where an "N" goes. Nullopt for a value too
// short to hold a key.
std::optional<std::string> DecodeProductKey(std::string_view value, std::size_t offset = kDigitalProductIdKey);

// What NT's own key holds about the installation, as text (ANSI bytes as read).
struct NtInstallation {
  std::string productKey;  // decoded; empty when no DigitalProductId could be
  std::string keySource;   // the value it came from
  std::string productId, productName, currentVersion, currentBuild, servicePack, registeredOwner,
      registeredOrganization, editionId;
  std::string installDate;  // as yyyy-mm-dd (UTC), from seconds since 1970
};

// Reads HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion;
// nullopt when that key does not open (Windows 95, 98 and Me have none).
std::optional<NtInstallation> ReadNtInstallation(Registry& registry);

}  // namespace taloveric
