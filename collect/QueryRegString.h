#pragma once

#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace taloveric {

// Reads the value `valueName` of the open key `key` as text through a buffer of 256
// blanks. What callers see:
// - a value read with size n gives its first n - 1 characters (a string without
//   its NUL; raw bytes of any other type with the last one dropped);
// - a value that is missing or longer than 255 bytes gives the 256-character
//   buffer as the call left it (256 blanks for a missing value);
// - a value read with size 0 throws RunTimeError.
// `read`, when given, is set to whether the value was read whole.
std::u16string QueryRegString(Registry& registry, RegKey key, std::u16string_view valueName, bool* read = nullptr);

}  // namespace taloveric
