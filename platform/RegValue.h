#pragma once
// Registry values and names as the "A" calls see them, for every registry that
// is not Windows' own: values as RegQueryValueExA hands them out, names as the
// registry compares them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace taloveric {

struct RegValue {
  std::uint32_t type = kRegSz;
  std::string data;
  // The data is a Unicode registry's UTF-16LE text, kept as it is and handed
  // out in the registry's ANSI code page when it is queried, as
  // RegQueryValueExA does: the installation's code page is often known only
  // once its files are open.
  bool utf16 = false;
};

// A string value as Windows stores it: its ANSI text followed by a NUL.
RegValue StringValue(std::string_view ansi);
RegValue DwordValue(std::uint32_t value);

// An ANSI name byte in the case the registry compares it in: the letters of
// ASCII and of Windows-1252 folded to upper case.
unsigned char FoldCase(unsigned char c);

// Orders ANSI names as the registry compares them: without regard to case.
struct RegNameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// Whether two ANSI names are the same name to the registry.
bool SameRegName(std::string_view a, std::string_view b);

// The names along a backslash-separated key path; empty names (doubled, leading
// or trailing backslashes) are passed over.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

// Answers a query for `value` as RegQueryValueExA does: the type, the size, and
// the data when the buffer holds it (kErrorMoreData with the size needed when not).
[[nodiscard]] RegStatus AnswerQuery(const RegValue& value, std::uint32_t* type, unsigned char* data,
                                    std::uint32_t* size);

// A value's bytes through the registry's contract (its size asked first), or
// nullopt for a value that cannot be read; and the same as text without the
// NULs that end it, empty for a value that cannot be read. A value larger than
// kMaxValueBytes cannot be read.
inline constexpr std::uint32_t kMaxValueBytes = 1 << 20;
std::optional<std::string> ReadValueBytes(Registry& registry, RegKey key, std::string_view name);
std::string ReadValueText(Registry& registry, RegKey key, std::string_view name);

// Turns a root key's name ("HKEY_LOCAL_MACHINE", or its short form "HKLM") into
// its handle; 0 for a name that is not a root.
RegKey RootKeyByName(std::string_view name);

// Whether a handle is one of the predefined root keys.
inline bool IsRootKey(RegKey key) { return key >= kHkeyClassesRoot && key <= kHkeyCurrentConfig; }

}  // namespace taloveric
