#include "collect/NtProductKey.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "collect/PublishedKeys.h"
#include "platform/ByteOrder.h"
#include "platform/RegValue.h"
#include "platform/Unicode.h"

namespace taloveric {
namespace {

// A little-endian DWORD value, as NT stores its numbers.
std::optional<std::uint32_t> ReadDword(Registry& registry, RegKey key, std::string_view name) {
  const auto bytes = ReadValueBytes(registry, key, name);
  if (!bytes || bytes->size() != 4) return std::nullopt;
  return Le32(*bytes, 0);
}

// Seconds since 1970 as yyyy-mm-dd (UTC), by the proleptic Gregorian calendar.
std::string DateOf(std::uint32_t seconds) {
  std::int64_t days = seconds / 86400 + 719468;  // from 0000-03-01
  const std::int64_t era = days / 146097, dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shifted = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1, month = shifted < 10 ? shifted + 3 : shifted - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  const auto two = [](std::int64_t n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  return std::to_string(year) + "-" + two(month) + "-" + two(day);
}

}  // namespace

std::optional<std::string> DecodeProductKey(std::string_view id, std::size_t offset) {
  constexpr std::size_t kLength = 15;
  constexpr char kDigits[] = "BCDFGHJKMPQRTVWXY2346789";
  if (id.size() < offset || id.size() - offset < kLength) return std::nullopt;
  std::array<unsigned, kLength> key{};
  bool any = false;
  for (std::size_t i = 0; i < kLength; ++i) {
    key[i] = static_cast<unsigned char>(id[offset + i]);
    any = any || key[i] != 0;
  }
  if (!any) return std::nullopt;
  // Windows 8 and later mark their form in bit 3 of the last key byte.
  const bool windows8 = (key[14] & 0x08) != 0;
  key[14] &= 0xF7;
  std::string digits(25, ' ');
  unsigned last = 0;
  for (int i = 24; i >= 0; --i) {
    unsigned current = 0;
    for (int j = 14; j >= 0; --j) {
      current = current * 256 + key[static_cast<std::size_t>(j)];
      key[static_cast<std::size_t>(j)] = current / 24;
      current %= 24;
    }
    digits[static_cast<std::size_t>(i)] = kDigits[current];
    last = current;
  }
  for (const unsigned rest : key) {
    if (rest != 0) return std::nullopt;  // more than 25 digits: not a key
  }
  if (windows8) digits = digits.substr(1, last) + "N" + digits.substr(last + 1);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) out += (i > 0 && i % 5 == 0 ? "-" : "") + std::string(1, digits[i]);
  return out;
}

const char* KeyKindName(KeyKind kind) {
  switch (kind) {
    case KeyKind::Installed: return "installed";
    case KeyKind::Generic: return "generic";
    case KeyKind::Removed: return "removed";
    case KeyKind::None: break;
  }
  return "";
}

std::string KeyKindNote(const NtProductKey& key) {
  switch (key.kind) {
    case KeyKind::Generic:
      return "the product key " + key.key + " is a generic key (" + key.generic +
             "): it installs the edition but does not activate it; the computer's own key may be in its "
             "firmware, or activation may rest on a digital licence";
    case KeyKind::Removed:
      return key.source + " keeps no product key (its key bytes are zero): Windows was most likely activated by "
                          "a digital licence, tied to the computer's hardware or to the owner's Microsoft "
                          "account, which activates a reinstallation of the same edition without a key";
    case KeyKind::Installed:
    case KeyKind::None: break;
  }
  return "";
}

NtProductKey ReadNtProductKey(Registry& registry, RegKey ntKey) {
  NtProductKey found;
  // Vista and later keep the key in DigitalProductId4 as well.
  for (const auto& [name, offset] : {std::pair{"DigitalProductId", kDigitalProductIdKey},
                                     std::pair{"DigitalProductId4", kDigitalProductId4Key}}) {
    const auto id = ReadValueBytes(registry, ntKey, name);
    if (!id) continue;
    if (const auto decoded = DecodeProductKey(*id, offset)) {
      found.key = *decoded;
      found.source = name;
      found.problem.clear();
      const PublishedKey* published = FindPublishedKey(found.key);
      found.kind = published != nullptr ? KeyKind::Generic : KeyKind::Installed;
      if (published != nullptr) found.generic = std::string(published->edition) + "; " + published->source;
      return found;
    }
    const bool longEnough = id->size() >= offset + 15;
    if (longEnough && id->find_first_not_of('\0', offset) >= offset + 15) {
      if (found.kind != KeyKind::Removed) found.source = name;
      found.kind = KeyKind::Removed;
      continue;
    }
    if (found.problem.empty()) {
      found.problem = std::string(name) + " holds no product key that can be decoded (" +
                      (longEnough ? std::string("not a key's digits") : std::to_string(id->size()) + " bytes, too short") +
                      ")";
    }
  }
  if (found.kind == KeyKind::Removed) found.problem.clear();  // no key is kept: that is no damage
  return found;
}

std::string NtVersion::Name() const {
  static constexpr std::pair<const char*, const char*> kNames[] = {
      {"4.0", "Windows NT 4.0"}, {"5.0", "Windows 2000"},  {"5.1", "Windows XP"}, {"5.2", "Windows XP x64 or Server 2003"},
      {"6.0", "Windows Vista"},  {"6.1", "Windows 7"},     {"6.2", "Windows 8"},  {"6.3", "Windows 8.1"},
      {"10.0", "Windows 10"}};
  if (version == "10.0") {
    const auto number = WholeNumber(build, 9);
    return number && *number >= 22000 ? "Windows 11" : "Windows 10";
  }
  for (const auto& [number, name] : kNames) {
    if (version == number) return name;
  }
  return "";
}

NtVersion ReadNtVersion(Registry& registry, RegKey ntKey) {
  NtVersion found;
  found.version = ReadValueText(registry, ntKey, "CurrentVersion");
  const auto major = ReadDword(registry, ntKey, "CurrentMajorVersionNumber");
  const auto minor = ReadDword(registry, ntKey, "CurrentMinorVersionNumber");
  if (major && minor) found.version = std::to_string(*major) + "." + std::to_string(*minor);
  found.build = ReadValueText(registry, ntKey, "CurrentBuildNumber");
  found.servicePack = ReadValueText(registry, ntKey, "CSDVersion");
  found.displayVersion = ReadValueText(registry, ntKey, "DisplayVersion");
  if (found.displayVersion.empty()) found.displayVersion = ReadValueText(registry, ntKey, "ReleaseId");
  return found;
}

std::string WindowsName(const NtVersion& version, const std::string& productName, const std::string& editionId) {
  std::string product = productName;
  if (product.starts_with("Microsoft ")) product.erase(0, 10);
  for (const char* mark : {" (TM)", "(TM)", " (R)", "(R)"}) {
    for (std::size_t at; (at = product.find(mark)) != std::string::npos;) product.erase(at, std::strlen(mark));
  }
  std::string name = version.Name(), edition;
  if (product.starts_with("Windows Server") || (name.empty() && !product.empty())) {
    name = product;  // a server's name is its own, its year not a version's word
  } else if (product.starts_with("Windows ")) {
    // "Windows 10 Pro": what follows the version's word is the edition.
    const std::size_t word = product.find(' ', 8);
    if (word != std::string::npos) edition = product.substr(word + 1);
  }
  if (name.empty()) name = "Windows";
  const bool named = name == product;  // the whole name, edition and all
  if (edition.empty() && !named) {
    // EditionID is Windows' own word for it; Home is "Core" there.
    static constexpr std::pair<const char*, const char*> kHome[] = {
        {"Core", "Home"}, {"CoreN", "Home N"}, {"CoreSingleLanguage", "Home Single Language"},
        {"CoreCountrySpecific", "Home China"}};
    edition = editionId;
    for (const auto& [id, home] : kHome) {
      if (editionId == id) edition = home;
    }
  }
  if (!edition.empty()) name += " " + edition;
  if (!version.displayVersion.empty()) name += ", version " + version.displayVersion;
  if (!version.servicePack.empty()) name += ", " + version.servicePack;
  if (!version.build.empty()) name += ", build " + version.build;
  return name;
}

std::optional<NtInstallation> ReadNtInstallation(Registry& registry) {
  ScopedRegKey key(registry);
  // On 64-bit Windows NT's key as Windows itself keeps it: a 32-bit program
  // would otherwise be shown Wow6432Node's, which holds no DigitalProductId.
  if (key.Open(kHkeyLocalMachine, kNtKeyPath, kKeyQueryValue | kKeyWow64_64Key) != kErrorSuccess) return std::nullopt;
  NtInstallation nt;
  nt.productKey = ReadNtProductKey(registry, key.get());
  nt.version = ReadNtVersion(registry, key.get());
  nt.productId = ReadValueText(registry, key.get(), "ProductId");
  nt.productName = ReadValueText(registry, key.get(), "ProductName");
  nt.registeredOwner = ReadValueText(registry, key.get(), "RegisteredOwner");
  nt.registeredOrganization = ReadValueText(registry, key.get(), "RegisteredOrganization");
  nt.editionId = ReadValueText(registry, key.get(), "EditionID");
  nt.systemRoot = ReadValueText(registry, key.get(), "SystemRoot");
  if (const auto seconds = ReadDword(registry, key.get(), "InstallDate")) nt.installDate = DateOf(*seconds);
  return nt;
}

}  // namespace taloveric
