#include "platform/AcpiMsdm.h"

#include <cstdint>

#include "platform/ByteOrder.h"

namespace taloveric {
namespace {

constexpr std::size_t kHeader = 36, kKeyAt = kHeader + 20, kKeyLength = 29;

// Five groups of five key digits, joined by "-"; Windows 8 keys hold an N.
bool IsKey(std::string_view text) {
  constexpr std::string_view kDigits = "BCDFGHJKMNPQRTVWXY2346789";
  if (text.size() != kKeyLength) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i % 6 == 5;
    if (dash ? text[i] != '-' : kDigits.find(text[i]) == std::string_view::npos) return false;
  }
  return true;
}

}  // namespace

bool LooksLikeMsdm(std::string_view head) { return head.starts_with("MSDM"); }

FirmwareKey ReadMsdm(std::string_view table) {
  FirmwareKey found;
  if (table.size() < kKeyAt + kKeyLength || !LooksLikeMsdm(table)) {
    found.problem = "too short for an MSDM table with a key (" + std::to_string(table.size()) + " bytes)";
    return found;
  }
  const std::uint32_t length = Le32(table, 4);
  if (length < kKeyAt + kKeyLength || length > table.size()) {
    found.problem = "its declared length (" + std::to_string(length) + " bytes) does not fit the " +
                    std::to_string(table.size()) + " bytes there";
    return found;
  }
  unsigned sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum += static_cast<unsigned char>(table[i]);
  if (sum % 256 != 0) {
    found.problem = "its checksum does not add up: the table is damaged";
    return found;
  }
  for (std::size_t i = 10; i < 16 && table[i] != '\0'; ++i) {
    const char c = table[i];
    found.oemId += c >= 0x20 && c < 0x7F ? c : '?';
  }
  const std::uint32_t dataLength = Le32(table, kHeader + 16);
  const std::string_view key = table.substr(kKeyAt, kKeyLength);
  if (dataLength < kKeyLength || kKeyAt + dataLength > length || !IsKey(key)) {
    found.problem = "it holds no product key (not 25 key digits in groups of five)";
    return found;
  }
  found.key = std::string(key);
  return found;
}

}  // namespace taloveric
