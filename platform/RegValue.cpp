#include "platform/RegValue.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace taloveric {

unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
    default: return c;
  }
}

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool SameRegName(std::string_view a, std::string_view b) { return !RegNameLess{}(a, b) && !RegNameLess{}(b, a); }

bool RegNameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return FoldCase(static_cast<unsigned char>(x)) < FoldCase(static_cast<unsigned char>(y));
  });
}

RegValue StringValue(std::string_view ansi) {
  RegValue value{kRegSz, std::string(ansi)};
  value.data += '\0';
  return value;
}

RegValue DwordValue(std::uint32_t v) {
  RegValue value{kRegDword, std::string(4, '\0')};
  for (int i = 0; i < 4; ++i) value.data[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return value;
}

RegKey RootKeyByName(std::string_view name) {
  static const std::map<std::string_view, RegKey, RegNameLess> kRoots = {
      {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},   {"HKCR", kHkeyClassesRoot},
      {"HKEY_CURRENT_USER", kHkeyCurrentUser},   {"HKCU", kHkeyCurrentUser},
      {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine}, {"HKLM", kHkeyLocalMachine},
      {"HKEY_USERS", kHkeyUsers},                {"HKU", kHkeyUsers},
      {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig}, {"HKCC", kHkeyCurrentConfig},
  };
  const auto it = kRoots.find(name);
  return it == kRoots.end() ? 0 : it->second;
}

std::optional<std::string> ReadValueBytes(Registry& registry, RegKey key, std::string_view name) {
  std::uint32_t size = 0;
  if (registry.QueryValue(key, name, nullptr, nullptr, &size) != kErrorSuccess) return std::nullopt;
  if (size > kMaxValueBytes) return std::nullopt;  // more than any value this program reads
  std::vector<unsigned char> bytes(size);
  if (registry.QueryValue(key, name, nullptr, bytes.data(), &size) != kErrorSuccess) return std::nullopt;
  return std::string(bytes.begin(), bytes.begin() + size);
}

std::string ReadValueText(Registry& registry, RegKey key, std::string_view name) {
  std::string text = ReadValueBytes(registry, key, name).value_or("");
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

RegStatus AnswerQuery(const RegValue& value, std::uint32_t* type, unsigned char* data, std::uint32_t* size) {
  const auto needed = static_cast<std::uint32_t>(value.data.size());
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return data == nullptr ? kErrorSuccess : kErrorInvalidParameter;
  if (data != nullptr && *size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
  *size = needed;
  return kErrorSuccess;
}

}  // namespace taloveric
