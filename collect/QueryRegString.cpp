#include "collect/QueryRegString.h"

#include "collect/SkipOnError.h"
#include "platform/CodePage.h"

namespace taloveric {

std::u16string QueryRegString(Registry& registry, RegKey key, std::u16string_view valueName, bool* read) {
  const CodePage& ansi = registry.Ansi();
  std::string buffer = ansi.ToAnsi(std::u16string(256, u' '));
  auto size = static_cast<std::uint32_t>(buffer.size());
  std::uint32_t type = 0;
  const RegStatus status =
      registry.QueryValue(key, ansi.ToAnsi(valueName), &type,
                          reinterpret_cast<unsigned char*>(buffer.data()), &size);
  std::u16string text = ansi.FromAnsi(buffer);
  if (read != nullptr) *read = status == kErrorSuccess && size > 0;
  if (status != kErrorSuccess) return text;
  // The size is a byte count applied as a character count; in a single-byte code
  // page the two agree.
  if (size == 0) throw RunTimeError("a value read with size 0 has no text to take");
  return text.substr(0, size - 1);
}

}  // namespace taloveric
