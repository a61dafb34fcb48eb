#pragma once
// Reads values the way the collection does: through the registry's contract.

#include <optional>
#include <string>
#include <string_view>

#include "platform/memory/MemoryRegistry.h"

namespace taloveric::testing {

inline std::optional<RegValue> ReadValue(Registry& registry, RegKey root, std::string_view path,
                                         std::string_view name) {
  RegKey key = 0;
  if (registry.OpenKey(root, path, 0, kKeyQueryValue, &key) != kErrorSuccess) return std::nullopt;
  unsigned char buffer[4096];
  std::uint32_t size = sizeof buffer;
  RegValue value;
  const RegStatus status = registry.QueryValue(key, name, &value.type, buffer, &size);
  registry.CloseKey(key);
  if (status != kErrorSuccess) return std::nullopt;
  value.data.assign(reinterpret_cast<char*>(buffer), size);
  return value;
}

inline bool KeyOpens(Registry& registry, RegKey root, std::string_view path) {
  RegKey key = 0;
  if (registry.OpenKey(root, path, 0, kKeyQueryValue, &key) != kErrorSuccess) return false;
  registry.CloseKey(key);
  return true;
}

}  // namespace taloveric::testing
