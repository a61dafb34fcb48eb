#pragma once
// One registry file of a Windows installation that is not running, opened
// read-only. Keys are found one name at a time, so only the keys asked for are
// read.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/memory/MemoryRegistry.h"

namespace taloveric {

// A registry file that cannot be opened or read; what() names the file.
class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class HiveFile {
 public:
  using Node = std::uint64_t;
  virtual ~HiveFile() = default;

  virtual Node Root() = 0;
  // The sub key named `name` (ANSI, compared without regard to case).
  virtual std::optional<Node> Child(Node key, std::string_view name) = 0;
  // The value as the installation's own RegQueryValueExA would hand it out.
  virtual std::optional<RegValue> Value(Node key, std::string_view name) = 0;
};

}  // namespace taloveric
