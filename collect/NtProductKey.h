#pragma once
// What the Windows NT family (NT 4.0, 2000, XP and later) keeps about itself
// under Software\Microsoft\Windows NT\CurrentVersion: most of what Windows 95
// kept under the report's own key (Software\Microsoft\Windows\CurrentVersion),
// and the product key, encoded in "DigitalProductId".

#include <optional>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace taloveric {

inline constexpr std::string_view kNtKeyPath = "Software\\Microsoft\\Windows NT\\CurrentVersion";

// Where the 15 key bytes stand in each of the two values that hold them.
inline constexpr std::size_t kDigitalProductIdKey = 52;    // DigitalProductId
inline constexpr std::size_t kDigitalProductId4Key = 808;  // DigitalProductId4 (Vista and later)

// The product key encoded in a DigitalProductId value: 15 bytes at `offset`
// read as a number in base 24 over "BCDFGHJKMPQRTVWXY2346789", 25 characters in
// groups of five. A flag in the last byte marks the form of Windows 8 and
// later, where the first digit says where an "N" goes. Nullopt for a value too
// short to hold a key, for key bytes that are all zero (no key was entered)
// and for a number too large for 25 digits (not a key at all).
std::optional<std::string> DecodeProductKey(std::string_view value, std::size_t offset = kDigitalProductIdKey);

// What kind of key an installation keeps: its own; a published key many
// installations share (an edition's default or a KMS client key), which
// installs the edition but does not activate it; or none at all, its bytes
// zero, as Windows 8 and later keep it when a digital licence, tied to the
// computer or to a Microsoft account, activates them.
enum class KeyKind { None, Installed, Generic, Removed };

// "installed", "generic", "removed"; empty for None.
const char* KeyKindName(KeyKind kind);

// The product key decoded from the open NT key's DigitalProductId, else its
// DigitalProductId4.
struct NtProductKey {
  std::string key;      // empty when none decodes
  std::string source;   // the value it came from (for a removed key too)
  std::string problem;  // why a value that is there gave no key, when it is damaged
  KeyKind kind = KeyKind::None;
  std::string generic;  // for a generic key: what it installs and who publishes it
};

// What the kind of key means to whoever wants to reinstall; empty for an
// installed key and for none.
std::string KeyKindNote(const NtProductKey& key);
NtProductKey ReadNtProductKey(Registry& registry, RegKey ntKey);

// The version as users know it, from the open NT key: "5.1.2600" from
// CurrentVersion and CurrentBuildNumber (Windows 10 and later give their
// version in CurrentMajorVersionNumber and CurrentMinorVersionNumber, as
// CurrentVersion stays "6.3"); the service pack is CSDVersion as it stands.
struct NtVersion {
  std::string version;      // "5.1"; empty when NT does not say
  std::string build;        // "2600"
  std::string servicePack;  // "Service Pack 2"
  std::string displayVersion;  // Windows 10 and 11: "23H2" (DisplayVersion), else "1909" (ReleaseId)
  std::string Number() const { return build.empty() || version.empty() ? version : version + "." + build; }
  // The Windows its version and build make it, as users call it: "Windows
  // XP", "Windows 7"; 10.0 is Windows 11 from build 22000 on, whatever its
  // ProductName says. Empty for a version it does not know.
  std::string Name() const;
};
NtVersion ReadNtVersion(Registry& registry, RegKey ntKey);

// The Windows as people call it, as Windows' own "About" shows it: "Windows
// 11 Pro, version 23H2, build 22631", "Windows XP, Service Pack 3, build
// 2600". The edition comes from ProductName after its "Windows N" (which
// Windows 11 leaves at "Windows 10"), else from EditionID.
std::string WindowsName(const NtVersion& version, const std::string& productName, const std::string& editionId);

// What NT's own key holds about the installation, as text (ANSI bytes as read).
struct NtInstallation {
  NtProductKey productKey;
  NtVersion version;
  std::string productId, productName, registeredOwner, registeredOrganization, editionId, systemRoot;
  std::string installDate;  // as yyyy-mm-dd (UTC), from seconds since 1970
  std::string Windows() const { return WindowsName(version, productName, editionId); }
};

// Reads HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion;
// nullopt when that key does not open.
std::optional<NtInstallation> ReadNtInstallation(Registry& registry);

}  // namespace taloveric
