#pragma once
// A tree of registry keys, read one name at a time: a registry file of a
// Windows installation that is not running (opened read-only), or a tree held
// in memory (.reg exports, the bundled sample, the tests' registry). A
// MountedRegistry puts such trees under the root keys.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "platform/RegValue.h"

namespace taloveric {

// A registry file that cannot be opened or read; what() names the file.
class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest registry file read, or grown by its logs: far more than any
// registry holds.
inline constexpr std::uint64_t kLargestRegistryFile = 256u << 20;

class HiveFile : public std::enable_shared_from_this<HiveFile> {
 public:
  using Node = std::uint64_t;
  virtual ~HiveFile() = default;

  virtual Node Root() = 0;
  // The sub key named `name`, compared without regard to case. Names are ANSI
  // in `ansi`, in which a file of a Unicode registry converts its own. A
  // damaged file throws SourceError.
  virtual std::optional<Node> Child(Node key, std::string_view name, const CodePage& ansi) = 0;
  // The value as it is stored: a Unicode registry's text stays UTF-16, for
  // the registry to hand out in its code page.
  virtual std::optional<RegValue> Value(Node key, std::string_view name, const CodePage& ansi) = 0;
  // The names of `key`'s sub keys, in the file's order, ANSI in `ansi`.
  // A damaged file throws SourceError.
  virtual std::vector<std::string> ChildNames(Node key, const CodePage& ansi) = 0;
  // False once the key was deleted (only a tree in memory changes).
  virtual bool Exists(Node) { return true; }
  // What the file says of itself that the user should act on, of what it
  // may lack (an NT hive Windows did not finish writing, a log that could
  // not be applied); and what its reading did that the user should know
  // (the logs applied to it).
  virtual std::vector<std::string> Caveats() const { return {}; }
  virtual std::vector<std::string> Notes() const { return {}; }
  // Lets go of what reading the file holds that it can make again from the
  // bytes it keeps (a library's caches), until its root is asked for again;
  // the nodes handed out before are then no longer valid. For a file kept
  // while others are read, as each installation's is while one is chosen.
  virtual void Rest() {}
};

}  // namespace taloveric
