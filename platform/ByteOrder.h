#pragma once
// Little-endian numbers in the bytes of a file, as every format read here
// keeps them: read at an offset the caller has checked, and written back.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace taloveric {

inline std::uint16_t Le16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

inline std::uint32_t Le32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

inline std::uint64_t Le64(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint64_t>(Le32(bytes, at + 4)) << 32 | Le32(bytes, at);
}

inline void PutLe32(char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

inline void PutLe64(char* at, std::uint64_t value) {
  PutLe32(at, static_cast<std::uint32_t>(value));
  PutLe32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

}  // namespace taloveric
