#include "collect/NtProductKey.h"

#include "platform/RegValue.h"

#include <array>
#include <cstdint>
#include <ctime>

namespace taloveric {

std::optional<std::string> DecodeProductKey(std::string_view id, std::size_t offset) {
  constexpr std::size_t kLength = 15;
  constexpr char kDigits[] = "BCDFGHJKMPQRTVWXY2346789";
  if (id.size() < offset + kLength) return std::nullopt;
  std::array<unsigned, kLength> key{};
  for (std::size_t i = 0; i < kLength; ++i) key[i] = static_cast<unsigned char>(id[offset + i]);
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
  if (windows8) digits = digits.substr(1, last) + "N" + digits.substr(last + 1);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) out += (i > 0 && i % 5 == 0 ? "-" : "") + std::string(1, digits[i]);
  return out;
}

std::optional<NtInstallation> ReadNtInstallation(Registry& registry) {
  ScopedRegKey key(registry);
  if (key.Open(kHkeyLocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion") != kErrorSuccess) {
    return std::nullopt;
  }
  NtInstallation nt;
  // Vista and later keep the key in DigitalProductId4 as well.
  for (const auto& [name, offset] : {std::pair{"DigitalProductId", kDigitalProductIdKey},
                                     std::pair{"DigitalProductId4", kDigitalProductId4Key}}) {
    if (const auto id = ReadValueBytes(registry, key.get(), name)) {
      if (const auto decoded = DecodeProductKey(*id, offset)) {
        nt.productKey = *decoded;
        nt.keySource = name;
        break;
      }
    }
  }
  nt.productId = ReadValueText(registry, key.get(), "ProductId");
  nt.productName = ReadValueText(registry, key.get(), "ProductName");
  nt.currentVersion = ReadValueText(registry, key.get(), "CurrentVersion");
  nt.currentBuild = ReadValueText(registry, key.get(), "CurrentBuildNumber");
  nt.servicePack = ReadValueText(registry, key.get(), "CSDVersion");
  nt.registeredOwner = ReadValueText(registry, key.get(), "RegisteredOwner");
  nt.registeredOrganization = ReadValueText(registry, key.get(), "RegisteredOrganization");
  nt.editionId = ReadValueText(registry, key.get(), "EditionID");
  if (const auto date = ReadValueBytes(registry, key.get(), "InstallDate"); date && date->size() == 4) {
    std::uint32_t seconds = 0;
    for (std::size_t i = 4; i-- > 0;) seconds = seconds << 8 | static_cast<unsigned char>((*date)[i]);
    const std::time_t when = seconds;
    std::tm utc{};
    char text[16] = {};
    if (gmtime_r(&when, &utc) != nullptr && std::strftime(text, sizeof text, "%Y-%m-%d", &utc) > 0) {
      nt.installDate = text;
    }
  }
  return nt;
}

}  // namespace taloveric
