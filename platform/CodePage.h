#pragma once
// An ANSI code page: the single- or double-byte encoding in which text crosses
// to the registry's "A" functions and into the report's files. A registry says
// which one its text is in (Registry::Ansi), and whatever reads from it or
// writes what it read is handed that one: nothing is set for the process.

#include <memory>
#include <string>
#include <string_view>

namespace taloveric {

class CodePage {
 public:
  // The platform's own: on Windows the system's active code page (CP_ACP);
  // elsewhere Windows-1252, in which every byte value round-trips.
  CodePage();
#ifndef _WIN32
  // Windows code page `number` (1252, 1251, 1253, 932 ...). Throws
  // std::invalid_argument for one this system cannot convert.
  explicit CodePage(unsigned number);
#endif

  unsigned Number() const;
  // Characters the code page cannot hold become '?', as WideCharToMultiByte does.
  std::string ToAnsi(std::u16string_view text) const;
  std::u16string FromAnsi(std::string_view bytes) const;

 private:
  struct Conversions;
  unsigned number_;
  std::shared_ptr<const Conversions> conversions_;  // where a table of the system's converts
};

}  // namespace taloveric
