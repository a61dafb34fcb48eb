#pragma once
// Reads registry exports (.reg files) into a MemoryRegistry: "REGEDIT4" files in
// the ANSI code page and "Windows Registry Editor Version 5.00" files in UTF-16LE
// with a byte-order mark (UTF-8 with a mark is read too). Later files and later
// lines override earlier ones, as importing them one after another would.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/memory/MemoryRegistry.h"

namespace taloveric {

// A file that cannot be parsed; what() names the file, the line (when there is
// one) and what is wrong. A file that cannot be read throws SourceError.
class RegFileError : public SourceError {
 public:
  using SourceError::SourceError;
};

// The largest .reg export read: far above any real one.
inline constexpr std::uintmax_t kRegFileLimit = 64u << 20;

// Only a regular file is read. True for a version 5 export, of a Unicode
// registry: only the NT family's regedit writes those. A REGEDIT4 export's
// text is read in `ansi`; a Unicode export's names are kept in it.
bool LoadRegFile(const std::filesystem::path& file, MemoryRegistry& registry, const CodePage& ansi);

// `name` is how messages refer to the text.
bool LoadRegText(std::string_view bytes, std::string_view name, MemoryRegistry& registry, const CodePage& ansi);

}  // namespace taloveric
