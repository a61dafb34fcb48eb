#include "collect/NtProductKey.h"

#include <array>
#include <cstdint>

#include "platform/RegValue.h"

namespace taloveric {
namespace {

// A little-endian DWORD value, as NT stores its numbers.
std::optional<std::uint32_t> ReadDword(Registry& registry, RegKey key, std::string_view name) {
  const auto bytes = ReadValueBytes(registry, key, name);
  if (!bytes || bytes->size() != 4) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>((*bytes)[i]);
  return value;
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
  const bool windows8 = ((key[14] / 6) & 1) != 0;
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
      return found;
    }
    if (found.problem.empty()) {
      found.problem = std::string(name) + " holds no product key that can be decoded (" +
                      (id->size() < offset + 15 ? std::to_string(id->size()) + " bytes, too short"
                                                : std::string("not a key's digits")) + ")";
    }
  }
  return found;
}

NtVersion ReadNtVersion(Registry& registry, RegKey ntKey) {
  NtVersion found;
  found.version = ReadValueText(registry, ntKey, "CurrentVersion");
  const auto major = ReadDword(registry, ntKey, "CurrentMajorVersionNumber");
  const auto minor = ReadDword(registry, ntKey, "CurrentMinorVersionNumber");
  if (major && minor) found.version = std::to_string(*major) + "." + std::to_string(*minor);
  found.build = ReadValueText(registry, ntKey, "CurrentBuildNumber");
  found.servicePack = ReadValueText(registry, ntKey, "CSDVersion");
  return found;
}

std::optional<NtInstallation> ReadNtInstallation(Registry& registry) {
  ScopedRegKey key(registry);
  if (key.Open(kHkeyLocalMachine, kNtKeyPath) != kErrorSuccess) return std::nullopt;
  NtInstallation nt;
  nt.productKey = ReadNtProductKey(registry, key.get());
  nt.version = ReadNtVersion(registry, key.get());
  nt.productId = ReadValueText(registry, key.get(), "ProductId");
  nt.productName = ReadValueText(registry, key.get(), "ProductName");
  nt.registeredOwner = ReadValueText(registry, key.get(), "RegisteredOwner");
  nt.registeredOrganization = ReadValueText(registry, key.get(), "RegisteredOrganization");
  nt.editionId = ReadValueText(registry, key.get(), "EditionID");
  if (const auto seconds = ReadDword(registry, key.get(), "InstallDate")) nt.installDate = DateOf(*seconds);
  return nt;
}

}  // namespace taloveric
